// The randomised cutting search: many complete plans, each bar chosen as the best of a number
// of random fillings; the plan with the lowest loss rate wins and is left in records.best.
#pragma once

#include "optimiser/host.h"
#include "optimiser/records.h"

namespace zarvel::optimiser {

inline constexpr int kMinAttempts = 10;
inline constexpr int kMaxAttempts = 2000;

inline constexpr int kPrecisionOptimal = 3;  // 最適: the exact planner (and 高 beside it)

// Attempts for the precision radio group's item (低, 中, 高; anything else counts as 高).
int AttemptsForPrecision(int item);

struct SearchHost {
  ProgressLabel* progress = nullptr;  // may be absent
  const KeyState* keys = nullptr;     // absent: no key is ever down
  Clock* clock = nullptr;             // absent: no pauses
};

inline constexpr int kSearchPlanned = 0;
inline constexpr int kSearchFailed = 1;    // no attempt gave a valid plan
inline constexpr int kSearchTooLarge = 2;  // the work limit ended the search before any plan

// Limits that keep absurd jobs from running for ever (a few seconds at most). A real job stays
// far below them: the full-grid example at 高 makes about 83 million draws, under a third of
// the budget, so its plan is never affected.
inline constexpr int64_t kMaxPiecesPerBar = 1000;    // pieces one bar can take, at most
inline constexpr int64_t kWorkBudget = 300'000'000;  // bar-fill draws in one run

// Sorts and merges both lists in place, uses their `remaining` counters and writes
// records.current and .best. The search stops once `work_budget` bar-fill draws are spent
// (after finishing, or abandoning, the attempt under way), keeping the best plan so far.
int RunSearch(OptimiserRecords& records, const SearchHost& host, int attempts,
              int64_t work_budget = kWorkBudget, int64_t* work = nullptr);

// How many pieces one bar could take at most: the longest bar (with margin) over the
// shortest piece with its kerf, and never more than all the pieces. Lists must be read.
int64_t PiecesPerBarBound(const OptimiserRecords& records);

// Puts the best plan's patterns in their final order (repeat count descending, then stock
// length and shortest piece ascending) and sets their shortest pieces.
void FinalisePlan(OptimiserRecords& records);

// One best-of-N bar fill on its own: `fills` random fillings of one bar of the stock entry
// against the lists' `remaining` counters (the lists must be sorted and merged); returns the
// fill with the lowest remnant rate (stock index 0 when `fills` is 0).
BarPattern BestBarFill(OptimiserRecords& records, int stock_index, int fills);

}  // namespace zarvel::optimiser
