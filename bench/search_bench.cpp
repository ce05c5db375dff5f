// The cutting search on the full-grid example job (36 stock lengths, 102 piece lengths) at each
// precision, and its literal reference for scale.
#include <benchmark/benchmark.h>

#include <memory>

#include "job/job_file.h"
#include "job/job_form.h"
#include "optimiser/search.h"
#include "run/run_command.h"
#include "tests/reference_search.h"

namespace {

using zarvel::optimiser::OptimiserRecords;

// The example job read into fresh records, as the run command reads it.
std::unique_ptr<OptimiserRecords> LoadFullGridJob() {
  auto r = std::make_unique<OptimiserRecords>();
  zarvel::job::JobForm form(*r);
  if (!zarvel::job::OpenJobFile(form, ZARVEL5_SOURCE_DIR "/examples/full_grid.zv5")) return nullptr;
  zarvel::run::ReadConditions(r->conditions, form);
  zarvel::run::RelayoutGrids(*r, form);
  r->random.Seed(0);
  return r;
}

template <typename SearchFn>
void RunBench(benchmark::State& state, SearchFn search) {
  const auto job = LoadFullGridJob();
  if (!job) {
    state.SkipWithError("examples/full_grid.zv5 not found");
    return;
  }
  const int attempts = zarvel::optimiser::AttemptsForPrecision(static_cast<int>(state.range(0)));
  auto r = std::make_unique<OptimiserRecords>();
  double stock = 0;
  for (auto _ : state) {
    state.PauseTiming();
    *r = *job;
    state.ResumeTiming();
    if (search(*r, attempts) != 0) state.SkipWithError("no plan");
    stock = r->best.stock_length;
  }
  state.counters["stock_m"] = stock / 1000;
  state.counters["attempts"] = attempts;
}

void BM_Search(benchmark::State& state) {
  RunBench(state, [](OptimiserRecords& r, int attempts) {
    return zarvel::optimiser::RunSearch(r, {}, attempts);
  });
}
BENCHMARK(BM_Search)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReferenceSearch(benchmark::State& state) {
  RunBench(state, zarvel::testing::ReferenceSearch);
}
BENCHMARK(BM_ReferenceSearch)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
