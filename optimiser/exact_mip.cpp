#include "optimiser/exact_mip.h"

#include <cmath>
#include <coin/CbcEventHandler.hpp>
#include <coin/CbcHeuristic.hpp>
#include <coin/CbcHeuristicDiveCoefficient.hpp>
#include <coin/CbcHeuristicLocal.hpp>
#include <coin/CbcModel.hpp>
#include <coin/ClpSimplex.hpp>
#include <coin/CoinPackedMatrix.hpp>
#include <coin/OsiClpSolverInterface.hpp>

namespace zarvel::optimiser {
namespace {

constexpr double kGain = 1e-9;  // the least improvement on the start that counts as one

// Ends the search once a plan reaches the target, or when asked to stop.
class StopAtTarget final : public CbcEventHandler {
 public:
  StopAtTarget(double target, std::function<bool()> should_stop)
      : target_(target), stop_(std::move(should_stop)) {}
  CbcEventHandler* clone() const override { return new StopAtTarget(*this); }
  CbcAction event(CbcEvent which) override {
    if (which == node && stop_ && stop_()) {
      stopped_ = true;
      return stop;
    }
    if ((which == solution || which == heuristicSolution || which == node) &&
        model_->getMinimizationObjValue() <= target_)
      return stop;
    return noAction;
  }
  bool stopped_ = false;

 private:
  double target_;
  std::function<bool()> stop_;
};

}  // namespace

MipResult SolvePatternMip(const ClpSimplex& model, const std::vector<double>& row_lower,
                          const std::vector<double>& row_upper, const std::vector<double>& start,
                          const MipLimits& limits) {
  MipResult result;
  const int columns = model.numberColumns();
  OsiClpSolverInterface solver;
  solver.messageHandler()->setLogLevel(0);
  solver.loadProblem(*model.matrix(), model.columnLower(), model.columnUpper(), model.objective(),
                     row_lower.data(), row_upper.data());
  for (int c = 0; c < columns; ++c) solver.setInteger(c);
  solver.getModelPtr()->setRandomSeed(1234567);
  CbcModel cbc(solver);
  cbc.setLogLevel(0);
  cbc.messageHandler()->setLogLevel(0);
  cbc.solver()->messageHandler()->setLogLevel(0);
  cbc.setNumberThreads(0);
  cbc.setRandomSeed(1234567);
  cbc.setMaximumNodes(limits.nodes);
  cbc.setMaximumSeconds(1e100);
  cbc.setPrintFrequency(0);
  // Rich: diving and local search on top of rounding, strong branching (finds plans early);
  // lean: rounding alone and no strong branching (many cheap nodes).
  CbcRounding rounding(cbc);
  cbc.addHeuristic(&rounding);
  CbcHeuristicDiveCoefficient dive(cbc);
  CbcHeuristicLocal local(cbc);
  if (limits.rich) {
    cbc.addHeuristic(&dive);
    cbc.addHeuristic(&local);
  } else if (!limits.strong) {
    cbc.setNumberStrong(0);
  }
  StopAtTarget handler(limits.target, limits.stop);
  cbc.passInEventHandler(&handler);
  double start_objective = COIN_DBL_MAX;
  if (!start.empty()) {
    start_objective = 0;
    for (int c = 0; c < columns; ++c)
      start_objective += start[static_cast<std::size_t>(c)] * model.objective()[c];
    cbc.setBestSolution(start.data(), columns, start_objective, true);
  }
  cbc.setMaximumNumberIterations(limits.iterations);
  if (limits.cutoff < 1e300) cbc.setCutoff(limits.cutoff);
  cbc.branchAndBound();
  result.iterations = cbc.getIterationCount();
  result.nodes = cbc.getNodeCount();
  const auto* copied = dynamic_cast<const StopAtTarget*>(cbc.getEventHandler());
  result.stopped = copied != nullptr && copied->stopped_;
  result.proven = !result.stopped && cbc.isProvenOptimal();
  result.bound = cbc.getBestPossibleObjValue();
  const double* best = cbc.bestSolution();
  if (best == nullptr) return result;
  result.objective = cbc.getObjValue();
  if (result.objective >= start_objective - kGain) return result;  // no better than the start
  result.x.assign(best, best + columns);
  for (double& v : result.x) v = std::round(v);
  result.found = true;
  return result;
}

}  // namespace zarvel::optimiser
