// Rounding a relaxation's bound up to a stock length the job's bars can actually make.
#pragma once

#include <cstdint>
#include <vector>

namespace zarvel::optimiser {

struct StockBars {
  int64_t length = 0;  // mm
  int64_t count = 0;   // bars available
};

// The least Σ n·length over `bars` (0 <= n <= count) that is at least `bound`: no plan can use
// a total between the two. Falls back to the next multiple of the lengths' gcd when the sums
// would take more than `max_bits` bits to tabulate, and returns `bound` itself when the bars
// cannot make that much at all (or there are none).
double RoundUpToStock(double bound, const std::vector<StockBars>& bars,
                      int64_t max_bits = int64_t{1} << 27);

}  // namespace zarvel::optimiser
