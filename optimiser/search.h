// The randomised cutting search: many complete plans, each bar chosen as the best of a number
// of random fillings; the plan with the lowest loss rate wins and is left in records.best.
#pragma once

#include "optimiser/host.h"
#include "optimiser/records.h"

namespace zarvel::optimiser {

inline constexpr int kMinAttempts = 10;
inline constexpr int kMaxAttempts = 2000;

// Attempts for the precision radio group's item (低, 中, 高; anything else counts as 高).
int AttemptsForPrecision(int item);

struct SearchHost {
  ProgressLabel* progress = nullptr;  // may be absent
  const KeyState* keys = nullptr;     // absent: no key is ever down
  Clock* clock = nullptr;             // absent: no pauses
};

// Returns 0 when a best plan exists, 1 when no attempt produced a valid plan. Sorts and merges
// both lists in place and uses their `remaining` counters; writes records.current and .best.
int RunSearch(OptimiserRecords& records, const SearchHost& host, int attempts);

// One best-of-N bar fill on its own: `fills` random fillings of one bar of the stock entry
// against the lists' `remaining` counters (the lists must be sorted and merged); returns the
// fill with the lowest remnant rate (stock index 0 when `fills` is 0).
BarPattern BestBarFill(OptimiserRecords& records, int stock_index, int fills);

}  // namespace zarvel::optimiser
