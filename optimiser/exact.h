// Plans that use the least stock a job allows, with proof where it can be had: column
// generation over cutting patterns (an LP solved by COIN-OR CLP, priced by a bounded knapsack
// per stock length), then an integer plan from dives that fix patterns and re-solve the rest,
// and the integer programme over every pattern generated so far (COIN-OR CBC), or over every
// pattern whose reduced cost leaves room for a plan at the bound (pattern_enum.h).
//
// The model: a bar of length L with margin M and kerf K takes pieces l1..lk when
// l1 + ... + lk + (k - 1)K <= L + M; its remnant is max(0, L - sum(l + K)). Stock quantities
// are limits, every piece is cut exactly as often as required.
//
// What is minimised, in this order: the length of regular stock (bars at or above the
// priority length, the steel that has to be bought), then the length of priority stock cut,
// then the number of patterns (set-ups of the saw). So a priority bar is used whenever it saves
// regular stock, and is left whole when it does not. With the remnant policy of the conditions
// (remnant_policy.h) the scrap comes second, and the pieces are cut exactly as often as
// required in the model itself.
//
// The work is limited by counts (pricing rounds, knapsack steps, simplex iterations, columns,
// search and MIP nodes), never by the clock: a job gives the same plan on every machine, however
// busy. A guard on processor time only stops absurd jobs; when it (or Shift) acts, the result
// says so.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "optimiser/records.h"
#include "optimiser/search.h"

namespace zarvel::optimiser {

// Processor time (not wall time: the load of other programs does not count) after which an
// absurd job stops; every job within the program's limits ends by its counts well before.
inline constexpr double kDefaultGuardSeconds = 30.0;

// Stock of a plan in mm: regular bars (at or above the priority length) and priority bars; with
// the remnant policy, mill stock and stock in hand (remnant_policy.h).
struct StockUse {
  double regular = 0;
  double priority = 0;
};

StockUse PlanStock(const OptimiserRecords& records);

// Whether a uses less than b by the rule above (regular stock first, then priority stock).
bool UsesLess(const StockUse& a, const StockUse& b);

// Whether a plan's figure reaches a bound, allowing for the LP's round-off.
bool ReachesBound(double value, double bound);

struct ExactResult {
  bool applicable = true;      // false: the model does not take this job (see ExactPlan)
  int status = kSearchFailed;  // kSearchPlanned: records.best holds the plan
  StockUse plan;
  double regular_bound = 0;   // no plan uses less regular stock
  double priority_bound = 0;  // no plan with plan.regular of regular stock uses less priority
  double scrap_bound = 0;     // with the remnant policy: no plan of that mill stock scraps less
  bool proven_optimal = false;
  bool stopped = false;      // Shift or the time guard ended it early
  bool out_of_work = false;  // the work budget of the options ended it early
};

// Where the planner stands, for the progress label: working out the bound, searching with the
// gap (mm) of the best plan so far to it (negative before the first plan), or looking for fewer
// patterns at the stock found.
enum class OptimalStage { kBound, kSearching, kPatterns };
using StageReport = std::function<void(OptimalStage stage, double gap_mm)>;

// Plans records (lists sorted and merged here) into records.best in the final order. Not
// applicable to jobs whose kerf makes a piece weigh nothing or whose bars are longer than
// 400 m; the caller then uses the search. `host` gives the progress label and Shift.
struct ExactOptions {
  // A plan of the same lists (its records.best, as the search leaves it) that the planner is to
  // better; the planner ends as soon as a plan, this one included, reaches the bound.
  const OptimiserRecords* start = nullptr;
  // The share (0..1) of the work limits of the search for a better plan after the first one.
  double effort = 1.0;
  // When above 0, the most work (knapsack steps, simplex iterations and MIP work in common
  // units) the planner may do before it ends with what it has, as a stop does.
  int64_t work_budget = 0;
  StageReport report;  // may be empty
};

ExactResult ExactPlan(OptimiserRecords& records, const SearchHost& host,
                      double guard_seconds = kDefaultGuardSeconds,
                      const ExactOptions& options = {});

// For a job the stock cannot cover: the least stock to add, in the job's own stock lengths
// (the least length added, then the fewest bars), by the same model.
struct Shortage {
  bool applicable = true;           // false: the model does not take this job
  bool found = false;               // `bars` (possibly none) makes the job plannable
  std::vector<StockBarsUsed> bars;  // bars to add per stock length, shortest first
  bool proven = false;              // no smaller addition exists
  bool stopped = false;             // Shift or the time guard ended it early
};

// Sorts and merges the lists; when an addition is found, the records become the job with it
// (stock quantities raised) and records.best a plan of that job.
Shortage LeastAddition(OptimiserRecords& records, const SearchHost& host,
                       double guard_seconds = kDefaultGuardSeconds, const StageReport& report = {});

// The bars of the stock entries after the first `owned` that records.best cuts.
std::vector<StockBarsUsed> AddedBars(const OptimiserRecords& records, int owned);

// The plain baseline the quality table compares with: the integer programme over nothing but
// the columns the LP's own column generation produced, `nodes` branch-and-bound nodes at most.
ExactResult PriceAndBranch(OptimiserRecords& records, int nodes);

}  // namespace zarvel::optimiser
