// The cutting search on a full-grid job at each precision, and its literal reference for scale.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/full_grid_job.h"
#include "optimiser/search.h"
#include "tests/reference_search.h"

namespace {

using zarvel::optimiser::AttemptsForPrecision;
using zarvel::optimiser::OptimiserRecords;

std::unique_ptr<OptimiserRecords> Load(const zarvel::bench::FullGridJob& job) {
  auto r = std::make_unique<OptimiserRecords>();
  for (auto [l, q] : job.stock) r->stock.Append(l, q);
  for (auto [l, q] : job.cut) r->cut.Append(l, q);
  r->conditions.margin = job.margin;
  r->conditions.kerf = job.kerf;
  r->conditions.priority_length = job.priority;
  r->random.Seed(0);
  return r;
}

template <typename SearchFn>
void RunBench(benchmark::State& state, SearchFn search) {
  const auto job = zarvel::bench::MakeFullGridJob();
  const int attempts = AttemptsForPrecision(static_cast<int>(state.range(0)));
  double stock = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto r = Load(job);
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
BENCHMARK(BM_ReferenceSearch)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
