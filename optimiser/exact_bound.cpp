#include "optimiser/exact_bound.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zarvel::optimiser {
namespace {

// ORs `bits` shifted up by `shift` into itself (one bounded-knapsack item).
void ShiftOr(std::vector<uint64_t>& bits, int64_t shift) {
  const auto words = static_cast<int64_t>(bits.size());
  const int64_t whole = shift / 64;
  const int part = static_cast<int>(shift % 64);
  for (int64_t w = words - 1; w >= whole; --w) {
    uint64_t v = bits[static_cast<std::size_t>(w - whole)] << part;
    if (part != 0 && w - whole - 1 >= 0)
      v |= bits[static_cast<std::size_t>(w - whole - 1)] >> (64 - part);
    bits[static_cast<std::size_t>(w)] |= v;
  }
}

}  // namespace

double RoundUpToStock(double bound, const std::vector<StockBars>& bars, int64_t max_bits) {
  int64_t g = 0;
  int64_t longest = 0;
  double total = 0;
  for (const StockBars& b : bars) {
    if (b.length <= 0 || b.count <= 0) continue;
    g = std::gcd(g, b.length);
    longest = std::max(longest, b.length);
    total += static_cast<double>(b.length) * static_cast<double>(b.count);
  }
  if (g == 0 || bound <= 0 || total < bound) return std::max(bound, 0.0);
  // In units of the gcd. Adding bars one by one crosses the target by less than the longest
  // bar, so the answer lies below target + longest.
  const auto target = static_cast<int64_t>(std::ceil(bound / static_cast<double>(g)));
  const int64_t top = target + longest / g;
  if (top > max_bits) return static_cast<double>(target * g);
  std::vector<uint64_t> bits(static_cast<std::size_t>(top / 64 + 1), 0);
  bits[0] = 1;
  for (const StockBars& b : bars) {
    if (b.length <= 0 || b.count <= 0) continue;
    const int64_t unit = b.length / g;
    int64_t left = std::min(b.count, top / unit);
    for (int64_t chunk = 1; left > 0; chunk *= 2) {  // counts split into powers of two
      const int64_t take = std::min(chunk, left);
      ShiftOr(bits, take * unit);
      left -= take;
    }
  }
  for (int64_t s = target; s <= top; ++s)
    if ((bits[static_cast<std::size_t>(s / 64)] >> (s % 64)) & 1U)
      return static_cast<double>(s * g);
  return static_cast<double>(target * g);
}

}  // namespace zarvel::optimiser
