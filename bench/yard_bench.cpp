// The yard at scale: 100 000 items in 100 sections. Listing one section, and filling a job's
// stock grid from it as "在庫から" and "plan --from-yard" do (list, choose the 36 lengths,
// write the cells).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "base/cp932.h"
#include "base/format.h"
#include "job/job_form.h"
#include "yard/sqlite_file.h"
#include "yard/stock.h"
#include "yard/yard.h"

namespace {

namespace fs = std::filesystem;
using namespace zarvel;

constexpr int kSections = 100;
constexpr int kItems = 100000;

std::string Section(int s) {
  return base::Format("H-%d×%d×9×14", 300 + 10 * s, 150 + s);
}

// A yard file made once per process, removed at exit; or the server's yard that
// ZARVEL5_BENCH_YARD names (postgresql://…, an empty database the bench fills).
const std::string& YardFile() {
  static const std::string path = [] {
    const char* server = std::getenv("ZARVEL5_BENCH_YARD");
    const std::string p =
        server != nullptr && *server != '\0'
            ? std::string(server)
            : (fs::temp_directory_path() / base::Format("zarvel5-yard-bench-%d.sqlite", ::getpid()))
                  .string();
    yard::Status s;
    auto y = yard::OpenYard(p, s);
    yard::Change c;
    c.reason = "import";
    for (int i = 0; i < kItems; ++i) {
      yard::NewItem n;
      n.section = Section(i % kSections);
      const bool offcut = i % 5 != 0;
      n.length = offcut ? 1000 + (i * 7919) % 11000 : 6000 + 1000 * (i % 7);
      n.count = 1 + i % 9;
      n.offcut = offcut;
      n.location = base::Format("R%d", i % 40);
      n.lot = base::Format("L%05d", i);
      n.source = "棚卸し";
      c.adds.push_back(n);
    }
    int64_t entry = 0;
    if (!y || !y->Apply(c, entry)) std::abort();
    if (server != nullptr && *server != '\0') return p;
    std::atexit([] {
      for (const std::string& copy : yard::DailyBackups(YardFile())) fs::remove(copy);
      for (const char* end : {"", "-wal", "-shm"}) fs::remove(YardFile() + end);
    });
    return p;
  }();
  return path;
}

void BM_OpenYard(benchmark::State& state) {
  const std::string& path = YardFile();
  for (auto _ : state) {
    yard::Status s;
    benchmark::DoNotOptimize(yard::OpenYard(path, s));
  }
}
BENCHMARK(BM_OpenYard)->Unit(benchmark::kMillisecond);

// The yard's rule over every item, as opening and every change run it.
void BM_LedgerCheck(benchmark::State& state) {
  yard::Status s;
  auto y = yard::OpenYard(YardFile(), s);
  std::vector<yard::Mismatch> mismatches;
  for (auto _ : state) benchmark::DoNotOptimize(y->Check(mismatches));
}
BENCHMARK(BM_LedgerCheck)->Unit(benchmark::kMillisecond);

// One commit: a bar taken and a remnant added, with the file's and the ledger's checks.
void BM_CommitOne(benchmark::State& state) {
  yard::Status s;
  auto y = yard::OpenYard(YardFile(), s);
  std::vector<yard::Item> items;
  y->List(Section(7), items);
  const yard::Item bar = items.front();
  for (auto _ : state) {
    yard::Change c;
    c.reason = "commit";
    c.takes.push_back({bar.id, 1, -1});
    yard::NewItem n;
    n.section = Section(7);
    n.length = 1234;
    n.count = 1;
    n.offcut = true;
    c.adds.push_back(n);
    int64_t entry = 0;
    if (!y->Apply(c, entry)) std::abort();
    int64_t undo = 0;
    state.PauseTiming();
    if (!y->Undo(entry, undo)) std::abort();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CommitOne)->Unit(benchmark::kMillisecond);

void BM_ListSection(benchmark::State& state) {
  yard::Status s;
  auto y = yard::OpenYard(YardFile(), s);
  std::vector<yard::Item> items;
  for (auto _ : state) {
    y->List(Section(42), items);
    benchmark::DoNotOptimize(items.data());
  }
  state.counters["items"] = static_cast<double>(items.size());
}
BENCHMARK(BM_ListSection)->Unit(benchmark::kMillisecond);

void BM_FillJobFromYard(benchmark::State& state) {
  yard::Status s;
  auto y = yard::OpenYard(YardFile(), s);
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  for (auto _ : state) {
    std::vector<yard::Item> items;
    y->List(Section(42), items);
    const yard::StockFill fill = yard::FillFromItems(Section(42), items);
    run::Grid& grid = form.StockGrid();
    for (std::size_t k = 0; k < fill.lengths.size(); ++k) {
      const yard::StockLength& l = fill.lengths[k];
      grid.SetCell(static_cast<int>(k % 2) + 1, static_cast<int>(k / 2) + 1,
                   base::Format("%5d.%3lld", l.length, static_cast<long long>(l.count)));
    }
    form.yard_stock = {base::Utf8ToCp932(fill.section), fill.Measured()};
    benchmark::DoNotOptimize(fill.left_out.size());
  }
}
BENCHMARK(BM_FillJobFromYard)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
