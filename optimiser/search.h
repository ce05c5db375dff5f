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

// The guard for absurd jobs, counted in bar-fill draws (never in time, so that every machine
// gives the same plan). Real jobs stay far below it: the worst measured, 5 000 pieces of 100 to
// 300 mm on 36 stock lengths of 13 to 20 m at 高, makes 1.3 billion draws in a run and 3
// million in one attempt (the full-grid example 83 million in a run), so no real plan is ever
// cut short. A run that reaches either limit gives up the attempt under way at once, ends, and
// keeps the best plan so far (records.work_limit_reached).
inline constexpr int64_t kWorkBudget = 4'000'000'000;      // bar-fill draws in one run
inline constexpr int64_t kAttemptWorkBudget = 20'000'000;  // bar-fill draws in one attempt

// Sorts and merges both lists in place, uses their `remaining` counters and writes
// records.current and .best. The search never makes more than `work_budget` draws.
int RunSearch(OptimiserRecords& records, const SearchHost& host, int attempts,
              int64_t work_budget = kWorkBudget, int64_t* work = nullptr);

// How many pieces one bar can take at most: as many of the shortest piece (each with its
// kerf) as the longest bar with its margin holds, and never more than all the pieces. Lists
// must be read.
int64_t PiecesPerBarBound(const OptimiserRecords& records);

// Whether the search can plan the job at all: one bar fill alone must fit in an attempt's
// budget (or in `work_budget` when that is smaller).
bool WithinSearchLimits(const OptimiserRecords& records, int64_t work_budget = kWorkBudget);

// Puts the best plan's patterns in their final order (repeat count descending, then stock
// length and shortest piece ascending) and sets their shortest pieces.
void FinalisePlan(OptimiserRecords& records);

// One best-of-N bar fill on its own: `fills` random fillings of one bar of the stock entry
// against the lists' `remaining` counters (the lists must be sorted and merged); returns the
// fill with the lowest remnant rate (stock index 0 when `fills` is 0).
BarPattern BestBarFill(OptimiserRecords& records, int stock_index, int fills);

}  // namespace zarvel::optimiser
