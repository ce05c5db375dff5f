// The whole job as a flow of bars through a graph of partial bar fillings, solved as one integer
// programme by COIN-OR CBC: where the graph is small, this proves what the column generation's
// bound leaves open (every pattern is a path of the graph, so nothing is missing from the model).
//
// The graph: the piece lengths in a fixed order, longest first; a bar is filled length by length,
// an arc taking c copies of one length. After each length a filling is pushed up to the largest
// fill from which the same completions (the lengths still to come, then a stock length) fit, so
// fillings that allow the same rest of the bar meet in one node; a node is a fill (an upper
// bound of what the bar holds), whatever the length it was reached at. The fills after the last
// length are capacities, and lead to the stock lengths of that capacity or more; one unit of
// flow from the source to the sink is a bar.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace zarvel::optimiser {

struct ArcFlowJob {
  std::vector<int64_t> weights;     // per piece length: its length and the kerf, > 0
  std::vector<int64_t> demand;      // pieces required per length
  std::vector<int64_t> capacities;  // per stock length: what a bar holds (length, margin, kerf)
  std::vector<int64_t> quantities;  // bars available per stock length
  std::vector<double> costs;        // the objective per bar of a stock length
  // Rows holding objectives already at their least: per stock length its share of the row,
  // and the most the row may reach.
  struct Held {
    std::vector<double> per_stock;
    double cap = 0;
  };
  std::vector<Held> held;
};

// Bars cut alike: `counts` per piece length, of stock length `stock` (indices of ArcFlowJob).
struct ArcFlowBars {
  int stock = 0;
  std::vector<int32_t> counts;
  int64_t times = 0;
};

struct ArcFlowLimits {
  int64_t arcs = 0;         // a larger graph is not built (the model does not take the job)
  int64_t table_words = 0;  // and the table of completions is not filled beyond this
  int nodes = 0;            // branch-and-bound nodes of CBC
  int iterations = 0;       // its simplex iterations, or 0: while their total times the arcs
  int64_t work = 0;         // stays within this
  double target = 0;        // a plan whose objective is at most this ends the search
  std::function<bool()> stop;
};

struct ArcFlowResult {
  bool built = false;  // the graph was within the limits
  int64_t arcs = 0;    // its size
  int64_t nodes = 0;
  bool found = false;    // plan holds a plan better than the start
  bool proven = false;   // no plan's objective is below `bound`
  double bound = 0;      // the least objective any plan can have, as far as the search saw
  double objective = 0;  // of the best plan, the start's when none better was found
  std::vector<ArcFlowBars> plan;
  int64_t iterations = 0;  // simplex iterations spent
  bool stopped = false;
};

// Whether the graph of `job` stays within the limits' arcs and table (it is built, not solved).
bool ArcFlowFits(const ArcFlowJob& job, const ArcFlowLimits& limits);

// Minimises the objective over every plan that cuts at least the demand (the surplus comes off
// afterwards). `start`, when its bars all fit, is a plan known to be feasible.
ArcFlowResult SolveArcFlow(const ArcFlowJob& job, const std::vector<ArcFlowBars>& start,
                           const ArcFlowLimits& limits);

}  // namespace zarvel::optimiser
