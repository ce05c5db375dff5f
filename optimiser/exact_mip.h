// The integer programme over a fixed set of cutting patterns, solved by COIN-OR CBC.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class ClpSimplex;

namespace zarvel::optimiser {

struct MipLimits {
  int nodes = 0;               // branch-and-bound nodes
  int iterations = 0;          // simplex iterations of all nodes together
  bool rich = false;           // more heuristics per node (fewer, dearer nodes)
  bool strong = false;         // strong branching without the further heuristics (for proof)
  double target = 0;           // a plan whose objective is at most this ends the search at once
  double cutoff = 1e300;       // plans above this are of no interest (nodes above it are left)
  std::function<bool()> stop;  // Shift or the time guard
};

struct MipResult {
  bool found = false;  // x holds a plan better than the start
  bool stopped = false;
  std::vector<double> x;  // per column of the model, whole numbers
  double objective = 0;
  bool proven = false;     // the search ended with no better plan left anywhere
  double bound = 0;        // the least objective any plan can have, as far as the search saw
  int64_t iterations = 0;  // simplex iterations spent
  int nodes = 0;           // branch-and-bound nodes spent
};

// Minimises the objective of `model` (its matrix, costs and column bounds) over whole column
// values, with `row_lower`/`row_upper` as row bounds. `start`, when not empty, is a plan known
// to be feasible; only better ones are returned. Single-threaded, fixed seeds, limited by
// nodes only, so the answer does not depend on the machine.
MipResult SolvePatternMip(const ClpSimplex& model, const std::vector<double>& row_lower,
                          const std::vector<double>& row_upper, const std::vector<double>& start,
                          const MipLimits& limits);

}  // namespace zarvel::optimiser
