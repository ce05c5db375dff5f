// Several jobs' pieces planned as one list beyond one grid: a list of LENGTHS distinct piece
// lengths and PIECES pieces in all (fixed seed) on bars of 6, 9 and 12 m, at 高 and at 最適.
// Prints each precision's stock, patterns, the planner's bound and the processor time.
//
//   nest_bench [LENGTHS [PIECES]]      (2000 and 20000 by default)
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "optimiser/exact.h"
#include "optimiser/search.h"
#include "run/run_command.h"

namespace {

using zarvel::optimiser::OptimiserRecords;

std::unique_ptr<OptimiserRecords> MakeList(int lengths, int pieces) {
  auto r = std::make_unique<OptimiserRecords>();
  r->Widen(lengths);
  for (int stock : {6000, 9000, 12000}) r->stock.Append(stock, pieces);
  uint32_t x = 12345;
  int placed = 0;
  for (int j = 0; j < lengths; ++j) {
    x = x * 1103515245u + 12345u;
    // Distinct lengths of 300 to 5 000 mm; the pieces spread over them.
    const int length = 300 + j * 4700 / lengths + static_cast<int>((x >> 8) % (4700 / lengths));
    const int count = (pieces - placed) / (lengths - j);
    r->cut.Append(length, count);
    placed += count;
  }
  r->conditions.margin = 20;
  r->conditions.kerf = 3;
  r->conditions.priority_length = 5000;
  r->random.Seed(0);
  return r;
}

double Seconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

long PeakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
  const int lengths = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int pieces = argc > 2 ? std::atoi(argv[2]) : 20000;
  const auto list = MakeList(lengths, pieces);
  std::printf("%d lengths, %d pieces, %.0f mm required\n", list->cut.count, pieces,
              list->cut.TotalLength());
  for (const int precision : {2, 3}) {
    auto r = std::make_unique<OptimiserRecords>(*list);
    const double start = Seconds();
    const int result = precision == 3 ? zarvel::run::RunOptimal(*r, {})
                                      : zarvel::optimiser::RunSearch(
                                            *r, {}, zarvel::optimiser::AttemptsForPrecision(2));
    const double used = Seconds() - start;
    std::printf(
        "%s: result %d, stock %.0f mm, %d patterns, bound %.0f mm%s, %.1f s CPU, peak %ld MB\n",
        precision == 3 ? "最適" : "高", result, r->best.stock_length, r->best.pattern_count,
        r->regular_bound,
        r->proven_optimal ? " (proven)"
        : r->stopped      ? " (stopped by the guard)"
                          : "",
        used, PeakMegabytes());
    std::fflush(stdout);
  }
  return 0;
}
