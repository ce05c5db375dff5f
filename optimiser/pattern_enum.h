// Every filling of one bar worth at least a given value: the patterns whose reduced cost against
// an optimal LP dual stays within a gap. Any plan within that gap of the LP's optimum is made of
// such patterns only (each pattern's reduced cost is at least zero and they add up to at most
// the gap), so an integer programme over them alone finds that plan, or proves there is none.
//
// Only maximal fillings are listed (no piece still allowed fits in what is left): a filling
// that is not maximal extends to one that is, worth at least as much on the same bar.
#pragma once

#include <cstdint>
#include <vector>

namespace zarvel::optimiser {

struct EnumItem {
  int64_t weight = 0;  // > 0: length and kerf
  double value = 0;    // the piece's dual, >= 0
  int64_t most = 0;    // copies a bar may take
};

struct EnumLimits {
  int64_t steps = 0;     // nodes of the enumeration (each pays for its bound)
  int64_t patterns = 0;  // fillings listed
};

struct EnumResult {
  std::vector<std::vector<int32_t>> fillings;  // counts per item
  int64_t steps = 0;
  bool complete = false;  // every filling is listed (the limits were not reached)
};

// The maximal fillings of a bar of `capacity` whose total value is at least `least`.
EnumResult EnumerateFillings(const std::vector<EnumItem>& items, int64_t capacity, double least,
                             const EnumLimits& limits);

}  // namespace zarvel::optimiser
