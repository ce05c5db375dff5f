// Plans that reach the least stock a job allows: column generation over cutting patterns (an
// LP solved by COIN-OR CLP, priced by a bounded knapsack per stock length), then an integer
// plan by fixing the LP's whole patterns and re-solving the rest, one pattern at a time.
//
// The model: a bar of length L with margin M and kerf K takes pieces l1..lk when
// l1 + ... + lk + (k - 1)K <= L + M; its remnant is max(0, L - sum(l + K)). Stock quantities
// are limits, every piece is cut exactly as often as required. Bars shorter than the priority
// length count at a thousandth of their length, so they are used before other stock; the
// objective is otherwise the stock length.
#pragma once

#include <string>

#include "optimiser/records.h"
#include "optimiser/search.h"

namespace zarvel::optimiser {

inline constexpr double kPriorityCostFactor = 0.001;

struct ExactResult {
  bool applicable = true;      // false: the model does not take this job (see ExactPlan)
  int status = kSearchFailed;  // kSearchPlanned: records.best holds the plan
  double cost = 0;             // the plan's objective
  double lower_bound = 0;      // no plan can cost less (the LP bound, rounded up where it may)
  bool proven_optimal = false;
  bool stopped = false;  // Shift or the time limit ended it early
};

// The progress label at 最適: the plan's objective and the bound in metres ("-" before there
// is a plan), with the Shift hint while working.
std::string OptimalProgressText(double cost, double bound, bool working);

// The objective of records.best: stock length, priority stock at a thousandth.
double PlanCost(const OptimiserRecords& records);

// Plans records (lists sorted and merged here) into records.best in the final order. Not
// applicable to jobs whose kerf makes a piece weigh nothing or whose bars are longer than
// 400 m; the caller then uses the search. `host` gives the progress label and Shift.
ExactResult ExactPlan(OptimiserRecords& records, const SearchHost& host, double seconds = 4.0);

}  // namespace zarvel::optimiser
