#include "optimiser/exact.h"

#include <algorithm>
#include <cmath>
#include <coin/ClpSimplex.hpp>
#include <ctime>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "optimiser/arc_flow.h"
#include "optimiser/exact_bound.h"
#include "optimiser/exact_mip.h"
#include "optimiser/pattern_enum.h"
#include "optimiser/pattern_merge.h"
#include "optimiser/remnant_policy.h"

namespace zarvel::optimiser {
namespace {

constexpr int64_t kMaxCapacity = 400000;  // longest bar with margin and kerf, mm

// Work limits: the plan depends on these counts alone.
constexpr int kMaxPricingRounds = 20000;              // column-generation rounds in a run
constexpr int64_t kMaxKnapsackSteps = 2'000'000'000;  // table cells the pricing may fill
constexpr std::size_t kMaxColumns = 60000;            // patterns kept
constexpr int kMaxFixings = 5000;                     // patterns fixed in one dive
constexpr int64_t kMaxLpIterations = 3'000'000;       // simplex iterations before the search ends
// A node's work grows with the master's size (columns x rows): the search over fixings and the
// MIPs get nodes while the total of that size over their nodes stays within these.
constexpr int64_t kBranchWork = 200'000'000;
constexpr int64_t kRichMipWork = 60'000'000;
constexpr int64_t kMipWork = 150'000'000;
constexpr int kBranchNodes = 1500;         // LPs of the search over fixings
constexpr int kRichMipNodes = 300;         // CBC nodes of the first MIP
constexpr int kMipIterations = 2'000'000;  // simplex iterations per MIP
constexpr int kMipNodes = 1000;            // and of the last
// The integer programme for fewer patterns at the same stock: its columns and nodes.
constexpr std::size_t kPatternColumns = 800;
constexpr int kPatternMipNodes = 1000;
// Its work is a share of the work that found the stock, counted in simplex iterations times
// the LP's rows and columns; a knapsack step, an iteration of the MIPs and a node of the pattern
// programme (per row and column) are counted at what each costs against that unit, measured.
constexpr int64_t kPatternShare = 4;
constexpr int64_t kKnapsackStepsPerUnit = 64;
constexpr int64_t kMipUnitsPerIteration = 3;
constexpr int64_t kNodeUnits = 10;
constexpr int kPatternLeastIterations = 50;  // fewer hardly leave the start
// The merging of patterns after that programme: its steps are that work over this (a step costs
// about as much as a unit, measured).
constexpr int64_t kMergeShare = 16;

// The integer programme over the graph of bar fillings, for what the LP's bound leaves open: the
// largest graph built (arcs; and the table of completions, in 64-bit words), CBC's nodes on it,
// and its simplex iterations while their total times the graph's arcs stays within the work.
// CBC's first LP on the graph grows fast with its size (measured: 0.3 s at 11 000 arcs, 4 s at
// 18 000), hence the small graph.
constexpr int64_t kArcFlowArcs = 12000;
constexpr int64_t kArcFlowTableWords = 20'000'000;
constexpr int kArcFlowNodes = 500;
constexpr int64_t kArcFlowWork = 400'000'000;
// Every pattern within the gap of the root's LP: the enumeration's steps (each a step of the
// knapsack's kind), the patterns it may list, and the integer programme's nodes over them.
constexpr int64_t kEnumSteps = 20'000'000;
constexpr int64_t kEnumPatterns = 1500;
constexpr int kEnumNodes = 2000;
constexpr int64_t kEnumWork = 2'000'000;  // its nodes times its columns

// Tolerances of the LP.
constexpr double kReducedCostTolerance = 1e-7;  // of the dearest bar: a column must gain more
constexpr double kDualTolerance = 1e-7;         // a piece whose dual is this small earns nothing
constexpr double kWholeTolerance = 1e-6;        // an LP value this near a whole number is one
constexpr double kBoundRoundOff = 1e-9;         // relative; taken off a bound before rounding up
constexpr double kKnapsackTie = 1e-12;  // a fill must be worth this much more to replace one

struct Pattern {
  int stock = 0;                // stock entry, 1-based
  std::vector<int32_t> counts;  // per cut entry, 1-based (index 0 unused)
};

// An integer plan of the master problem: patterns (by index) and how often each is cut.
struct Candidate {
  std::vector<std::pair<int, int64_t>> uses;
  double cost = 0;  // the objective of the phase it was found in
  bool ok = false;
};

// Writes a plan's patterns into records.best and finishes it. One pattern cut in two places of
// the plan is one set-up: such uses are merged, in the order of their first use.
void WriteBars(OptimiserRecords& r, std::vector<std::pair<Pattern, int64_t>> plan) {
  std::vector<std::pair<Pattern, int64_t>> merged;
  for (auto& use : plan) {
    const Pattern& p = use.first;
    auto same = std::find_if(merged.begin(), merged.end(), [&](const auto& e) {
      return e.first.stock == p.stock && e.first.counts == p.counts;
    });
    if (same != merged.end()) {
      same->second += use.second;
    } else {
      merged.push_back(std::move(use));
    }
  }
  CuttingPlan& best = r.best;
  best.pattern_count = 0;
  if (merged.size() > static_cast<std::size_t>(best.max_patterns)) return;
  const int n = r.cut.count;
  best.pattern_count = static_cast<int32_t>(merged.size());
  best.required_length = r.cut.TotalLength();
  best.stock_length = 0;
  best.remnant_length = 0;
  for (std::size_t i = 0; i < merged.size(); ++i) {
    const Pattern& p = merged[i].first;
    BarPattern& b = best.patterns[i + 1];
    b = BarPattern{};
    b.stock_index = p.stock;
    int64_t used = 0;
    for (int j = 1; j <= n; ++j) {
      b.piece_counts[j] = p.counts[static_cast<std::size_t>(j)];
      used += b.piece_counts[j] * (int64_t{r.cut.entries[j].length} + r.conditions.kerf);
    }
    const int64_t length = r.stock.entries[p.stock].length;
    b.remnant = static_cast<double>(std::max<int64_t>(length - used, 0));
    b.remnant_rate = 100.0 * b.remnant / static_cast<double>(length);
    b.repeat_count = static_cast<int32_t>(merged[i].second);
    best.stock_length += static_cast<double>(length) * b.repeat_count;
    best.remnant_length += b.remnant * b.repeat_count;
  }
  best.SetRates();
  FinalisePlan(r);
}

// The objectives, minimised one after the other: regular then priority stock for a plan (with
// the remnant policy, mill stock, scrap, then stock in hand); for a job the stock cannot cover,
// the length added then the bars added.
enum class Phase { kRegular, kScrap, kPriority, kAddedLength, kAddedBars };

class Planner {
 public:
  Planner(OptimiserRecords& r, const SearchHost& host, double seconds, int baseline_nodes = 0,
          int owned = 0, const ExactOptions& options = {})
      : baseline_nodes_(baseline_nodes),
        owned_(owned),
        options_(options),
        r_(r),
        host_(host),
        guard_(std::clock() + static_cast<std::clock_t>(seconds * CLOCKS_PER_SEC)) {}

  ExactResult Run();
  // The least addition: entries owned_ + 1.. of the stock list are bars that can be added.
  ExactResult RunShortage();

 private:
  // Stages of a run.
  bool Prepare();
  void BuildMaster();
  // `first`: the job's first objective, where the plans of ExactOptions come in.
  Candidate MinimisePhase(const Candidate* start, double& bound, bool first = false);
  void EnterPhase(Phase next, double cap);
  void WritePlan(const Candidate& plan);
  std::vector<std::pair<Pattern, int64_t>> Trim(const Candidate& plan) const;
  Candidate CutExactly(const Candidate& plan);

  // The column generation.
  bool Priority(int k) const { return InHand(r_, k); }
  bool Added(int k) const { return owned_ > 0 && k > owned_; }
  // With the remnant policy the pieces are cut exactly as required once the mill stock is
  // known (a surplus would hide scrap), and a pattern's scrap depends on its filled length.
  bool Policy() const { return r_.conditions.policy.offcuts_first; }
  int64_t Filled(const Pattern& p) const {
    int64_t filled = 0;
    for (int j = 1; j <= n_; ++j) filled += p.counts[static_cast<std::size_t>(j)] * Weight(j);
    return filled;
  }
  // A bar's cost in a phase; `filled` counts only for the scrap.
  double PhaseCost(Phase phase, int k, int64_t filled) const {
    const double length = r_.stock.entries[k].length;
    switch (phase) {
      case Phase::kRegular:
        return Priority(k) ? 0.0 : length;
      case Phase::kScrap:
        return static_cast<double>(ScrapOf(
            std::max<int64_t>(r_.stock.entries[k].length - filled, 0), r_.conditions.policy.keep));
      case Phase::kPriority:
        return Priority(k) ? length : 0.0;
      case Phase::kAddedLength:
        return Added(k) ? length : 0.0;
      case Phase::kAddedBars:
        break;
    }
    return Added(k) ? 1.0 : 0.0;
  }
  double PhaseCost(Phase phase, const Pattern& p) const {
    return PhaseCost(phase, p.stock, phase == Phase::kScrap ? Filled(p) : 0);
  }
  double Cost(const Pattern& p) const { return PhaseCost(phase_, p); }
  // Whether a pattern's cost in the current phase or in a row holding an earlier one depends on
  // its filled length: the pricing then goes by filled lengths.
  bool ByFill() const {
    return phase_ == Phase::kScrap || std::any_of(caps_.begin(), caps_.end(), [](const auto& cap) {
             return cap.first == Phase::kScrap;
           });
  }
  int64_t Capacity(int k) const {
    return int64_t{r_.stock.entries[k].length} + StockMargin(r_, k) + r_.conditions.kerf;
  }
  int64_t Weight(int j) const { return int64_t{r_.cut.entries[j].length} + r_.conditions.kerf; }
  // A pattern's column of the master: its pieces, its bar and its share of the held rows.
  void Column(const Pattern& p, std::vector<int>& rows, std::vector<double>& elements) const;
  int AddPattern(const Pattern& p);
  bool Price(double* lagrangian);
  void Solve(double* bound = nullptr);
  double RoundedBound(double lp_bound) const;

  // The integer step.
  Candidate Dive();
  struct Node {
    std::vector<double> residual, left;  // pieces still needed, bars still there
    std::vector<double> cap_left;        // per row holding an earlier objective: what is left
    Candidate fixed;
  };
  Node RootNode() const;
  bool Covered(const Node& node) const {
    for (int j = 1; j <= n_; ++j)
      if (node.residual[static_cast<std::size_t>(j)] > kWholeTolerance) return false;
    return true;
  }
  bool Fix(Node& node, int index, int64_t wanted);
  void Branch(const Node& node, Candidate& best, double bound, int64_t& work);
  Candidate Mip(const Candidate& start, double target, bool rich);
  Candidate FewerPatterns(const Candidate& plan);
  // Merges the patterns of records.best within `steps` (pattern_merge.h); true when fewer.
  // Every bar keeps its stock length, so the stock, priority stock and scrap do not grow.
  bool MergeBest(int64_t steps);
  // The whole job over the graph of bar fillings, where it is small; `bound` is raised to the
  // least objective when that is proven.
  Candidate ArcFlow(const Candidate& start, double& bound);
  ArcFlowJob WholeJob() const;
  static ArcFlowLimits GraphLimits();
  // Every pattern the root's duals leave within reach of the bound, and the integer programme
  // over them alone, for a plan at the bound.
  Candidate Enumerated(const Candidate& best, double bound);
  Candidate PlanOf(const CuttingPlan& plan);  // in this planner's patterns
  void SetRowBounds(const std::vector<double>& residual, const std::vector<double>& left,
                    const std::vector<double>& cap_left);
  Pattern Useful(const Pattern& p, int64_t times) const;
  double CandidateCost(const Candidate& c) const;
  // Whether the LP needs pieces from nowhere: the stock left cannot cover them.
  bool UsesArtificial() const {
    const double* x = lp_.getColSolution();
    for (int j = 0; j < n_; ++j)
      if (x[j] > kWholeTolerance) return true;
    return false;
  }

  int64_t Effort(int64_t work) const {
    return static_cast<int64_t>(static_cast<double>(work) * std::clamp(options_.effort, 0.0, 1.0));
  }
  // The plan to better, in this planner's patterns.
  bool SameLists(const OptimiserRecords* from) const;
  Candidate StartFrom(const OptimiserRecords* from);
  // Whether the plan of `from` reaches `bound` in the current objective.
  bool StartReaches(const OptimiserRecords* from, double bound) const;
  // Work done so far, in the units of kPatternShare (see there).
  int64_t ExactWork() const {
    return knapsack_steps_ / kKnapsackStepsPerUnit + lp_work_ +
           kMipUnitsPerIteration * (mip_work_ + graph_work_);
  }
  // The share of it that made plans: the proof over the graph of bar fillings adds no pattern
  // to choose from, and does not widen the pattern step's share.
  int64_t PlanWork() const { return ExactWork() - kMipUnitsPerIteration * graph_work_; }
  int32_t PatternLowerBound() const;
  // The pieces are cut exactly as often as required: more copies of p than this cut too many.
  int64_t MostCopies(const Pattern& p) const {
    int64_t most = r_.stock.entries[p.stock].quantity;
    for (int j = 1; j <= n_; ++j)
      if (const int32_t a = p.counts[static_cast<std::size_t>(j)]; a > 0)
        most = std::min<int64_t>(most, r_.cut.entries[j].quantity / a);
    return most;
  }
  int64_t NodeSize() const {
    return std::max<int64_t>(1, int64_t{lp_.numberColumns()} * lp_.numberRows());
  }
  bool Stop() {
    if (stopped_) return true;
    out_of_work_ = options_.work_budget > 0 && ExactWork() > options_.work_budget;
    stopped_ = out_of_work_ || std::clock() > guard_ ||
               (host_.keys != nullptr && host_.keys->IsKeyDown(kKeyShift));
    return stopped_;
  }
  void Progress(OptimalStage stage, double gap = -1) {
    if (options_.report) options_.report(stage, gap);
  }

  int baseline_nodes_;  // > 0: the MIP over the root's columns only, with this many nodes
  int owned_;           // > 0: the stock the job owns, before the bars that may be added
  ExactOptions options_;
  OptimiserRecords& r_;
  const SearchHost& host_;
  std::clock_t guard_;  // processor time at which absurd jobs stop
  Phase phase_ = Phase::kRegular;
  int n_ = 0;  // cut entries
  int m_ = 0;  // stock entries
  // The rows holding the earlier objectives to their least: the objective and the row.
  std::vector<std::pair<Phase, int>> caps_;
  ClpSimplex lp_;
  std::vector<double> row_lower_, row_upper_;  // the master's own row bounds
  std::vector<Pattern> patterns_;  // column n_ + i is pattern i (columns 0..n_-1 artificial)
  std::map<std::vector<int32_t>, int> index_;
  std::vector<double> residual_;  // pieces still to cover, per cut entry (1-based)
  int64_t knapsack_steps_ = 0;
  int pricing_rounds_ = 0;
  int64_t lp_iterations_ = 0;  // simplex iterations of every LP so far
  int64_t lp_work_ = 0;        // and those iterations times the rows and columns of their LP
  int64_t mip_work_ = 0;       // simplex iterations of the MIPs times their rows and columns
  int64_t graph_work_ = 0;     // and of the programme over the graph times its arcs
  int64_t pieces_ = 0;         // all pieces: no trimmed plan cuts more bars
  bool stopped_ = false;
  bool priced_out_ = false;  // the last pricing found no column with a negative reduced cost
  // The root LP of the phase at its optimum: its objective and the dual of every row.
  struct RootDuals {
    bool ok = false;
    double objective = 0;
    std::vector<double> price;
  } root_;
  bool out_of_work_ = false;  // the stop came from the options' work budget
  bool exact_rows_ = false;   // the pieces' rows ask for exactly the demand (the remnant policy)
};

void Planner::Column(const Pattern& p, std::vector<int>& rows,
                     std::vector<double>& elements) const {
  for (int j = 1; j <= n_; ++j) {
    if (p.counts[static_cast<std::size_t>(j)] == 0) continue;
    rows.push_back(j - 1);
    elements.push_back(p.counts[static_cast<std::size_t>(j)]);
  }
  rows.push_back(n_ + p.stock - 1);
  elements.push_back(1.0);
  for (const auto& [phase, row] : caps_) {
    if (const double held = PhaseCost(phase, p); held > 0) {
      rows.push_back(row);
      elements.push_back(held);
    }
  }
}

int Planner::AddPattern(const Pattern& p) {
  std::vector<int32_t> key(p.counts);
  key[0] = p.stock;
  const auto found = index_.find(key);
  if (found != index_.end()) return found->second;
  std::vector<int> rows;
  std::vector<double> elements;
  Column(p, rows, elements);
  lp_.addColumn(static_cast<int>(rows.size()), rows.data(), elements.data(), 0.0, COIN_DBL_MAX,
                Cost(p));
  patterns_.push_back(p);
  const int index = static_cast<int>(patterns_.size()) - 1;
  index_.emplace(std::move(key), index);
  return index;
}

Pattern Planner::Useful(const Pattern& p, int64_t times) const {
  Pattern q = p;
  int64_t used = 0;
  auto need = [&](int j) {
    return static_cast<int64_t>(std::floor(std::max(0.0, residual_[static_cast<std::size_t>(j)]) /
                                               static_cast<double>(times) +
                                           kWholeTolerance));
  };
  for (int j = 1; j <= n_; ++j) {
    auto& c = q.counts[static_cast<std::size_t>(j)];
    c = static_cast<int32_t>(std::min<int64_t>(c, need(j)));
    used += c * Weight(j);
  }
  for (int j = n_; j >= 1; --j) {  // refill the freed room, longest pieces first
    auto& c = q.counts[static_cast<std::size_t>(j)];
    while (c < need(j) && used + Weight(j) <= Capacity(q.stock)) {
      ++c;
      used += Weight(j);
    }
  }
  return q;
}

// Adds the best pattern of every stock length whose reduced cost is negative; false when there
// is none (or the work limits are reached). `lagrangian` receives a lower bound of the master.
bool Planner::Price(double* lagrangian) {
  priced_out_ = false;
  const double* price = lp_.getRowPrice();
  const bool by_fill = ByFill();
  int64_t cap = 0;
  for (int k = 1; k <= m_; ++k) cap = std::max(cap, Capacity(k));
  // Bounded knapsack over pieces with a positive dual, split into powers of two. By filled
  // length, every piece still needed counts: one that earns nothing may still save scrap.
  struct Item {
    int entry;
    int count;
    int64_t weight;
    double value;
  };
  std::vector<Item> items;
  for (int j = 1; j <= n_; ++j) {
    const double v = price[j - 1];
    if (v <= kDualTolerance && !by_fill) continue;
    const int64_t w = Weight(j);
    const auto need =
        static_cast<int64_t>(std::ceil(residual_[static_cast<std::size_t>(j)] - kWholeTolerance));
    const int64_t bound = std::min<int64_t>(need, cap / w);
    for (int64_t c = 1, left = bound; left > 0; c *= 2) {
      const int64_t take = std::min(c, left);
      items.push_back({j, static_cast<int>(take), take * w, static_cast<double>(take) * v});
      left -= take;
    }
  }
  const auto width = static_cast<std::size_t>(cap + 1);
  const auto steps = static_cast<int64_t>(items.size() * width);
  if (knapsack_steps_ + steps > kMaxKnapsackSteps || pricing_rounds_ >= kMaxPricingRounds ||
      patterns_.size() >= kMaxColumns)
    return false;
  knapsack_steps_ += steps;
  ++pricing_rounds_;
  // best[c]: the most earned within c mm; by filled length, with exactly c mm filled.
  FillTable fills;
  std::vector<double>& best = fills.best;
  best.assign(width, by_fill ? -std::numeric_limits<double>::infinity() : 0.0);
  best[0] = 0.0;
  std::vector<std::vector<bool>> take(items.size(), std::vector<bool>(width, false));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto w = static_cast<std::size_t>(items[i].weight);
    for (std::size_t c = width - 1; c + 1 > w; --c) {
      const double with = best[c - w] + items[i].value;
      if (with > best[c] + kKnapsackTie) {
        best[c] = with;
        take[i][c] = true;
      }
      if (c == 0) break;
    }
  }
  if (by_fill) fills.Accumulate();
  double scale = 1.0;
  for (int k = 1; k <= m_; ++k)
    scale = std::max(
        scale, phase_ == Phase::kScrap ? r_.stock.entries[k].length : PhaseCost(phase_, k, 0));
  // The scrap's weight in the reduced cost: its own phase's, less the dual of the row holding it.
  double scrap_weight = phase_ == Phase::kScrap ? 1.0 : 0.0;
  for (const auto& [phase, row] : caps_)
    if (phase == Phase::kScrap) scrap_weight -= price[row];
  double gain = 0;  // the most the missing columns could still lower the objective
  bool added = false;
  bool negative = false;
  for (int k = 1; k <= m_; ++k) {
    const int64_t c0 = Capacity(k);
    if (c0 <= 0) continue;
    double held = 0;  // the rows holding earlier objectives, as far as they go by the bar alone
    for (const auto& [phase, row] : caps_)
      if (phase != Phase::kScrap) held += price[row] * PhaseCost(phase, k, 0);
    double reduced = 0;
    auto c = static_cast<std::size_t>(c0);
    if (by_fill) {
      const double own = phase_ == Phase::kScrap ? 0.0 : PhaseCost(phase_, k, 0);
      const FillChoice fill = CheapestFill(fills, r_.stock.entries[k].length, c0,
                                           r_.conditions.policy.keep, scrap_weight);
      if (fill.filled <= 0) continue;  // no fill, or an empty bar
      reduced = own - price[n_ + k - 1] - held + fill.value;
      c = static_cast<std::size_t>(fill.filled);
    } else {
      reduced = PhaseCost(phase_, k, 0) - price[n_ + k - 1] - held - best[c];
    }
    gain += std::min(0.0, reduced) *
            static_cast<double>(std::min<int64_t>(r_.stock.entries[k].quantity, pieces_));
    if (reduced > -kReducedCostTolerance * scale) continue;
    negative = true;
    Pattern p{k, std::vector<int32_t>(static_cast<std::size_t>(n_) + 1, 0)};
    for (std::size_t i = items.size(); i-- > 0;) {
      if (take[i][c]) {
        p.counts[static_cast<std::size_t>(items[i].entry)] += items[i].count;
        c -= static_cast<std::size_t>(items[i].weight);
      }
    }
    const std::size_t before = patterns_.size();
    AddPattern(p);
    added |= patterns_.size() > before;
  }
  if (lagrangian != nullptr) *lagrangian = std::max(*lagrangian, lp_.objectiveValue() + gain);
  priced_out_ = !negative;
  return added;
}

// Column generation with the current row bounds, to the LP optimum unless stopped or out of
// work. With `bound`, the best Lagrangian bound seen is kept there (valid however it ends).
void Planner::Solve(double* bound) {
  lp_.primal();
  lp_iterations_ += lp_.numberIterations();
  lp_work_ += int64_t{lp_.numberIterations()} * (lp_.numberRows() + lp_.numberColumns());
  while (!stopped_) {
    if (!Price(bound)) break;
    lp_.primal(1);
    lp_iterations_ += lp_.numberIterations();
    lp_work_ += int64_t{lp_.numberIterations()} * (lp_.numberRows() + lp_.numberColumns());
    Stop();
  }
}

double Planner::RoundedBound(double lp_bound) const {
  const double slack = kBoundRoundOff * std::max(1.0, std::abs(lp_bound));
  if (phase_ == Phase::kScrap) return std::ceil(lp_bound - slack);  // whole millimetres
  std::vector<StockBars> bars;
  for (int k = 1; k <= m_; ++k)
    if (const double cost = PhaseCost(phase_, k, 0); cost > 0)
      bars.push_back({std::llround(cost), r_.stock.entries[k].quantity});
  return RoundUpToStock(lp_bound - slack, bars);
}

double Planner::CandidateCost(const Candidate& c) const {
  double cost = 0;
  for (auto [index, times] : c.uses)
    cost += Cost(patterns_[static_cast<std::size_t>(index)]) * static_cast<double>(times);
  return cost;
}

void Planner::SetRowBounds(const std::vector<double>& residual, const std::vector<double>& left,
                           const std::vector<double>& cap_left) {
  for (int j = 1; j <= n_; ++j) {
    const double need = std::max(0.0, residual[static_cast<std::size_t>(j)]);
    lp_.setRowBounds(j - 1, need, exact_rows_ ? need : COIN_DBL_MAX);
  }
  for (int k = 1; k <= m_; ++k)
    lp_.setRowBounds(n_ + k - 1, -COIN_DBL_MAX, std::max(0.0, left[static_cast<std::size_t>(k)]));
  for (std::size_t i = 0; i < caps_.size(); ++i)
    lp_.setRowBounds(caps_[i].second, -COIN_DBL_MAX, std::max(0.0, cap_left[i]));
}

// One dive, the first plan: fix every whole part of the LP solution at once (patterns cut to
// the pieces still needed and refilled), or else the most fractional pattern, and re-solve the
// rest, until every piece is placed.
Candidate Planner::Dive() {
  Candidate c;
  Node node = RootNode();
  // The rest is always planned, even after Shift: a dive must end with a plan.
  const bool was_stopped = stopped_;
  stopped_ = false;
  for (int round = 0; round < kMaxFixings; ++round) {
    residual_ = node.residual;
    SetRowBounds(node.residual, node.left, node.cap_left);
    Solve();
    if (UsesArtificial()) break;  // the stock left cannot cover the pieces this way
    const double* x = lp_.getColSolution();
    std::vector<std::pair<int, int64_t>> chosen;
    int most = -1;
    double most_fraction = kWholeTolerance;
    for (std::size_t i = 0; i < patterns_.size(); ++i) {
      const double v = x[static_cast<std::size_t>(n_) + i];
      const auto whole = static_cast<int64_t>(std::floor(v + kWholeTolerance));
      if (whole > 0) chosen.emplace_back(static_cast<int>(i), whole);
      if (v - static_cast<double>(whole) > most_fraction) {
        most_fraction = v - static_cast<double>(whole);
        most = static_cast<int>(i);
      }
    }
    if (chosen.empty() && most >= 0) chosen.emplace_back(most, 1);
    bool fixed = false;
    for (auto [index, wanted] : chosen) fixed |= Fix(node, index, wanted);
    if (Covered(node)) {
      c = node.fixed;
      c.ok = true;
      break;
    }
    if (!fixed) break;
  }
  stopped_ = was_stopped || stopped_;
  return c;
}

Planner::Node Planner::RootNode() const {
  Node root;
  root.residual.assign(static_cast<std::size_t>(n_) + 1, 0.0);
  root.left.assign(static_cast<std::size_t>(m_) + 1, 0.0);
  for (int j = 1; j <= n_; ++j)
    root.residual[static_cast<std::size_t>(j)] = r_.cut.entries[j].quantity;
  for (int k = 1; k <= m_; ++k)
    root.left[static_cast<std::size_t>(k)] = r_.stock.entries[k].quantity;
  for (const auto& [phase, row] : caps_)
    root.cap_left.push_back(row_upper_[static_cast<std::size_t>(row)]);
  return root;
}

// Fixes `wanted` copies of a pattern (cut to what is still needed); false when nothing changes.
bool Planner::Fix(Node& node, int index, int64_t wanted) {
  const Pattern base = patterns_[static_cast<std::size_t>(index)];
  const auto k = static_cast<std::size_t>(base.stock);
  const int64_t times =
      std::min<int64_t>(wanted, static_cast<int64_t>(node.left[k] + kWholeTolerance));
  if (times <= 0) return false;
  residual_ = node.residual;
  const Pattern p = Useful(base, times);
  int64_t pieces = 0;
  for (int j = 1; j <= n_; ++j) pieces += p.counts[static_cast<std::size_t>(j)];
  if (pieces == 0) return false;
  std::vector<double> capped;
  for (std::size_t i = 0; i < caps_.size(); ++i) {
    capped.push_back(PhaseCost(caps_[i].first, p) * static_cast<double>(times));
    if (capped[i] > node.cap_left[i] + kWholeTolerance) return false;
  }
  node.fixed.uses.emplace_back(AddPattern(p), times);
  node.fixed.cost += Cost(p) * static_cast<double>(times);
  for (int j = 1; j <= n_; ++j)
    node.residual[static_cast<std::size_t>(j)] -=
        static_cast<double>(p.counts[static_cast<std::size_t>(j)] * times);
  node.left[k] -= static_cast<double>(times);
  for (std::size_t i = 0; i < caps_.size(); ++i) node.cap_left[i] -= capped[i];
  return true;
}

// Depth-first search over fixings, each node priced afresh: a node whose LP bound (rounded up
// to what the stock can make) cannot beat the best plan is left; otherwise its three largest
// LP columns are tried in turn. `work` is what is left of the search's work (see kBranchWork).
void Planner::Branch(const Node& node, Candidate& best, double bound, int64_t& work) {
  if (work <= 0 || lp_iterations_ > kMaxLpIterations || Stop()) return;
  work -= std::max(NodeSize(), Effort(kBranchWork) / kBranchNodes);
  residual_ = node.residual;
  SetRowBounds(node.residual, node.left, node.cap_left);
  Solve();
  if (UsesArtificial()) return;
  const double reach = RoundedBound(node.fixed.cost + lp_.objectiveValue());
  if (best.ok && reach >= best.cost - kWholeTolerance) return;
  const bool done = Covered(node);
  const double* x = lp_.getColSolution();
  std::vector<std::pair<double, int>> columns;
  bool integral = true;
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    const double v = x[static_cast<std::size_t>(n_) + i];
    if (v <= kWholeTolerance) continue;
    columns.emplace_back(v, static_cast<int>(i));
    integral &= std::abs(v - std::round(v)) <= kWholeTolerance;
  }
  if (done || integral) {  // the LP's own solution finishes the plan
    Node last = node;
    for (auto [v, i] : columns) Fix(last, i, std::llround(v));
    const bool covered = Covered(last);
    if (covered && (!best.ok || last.fixed.cost < best.cost - kWholeTolerance)) {
      best = last.fixed;
      best.ok = true;
      Progress(OptimalStage::kSearching, best.cost - bound);
    }
    if (covered) return;
  }
  std::stable_sort(columns.begin(), columns.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  if (columns.size() > 3) columns.resize(3);
  for (auto [v, i] : columns) {
    Node child = node;
    if (!Fix(child, i, std::max<int64_t>(1, std::llround(v)))) continue;
    Branch(child, best, bound, work);
    if (ReachesBound(best.cost, bound) && best.ok) return;
    if (work <= 0 || stopped_) return;
  }
}

Candidate Planner::Mip(const Candidate& start, double target, bool rich) {
  Candidate c;
  const auto columns = static_cast<std::size_t>(lp_.numberColumns());
  std::vector<double> x(columns, 0.0);
  for (auto [index, times] : start.uses)
    x[static_cast<std::size_t>(n_ + index)] += static_cast<double>(times);
  for (int j = 0; j < n_; ++j) lp_.setColumnUpper(j, 0.0);  // no pieces from nowhere
  MipLimits limits;
  const int64_t per_node = NodeSize();
  limits.nodes =
      baseline_nodes_ > 0 ? baseline_nodes_
      : rich              ? static_cast<int>(
                   std::clamp<int64_t>(Effort(kRichMipWork) / per_node, 10, kRichMipNodes))
             : static_cast<int>(std::clamp<int64_t>(Effort(kMipWork) / per_node, 10, kMipNodes));
  limits.rich = rich;
  limits.iterations = kMipIterations;
  limits.target = target + kBoundRoundOff * std::max(1.0, target);
  limits.stop = [this] { return Stop(); };
  if (!start.ok) x.clear();
  const MipResult mip = SolvePatternMip(lp_, row_lower_, row_upper_, x, limits);
  mip_work_ += mip.iterations * (lp_.numberRows() + lp_.numberColumns());
  for (int j = 0; j < n_; ++j) lp_.setColumnUpper(j, COIN_DBL_MAX);
  if (!mip.found) return c;
  for (std::size_t i = static_cast<std::size_t>(n_); i < columns; ++i)
    if (mip.x[i] > 0.5) c.uses.emplace_back(static_cast<int>(i) - n_, std::llround(mip.x[i]));
  c.ok = true;
  c.cost = CandidateCost(c);
  return c;
}

bool Planner::Prepare() {
  for (LengthList* list : {&r_.stock, &r_.cut}) {
    if (owned_ > 0 && list == &r_.stock) continue;  // laid out by LeastAddition
    list->SortByLength();
    list->MergeEqualLengths();
  }
  n_ = r_.cut.count;
  m_ = r_.stock.count;
  int64_t cap = 0;
  for (int k = 1; k <= m_; ++k) cap = std::max(cap, Capacity(k));
  bool weightless = false;
  for (int j = 1; j <= n_; ++j) weightless |= Weight(j) <= 0;
  for (int j = 1; j <= n_; ++j) pieces_ += r_.cut.entries[j].quantity;
  return n_ > 0 && m_ > 0 && !weightless && cap <= kMaxCapacity;
}

void Planner::BuildMaster() {
  lp_.setLogLevel(0);
  lp_.setRandomSeed(1234567);
  lp_.resize(n_ + m_, 0);
  residual_.assign(static_cast<std::size_t>(n_) + 1, 0.0);
  row_lower_.assign(static_cast<std::size_t>(n_ + m_), -COIN_DBL_MAX);
  row_upper_.assign(static_cast<std::size_t>(n_ + m_), COIN_DBL_MAX);
  for (int j = 1; j <= n_; ++j) {
    residual_[static_cast<std::size_t>(j)] = r_.cut.entries[j].quantity;
    row_lower_[static_cast<std::size_t>(j - 1)] = r_.cut.entries[j].quantity;
  }
  for (int k = 1; k <= m_; ++k)
    row_upper_[static_cast<std::size_t>(n_ + k - 1)] = r_.stock.entries[k].quantity;
  for (int row = 0; row < n_ + m_; ++row)
    lp_.setRowBounds(row, row_lower_[static_cast<std::size_t>(row)],
                     row_upper_[static_cast<std::size_t>(row)]);
  // A piece from nowhere, at a price no real bar reaches: the LP stays feasible, and any
  // use of it says the stock cannot cover the job.
  int32_t longest = 0;
  for (int k = 1; k <= m_; ++k) longest = std::max(longest, r_.stock.entries[k].length);
  const double artificial = 1000.0 * (static_cast<double>(longest) + 1);
  for (int j = 1; j <= n_; ++j) {
    const int row = j - 1;
    const double one = 1.0;
    lp_.addColumn(1, &row, &one, 0.0, COIN_DBL_MAX, artificial);
  }
  for (int j = 1; j <= n_; ++j) {  // one piece kind on the longest bar that takes it
    for (int k = m_; k >= 1; --k) {
      if (Weight(j) > Capacity(k)) continue;
      Pattern p{k, std::vector<int32_t>(static_cast<std::size_t>(n_) + 1, 0)};
      p.counts[static_cast<std::size_t>(j)] = static_cast<int32_t>(
          std::min<int64_t>(r_.cut.entries[j].quantity, Capacity(k) / Weight(j)));
      AddPattern(p);
      break;
    }
  }
}

// Switches to the next objective, with the current one held to `cap` (its least).
void Planner::EnterPhase(Phase next, double cap) {
  const Phase held_phase = phase_;
  phase_ = next;
  std::vector<int> columns;
  std::vector<double> elements;
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    lp_.setObjectiveCoefficient(n_ + static_cast<int>(i), Cost(patterns_[i]));
    const double held = PhaseCost(held_phase, patterns_[i]);
    if (held <= 0) continue;
    columns.push_back(n_ + static_cast<int>(i));
    elements.push_back(held);
  }
  caps_.emplace_back(held_phase, lp_.numberRows());
  lp_.addRow(static_cast<int>(columns.size()), columns.data(), elements.data(), -COIN_DBL_MAX, cap);
  row_lower_.push_back(-COIN_DBL_MAX);
  row_upper_.push_back(cap);
}

// The least objective of the current phase: the LP bound (rounded up to what the stock can
// make), then dives and the MIP over their columns until a plan reaches the bound.
Candidate Planner::MinimisePhase(const Candidate* start, double& bound, bool first) {
  for (std::size_t row = 0; row < row_lower_.size(); ++row)
    lp_.setRowBounds(static_cast<int>(row), row_lower_[row], row_upper_[row]);
  for (int j = 1; j <= n_; ++j) residual_[static_cast<std::size_t>(j)] = r_.cut.entries[j].quantity;
  Progress(OptimalStage::kBound);
  double lagrangian = -COIN_DBL_MAX;
  Solve(&lagrangian);
  bound = std::max(0.0, RoundedBound(lagrangian));
  root_.ok = priced_out_ && !stopped_ && !UsesArtificial();
  if (root_.ok) {
    root_.objective = lp_.objectiveValue();
    root_.price.assign(lp_.getRowPrice(), lp_.getRowPrice() + lp_.numberRows());
  }
  Candidate best;
  if (start != nullptr) {
    best = *start;
    best.cost = CandidateCost(best);
  }
  auto reached = [&] { return best.ok && ReachesBound(best.cost, bound); };
  auto keep = [&](Candidate c) {
    if (c.ok && (!best.ok || c.cost < best.cost - kWholeTolerance)) best = std::move(c);
    Progress(OptimalStage::kSearching, best.ok ? best.cost - bound : -1);
  };
  Progress(OptimalStage::kSearching);
  if (baseline_nodes_ > 0) {
    keep(Mip(best, bound, false));
    return best;
  }
  // The plans to better come in after the root, so that the bound and the dive are the job's own.
  // On a heavy job the search's plan stands in for the dive's, which is rarely better there.
  const bool heavy = options_.effort < 1;
  if (first && (heavy || StartReaches(options_.start, bound))) keep(StartFrom(options_.start));
  if (!reached() && (!best.ok || !heavy)) keep(Dive());
  if (first && !heavy && !reached()) keep(StartFrom(options_.start));
  // On a heavy job the rich programme and the search over fixings cost more than the share
  // allows (their nodes are dear there, and at least ten): the lean programme below stands in.
  if (!reached() && !Stop() && best.ok && !heavy) {  // the MIP over few columns is quick per node
    keep(Mip(best, bound, true));
  }
  if (!reached() && !Stop() && best.ok) keep(Enumerated(best, bound));
  if (!reached() && !Stop() && best.ok && !heavy) {
    int64_t work = Effort(kBranchWork);
    Branch(RootNode(), best, bound, work);
  }
  if (!reached() && !Stop() && best.ok) {
    keep(Mip(best, bound, false));
  }
  // Where the graph of bar fillings is small, its integer programme settles what is left: from
  // the best plan so far, it mostly has only the bound to prove.
  if (!reached() && !Stop() && best.ok) keep(ArcFlow(best, bound));
  return best;
}

ArcFlowJob Planner::WholeJob() const {
  ArcFlowJob job;
  for (int j = 1; j <= n_; ++j) {
    job.weights.push_back(Weight(j));
    job.demand.push_back(r_.cut.entries[j].quantity);
  }
  for (int k = 1; k <= m_; ++k) {
    job.capacities.push_back(Capacity(k));
    job.quantities.push_back(r_.stock.entries[k].quantity);
    job.costs.push_back(PhaseCost(phase_, k, 0));
  }
  for (const auto& [phase, row] : caps_) {
    ArcFlowJob::Held held;
    for (int k = 1; k <= m_; ++k) held.per_stock.push_back(PhaseCost(phase, k, 0));
    held.cap = row_upper_[static_cast<std::size_t>(row)];
    job.held.push_back(std::move(held));
  }
  return job;
}

ArcFlowLimits Planner::GraphLimits() {
  ArcFlowLimits limits;
  limits.arcs = kArcFlowArcs;
  limits.table_words = kArcFlowTableWords;
  limits.nodes = kArcFlowNodes;
  limits.work = kArcFlowWork;
  return limits;
}

Candidate Planner::ArcFlow(const Candidate& start, double& bound) {
  // The graph knows a bar's stock length, not its filled length (on which the scrap depends),
  // and lets a bar cut more than the demand (which the remnant policy does not).
  if (ByFill() || Policy()) return {};
  const ArcFlowJob job = WholeJob();
  std::vector<ArcFlowBars> bars;
  for (auto [index, times] : start.uses) {
    const Pattern& p = patterns_[static_cast<std::size_t>(index)];
    bars.push_back(
        {p.stock - 1, std::vector<int32_t>(p.counts.begin() + 1, p.counts.end()), times});
  }
  ArcFlowLimits limits = GraphLimits();
  limits.target = bound + kBoundRoundOff * std::max(1.0, bound);
  limits.stop = [this] { return Stop(); };
  const ArcFlowResult solved = SolveArcFlow(job, bars, limits);
  graph_work_ += solved.iterations * solved.arcs;
  if (solved.proven) bound = std::max(bound, solved.objective);
  Candidate c;
  if (!solved.found) return c;
  for (const ArcFlowBars& b : solved.plan) {
    Pattern p{b.stock + 1, std::vector<int32_t>(static_cast<std::size_t>(n_) + 1, 0)};
    std::copy(b.counts.begin(), b.counts.end(), p.counts.begin() + 1);
    c.uses.emplace_back(AddPattern(p), b.times);
  }
  c.ok = true;
  c.cost = CandidateCost(c);
  return c;
}

Candidate Planner::Enumerated(const Candidate& best, double bound) {
  Candidate found;
  // Where the graph of bar fillings is small, its programme (last) settles the job exactly.
  if (!root_.ok || ByFill() || Policy() || ArcFlowFits(WholeJob(), GraphLimits())) return found;
  const double* price = root_.price.data();
  double scale = 1.0;
  for (int k = 1; k <= m_; ++k) scale = std::max(scale, PhaseCost(phase_, k, 0));
  // Columns were taken only below a small negative reduced cost: the rest may be that far below
  // zero, once per bar; and each row of the LP holds to its tolerance, at a dual of at most the
  // dearest bar.
  const double round_off =
      kReducedCostTolerance * scale * static_cast<double>(pieces_ + lp_.numberRows() + 1);
  const double gap = bound - root_.objective + round_off;
  std::vector<Pattern> patterns;
  int64_t steps = 0;
  for (int k = 1; k <= m_; ++k) {
    if (r_.stock.entries[k].quantity <= 0) continue;
    double held = 0;
    for (const auto& [phase, row] : caps_)
      held += price[static_cast<std::size_t>(row)] * PhaseCost(phase, k, 0);
    std::vector<EnumItem> items;
    for (int j = 1; j <= n_; ++j)
      items.push_back({Weight(j), std::max(0.0, price[j - 1]),
                       std::min<int64_t>(r_.cut.entries[j].quantity, Capacity(k) / Weight(j))});
    EnumLimits limits;
    limits.steps = kEnumSteps - steps;
    limits.patterns = kEnumPatterns - static_cast<int64_t>(patterns.size());
    const double least = PhaseCost(phase_, k, 0) - price[n_ + k - 1] - held - gap;
    const EnumResult listed = EnumerateFillings(items, Capacity(k), least, limits);
    steps += listed.steps;
    knapsack_steps_ += listed.steps;
    if (!listed.complete) return found;  // too many: the gap is too wide for this
    for (const auto& filling : listed.fillings) {
      if (std::none_of(filling.begin(), filling.end(), [](int32_t c) { return c > 0; })) continue;
      Pattern p{k, std::vector<int32_t>(static_cast<std::size_t>(n_) + 1, 0)};
      std::copy(filling.begin(), filling.end(), p.counts.begin() + 1);
      patterns.push_back(std::move(p));
    }
  }
  if (patterns.empty()) return found;
  // The master over these patterns alone, with the master's own row bounds.
  const int rows = lp_.numberRows();
  ClpSimplex model;
  model.setLogLevel(0);
  model.resize(rows, 0);
  for (const Pattern& p : patterns) {
    std::vector<int> at;
    std::vector<double> value;
    Column(p, at, value);
    model.addColumn(static_cast<int>(at.size()), at.data(), value.data(), 0.0,
                    static_cast<double>(r_.stock.entries[p.stock].quantity), Cost(p));
  }
  MipLimits limits;
  limits.nodes = static_cast<int>(std::clamp<int64_t>(
      Effort(kEnumWork) / static_cast<int64_t>(patterns.size()), 10, kEnumNodes));
  limits.iterations = kMipIterations;
  limits.target = bound + kBoundRoundOff * std::max(1.0, bound);
  limits.cutoff = limits.target;  // a plan above the bound is the other steps' to find
  limits.stop = [this] { return Stop(); };
  const MipResult mip = SolvePatternMip(model, row_lower_, row_upper_, {}, limits);
  mip_work_ += mip.iterations * (int64_t{rows} + static_cast<int64_t>(patterns.size()));
  if (!mip.found) return found;
  for (std::size_t i = 0; i < patterns.size(); ++i)
    if (mip.x[i] > 0.5) found.uses.emplace_back(AddPattern(patterns[i]), std::llround(mip.x[i]));
  found.ok = true;
  found.cost = CandidateCost(found);
  if (found.cost >= best.cost - kWholeTolerance) found = {};
  return found;
}

// The plan: the patterns with the pieces beyond the demand taken off.
void Planner::WritePlan(const Candidate& chosen) {
  WriteBars(r_, Trim(chosen));
}

// A plan's patterns with the pieces beyond the demand taken off (bars left empty dropped).
std::vector<std::pair<Pattern, int64_t>> Planner::Trim(const Candidate& chosen) const {
  std::vector<std::pair<Pattern, int64_t>> plan;
  std::vector<int64_t> surplus(static_cast<std::size_t>(n_) + 1, 0);
  for (int j = 1; j <= n_; ++j) surplus[static_cast<std::size_t>(j)] = -r_.cut.entries[j].quantity;
  for (auto [index, times] : chosen.uses) {
    const Pattern& p = patterns_[static_cast<std::size_t>(index)];
    plan.emplace_back(p, times);
    for (int j = 1; j <= n_; ++j)
      surplus[static_cast<std::size_t>(j)] += p.counts[static_cast<std::size_t>(j)] * times;
  }
  for (int j = 1; j <= n_; ++j) {
    auto& s = surplus[static_cast<std::size_t>(j)];
    for (std::size_t i = 0; i < plan.size() && s > 0; ++i) {
      // Take the surplus off whole copies where it can, then off one copy split from the rest.
      const int32_t a = plan[i].first.counts[static_cast<std::size_t>(j)];
      if (a == 0 || plan[i].second <= 0) continue;
      const int64_t copies = std::min<int64_t>(plan[i].second, s / a);
      if (copies == plan[i].second) {
        plan[i].first.counts[static_cast<std::size_t>(j)] = 0;
        s -= copies * a;
        continue;
      }
      if (copies > 0) {
        plan[i].second -= copies;
        Pattern less = plan[i].first;
        less.counts[static_cast<std::size_t>(j)] = 0;
        plan.emplace_back(std::move(less), copies);
        s -= copies * a;
      }
      if (s > 0) {  // now s < a: one copy loses s pieces
        plan[i].second -= 1;
        Pattern less = plan[i].first;
        less.counts[static_cast<std::size_t>(j)] = static_cast<int32_t>(a - s);
        plan.emplace_back(std::move(less), 1);
        s = 0;
      }
    }
  }
  plan.erase(std::remove_if(plan.begin(), plan.end(),
                            [&](const auto& e) {
                              if (e.second <= 0) return true;
                              for (int j = 1; j <= n_; ++j)
                                if (e.first.counts[static_cast<std::size_t>(j)] > 0) return false;
                              return true;  // a bar with no piece left is not cut at all
                            }),
             plan.end());
  return plan;
}

// From here on exactly the pieces required: the plan so far loses its surplus.
Candidate Planner::CutExactly(const Candidate& plan) {
  exact_rows_ = true;
  for (int j = 1; j <= n_; ++j)
    row_upper_[static_cast<std::size_t>(j - 1)] = r_.cut.entries[j].quantity;
  Candidate c;
  for (const auto& [pattern, times] : Trim(plan)) c.uses.emplace_back(AddPattern(pattern), times);
  c.ok = true;
  c.cost = CandidateCost(c);
  return c;
}

ExactResult Planner::Run() {
  ExactResult result;
  if (!Prepare()) {
    result.applicable = false;
    return result;
  }
  BuildMaster();
  Candidate plan = MinimisePhase(nullptr, result.regular_bound, true);
  result.stopped = stopped_ && !out_of_work_;
  result.out_of_work = out_of_work_;
  if (!plan.ok) return result;
  bool scrap_proven = true;
  if (Policy()) {  // second, the scrap at that mill stock
    plan = CutExactly(plan);
    EnterPhase(Phase::kScrap, plan.cost);
    plan = MinimisePhase(&plan, result.scrap_bound);
    scrap_proven = ReachesBound(plan.cost, result.scrap_bound);
  }
  bool has_priority = false;
  for (int k = 1; k <= m_; ++k) has_priority |= Priority(k);
  bool priority_proven = true;
  if (has_priority) {
    EnterPhase(Phase::kPriority, plan.cost);
    plan = MinimisePhase(&plan, result.priority_bound);
    priority_proven = ReachesBound(plan.cost, result.priority_bound);
  }
  WritePlan(plan);
  if (r_.best.pattern_count == 0) return result;
  // Third, at the same stock, fewer patterns: fewer set-ups of the saw (not on a heavy job,
  // where the integer programme's root alone costs more than the time allowed). The programme
  // chooses among the generated patterns; the merging after it (pattern_merge.h) makes patterns
  // that none of them is.
  if (!Stop() && options_.effort >= 1 && r_.best.pattern_count > PatternLowerBound()) {
    const int32_t patterns = r_.best.pattern_count;
    Progress(OptimalStage::kPatterns);
    const int64_t steps = PlanWork() / kMergeShare;
    const Candidate fewer = FewerPatterns(PlanOf(r_.best));
    if (fewer.ok) {
      WritePlan(fewer);
      if (r_.best.pattern_count == 0 || r_.best.pattern_count >= patterns) WritePlan(plan);
    }
    if (!Stop() && r_.best.pattern_count > PatternLowerBound()) MergeBest(steps);
  }
  result.status = kSearchPlanned;
  result.plan = PlanStock(r_);
  result.proven_optimal = ReachesBound(result.plan.regular, result.regular_bound) && scrap_proven &&
                          (!has_priority || priority_proven);
  result.stopped = stopped_ && !out_of_work_;
  result.out_of_work = out_of_work_;
  return result;
}

// No plan has fewer patterns: each piece length is in one at least, and a bar takes at most so
// many lengths; a pattern is cut at most as often as its most wanted piece, and the pieces need
// so many bars at least.
int32_t Planner::PatternLowerBound() const {
  std::vector<int64_t> weights;
  int64_t demand = 0, total = 0, capacity = 0;
  for (int j = 1; j <= n_; ++j) {
    weights.push_back(Weight(j));
    demand = std::max<int64_t>(demand, r_.cut.entries[j].quantity);
    total += Weight(j) * r_.cut.entries[j].quantity;
  }
  for (int k = 1; k <= m_; ++k) capacity = std::max(capacity, Capacity(k));
  std::sort(weights.begin(), weights.end());
  int64_t kinds = 0;
  for (int64_t used = 0; kinds < n_ && used + weights[static_cast<std::size_t>(kinds)] <= capacity;
       ++kinds)
    used += weights[static_cast<std::size_t>(kinds)];
  if (kinds == 0 || demand == 0 || capacity <= 0) return 1;
  const int64_t bars = (total + capacity - 1) / capacity;
  return static_cast<int32_t>(
      std::max<int64_t>((n_ + kinds - 1) / kinds, (bars + demand - 1) / demand));
}

// Of the plans using no more regular or priority stock than `plan`, one with fewer patterns: the
// integer programme over the generated patterns with a switch per pattern that it must turn on
// to cut the pattern at all, and the switches' count to minimise.
Candidate Planner::FewerPatterns(const Candidate& plan) {
  Candidate c;
  std::vector<int> columns;  // patterns of the model, the plan's first
  std::vector<int64_t> times(patterns_.size(), 0);
  for (auto [index, t] : plan.uses) {
    if (times[static_cast<std::size_t>(index)] == 0) columns.push_back(index);
    times[static_cast<std::size_t>(index)] += t;
  }
  // A share of the work the stock took, in three: the root's solution (about one iteration a
  // row), the nodes and the simplex iterations after it. The model takes the patterns it allows.
  const int64_t share = PlanWork() / kPatternShare / 3;
  // The objectives held at the plan's: the stocks, and with the remnant policy the scrap.
  std::vector<Phase> held{Phase::kRegular, Phase::kPriority};
  if (Policy()) held.insert(held.begin() + 1, Phase::kScrap);
  const int levels = static_cast<int>(held.size());
  auto root = [&](std::size_t patterns) {
    const auto rows = static_cast<int64_t>(n_ + m_ + levels) + static_cast<int64_t>(patterns);
    return rows * (rows + 2 * static_cast<int64_t>(patterns));
  };
  if (root(columns.size()) > share) return c;
  // The others, those that can be cut most often first: only a pattern cut many times saves
  // set-ups.
  std::vector<std::pair<int64_t, int>> others;
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    if (times[i] > 0) continue;
    const int64_t most = MostCopies(patterns_[i]);
    if (most > 1) others.emplace_back(most, static_cast<int>(i));
  }
  std::stable_sort(others.begin(), others.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (std::size_t i = 0;
       i < others.size() && columns.size() < kPatternColumns && root(columns.size() + 1) <= share;
       ++i)
    columns.push_back(others[i].second);
  std::vector<double> level(held.size(), 0.0);
  for (auto [index, t] : plan.uses)
    for (std::size_t h = 0; h < held.size(); ++h)
      level[h] +=
          PhaseCost(held[h], patterns_[static_cast<std::size_t>(index)]) * static_cast<double>(t);
  const int p = static_cast<int>(columns.size());
  const int rows = n_ + m_ + levels + p;  // pieces, bars, the objectives, a switch per pattern
  std::vector<double> lower(static_cast<std::size_t>(rows), -COIN_DBL_MAX);
  std::vector<double> upper(static_cast<std::size_t>(rows), COIN_DBL_MAX);
  // Exactly the pieces required: taking a surplus off a pattern would make another.
  for (int j = 1; j <= n_; ++j)
    lower[static_cast<std::size_t>(j - 1)] = upper[static_cast<std::size_t>(j - 1)] =
        r_.cut.entries[j].quantity;
  for (int k = 1; k <= m_; ++k)
    upper[static_cast<std::size_t>(n_ + k - 1)] = r_.stock.entries[k].quantity;
  for (int h = 0; h < levels; ++h)
    upper[static_cast<std::size_t>(n_ + m_ + h)] =
        level[static_cast<std::size_t>(h)] + kWholeTolerance;
  for (int i = 0; i < p; ++i) upper[static_cast<std::size_t>(n_ + m_ + levels + i)] = 0;
  ClpSimplex model;
  model.setLogLevel(0);
  model.resize(rows, 0);
  std::vector<double> start;
  for (int i = 0; i < p; ++i) {
    const Pattern& q = patterns_[static_cast<std::size_t>(columns[static_cast<std::size_t>(i)])];
    std::vector<int> at;
    std::vector<double> value;
    const int64_t most = MostCopies(q);
    for (int j = 1; j <= n_; ++j) {
      const int32_t a = q.counts[static_cast<std::size_t>(j)];
      if (a == 0) continue;
      at.push_back(j - 1);
      value.push_back(a);
    }
    at.push_back(n_ + q.stock - 1);
    value.push_back(1);
    for (int h = 0; h < levels; ++h) {
      if (const double cost = PhaseCost(held[static_cast<std::size_t>(h)], q); cost > 0) {
        at.push_back(n_ + m_ + h);
        value.push_back(cost);
      }
    }
    at.push_back(n_ + m_ + levels + i);
    value.push_back(1);
    model.addColumn(static_cast<int>(at.size()), at.data(), value.data(), 0.0,
                    static_cast<double>(most), 0.0);
    const int link = n_ + m_ + levels + i;
    const double big = -static_cast<double>(most);
    model.addColumn(1, &link, &big, 0.0, 1.0, 1.0);
    const auto used =
        static_cast<double>(times[static_cast<std::size_t>(columns[static_cast<std::size_t>(i)])]);
    start.push_back(used);
    start.push_back(used > 0 ? 1.0 : 0.0);
  }
  for (int i = 0; i < p; ++i) {  // a plan's pattern may be cut more often than the model allows
    const auto used = start[static_cast<std::size_t>(2 * i)];
    if (used > model.columnUpper()[2 * i]) return c;
  }
  MipLimits limits;
  const int64_t size = int64_t{rows} + 2 * p;
  limits.nodes = static_cast<int>(std::min<int64_t>(share / (kNodeUnits * size), kPatternMipNodes));
  limits.iterations = static_cast<int>(std::min<int64_t>(share / size, kMipIterations));
  if (limits.nodes < 1 || limits.iterations < kPatternLeastIterations) return c;
  limits.rich = false;
  limits.target = 1;
  limits.stop = [this] { return Stop(); };
  const MipResult mip = SolvePatternMip(model, lower, upper, start, limits);
  if (!mip.found) return c;
  for (int i = 0; i < p; ++i) {
    const double x = mip.x[static_cast<std::size_t>(2 * i)];
    if (x > 0.5) c.uses.emplace_back(columns[static_cast<std::size_t>(i)], std::llround(x));
  }
  c.ok = true;
  c.cost = CandidateCost(c);
  return c;
}

bool Planner::MergeBest(int64_t steps) {
  MergeJob job;
  for (int j = 1; j <= n_; ++j) job.weights.push_back(Weight(j));
  for (int k = 1; k <= m_; ++k) {
    job.capacities.push_back(Capacity(k));
    job.lengths.push_back(r_.stock.entries[k].length);
  }
  if (Policy()) job.keep = r_.conditions.policy.keep;
  std::vector<MergePattern> plan;
  for (int p = 1; p <= r_.best.pattern_count; ++p) {
    const BarPattern& b = r_.best.patterns[p];
    plan.push_back({b.stock_index - 1,
                    std::vector<int32_t>(&b.piece_counts[1], &b.piece_counts[1] + n_),
                    b.repeat_count});
  }
  const MergeResult merged = MergePatterns(job, plan, steps);
  if (merged.plan.size() >= plan.size()) return false;
  std::vector<std::pair<Pattern, int64_t>> bars;
  for (const MergePattern& p : merged.plan) {
    Pattern q{p.stock + 1, std::vector<int32_t>(static_cast<std::size_t>(n_) + 1, 0)};
    std::copy(p.counts.begin(), p.counts.end(), q.counts.begin() + 1);
    bars.emplace_back(std::move(q), p.times);
  }
  WriteBars(r_, std::move(bars));
  return true;
}

Candidate Planner::PlanOf(const CuttingPlan& plan) {
  Candidate c;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const BarPattern& b = plan.patterns[p];
    Pattern q{b.stock_index, std::vector<int32_t>(&b.piece_counts[0], &b.piece_counts[0] + n_ + 1)};
    q.counts[0] = 0;
    c.uses.emplace_back(AddPattern(q), b.repeat_count);
  }
  c.ok = true;
  c.cost = CandidateCost(c);
  return c;
}

bool Planner::SameLists(const OptimiserRecords* from) const {
  if (from == nullptr || from->best.pattern_count == 0 || from->stock.count != m_ ||
      from->cut.count != n_)
    return false;
  for (int k = 1; k <= m_; ++k)
    if (from->stock.entries[k].length != r_.stock.entries[k].length) return false;
  for (int j = 1; j <= n_; ++j)
    if (from->cut.entries[j].length != r_.cut.entries[j].length) return false;
  return true;
}

Candidate Planner::StartFrom(const OptimiserRecords* from) {
  return SameLists(from) ? PlanOf(from->best) : Candidate{};
}

bool Planner::StartReaches(const OptimiserRecords* from, double bound) const {
  if (!SameLists(from)) return false;
  double cost = 0;
  for (int p = 1; p <= from->best.pattern_count; ++p) {
    const BarPattern& b = from->best.patterns[p];
    const int32_t* counts = b.piece_counts;
    const Pattern q{b.stock_index, std::vector<int32_t>(counts, counts + n_ + 1)};
    cost += Cost(q) * b.repeat_count;
  }
  return ReachesBound(cost, bound);
}

ExactResult Planner::RunShortage() {
  ExactResult result;
  phase_ = Phase::kAddedLength;
  if (!Prepare()) {
    result.applicable = false;
    return result;
  }
  BuildMaster();
  Candidate plan = MinimisePhase(nullptr, result.regular_bound);
  result.stopped = stopped_ && !out_of_work_;
  result.out_of_work = out_of_work_;
  if (!plan.ok) return result;
  bool bars_proven = true;
  if (plan.cost > 0) {  // of the additions of that length, the fewest bars
    EnterPhase(Phase::kAddedBars, plan.cost);
    plan = MinimisePhase(&plan, result.priority_bound);
    bars_proven = ReachesBound(plan.cost, result.priority_bound);
  }
  WritePlan(plan);
  if (r_.best.pattern_count == 0) return result;
  result.status = kSearchPlanned;
  double added = 0;
  for (const auto [length, bars] : AddedBars(r_, owned_))
    added += static_cast<double>(length) * static_cast<double>(bars);
  result.plan.regular = added;
  result.proven_optimal = ReachesBound(added, result.regular_bound) && bars_proven;
  result.stopped = stopped_ && !out_of_work_;
  result.out_of_work = out_of_work_;
  return result;
}

}  // namespace

StockUse PlanStock(const OptimiserRecords& r) {
  StockUse use;
  for (int p = 1; p <= r.best.pattern_count; ++p) {
    const BarPattern& b = r.best.patterns[p];
    (InHand(r, b.stock_index) ? use.priority : use.regular) +=
        static_cast<double>(r.stock.entries[b.stock_index].length) *
        static_cast<double>(b.repeat_count);
  }
  return use;
}

bool UsesLess(const StockUse& a, const StockUse& b) {
  if (a.regular != b.regular) return a.regular < b.regular;
  return a.priority < b.priority;
}

bool ReachesBound(double value, double bound) {
  return value <= bound + kBoundRoundOff * std::max(1.0, std::abs(bound)) + kWholeTolerance;
}

ExactResult ExactPlan(OptimiserRecords& records, const SearchHost& host, double guard_seconds,
                      const ExactOptions& options) {
  Planner planner(records, host, guard_seconds, 0, 0, options);
  return planner.Run();
}

std::vector<StockBarsUsed> AddedBars(const OptimiserRecords& r, int owned) {
  std::vector<StockBarsUsed> added;
  for (int k = owned + 1; k <= r.stock.count; ++k) {
    long long bars = 0;
    for (int p = 1; p <= r.best.pattern_count; ++p)
      if (r.best.patterns[p].stock_index == k) bars += r.best.patterns[p].repeat_count;
    if (bars > 0) added.push_back({r.stock.entries[k].length, bars});
  }
  return added;
}

namespace {

constexpr int kAdditionNodes = 20000;  // steps of the enumeration of smaller additions
constexpr int kAdditionsTried = 12;    // of which at most this many are planned to try them

struct Addition {
  double length = 0;
  long long bars = 0;
  std::vector<long long> counts;  // per owned stock entry
};

// Additions of at least `bound` mm that come before (length, bars) = (`length`, `bars`), the
// least first; at most kAdditionsTried of them, found within kAdditionNodes steps.
std::vector<Addition> SmallerAdditions(const LengthList& stock, double bound, double length,
                                       long long bars) {
  std::vector<Addition> found;
  Addition a;
  a.counts.assign(static_cast<std::size_t>(stock.count) + 1, 0);
  int steps = 0;
  auto before = [&](const Addition& x) {
    return x.length < length || (x.length == length && x.bars < bars);
  };
  // Lengths from the longest down, so that few bars come early.
  auto visit = [&](auto& self, int k) -> void {
    if (++steps > kAdditionNodes) return;
    if (a.length + 1e-9 >= bound) {
      if (before(a)) found.push_back(a);
      return;
    }
    for (int i = k; i >= 1; --i) {
      if (stock.entries[i].measured) continue;  // an offcut cannot be bought
      a.length += stock.entries[i].length;
      ++a.bars;
      ++a.counts[static_cast<std::size_t>(i)];
      if (before(a) || a.length < length) self(self, i);
      --a.counts[static_cast<std::size_t>(i)];
      --a.bars;
      a.length -= stock.entries[i].length;
    }
  };
  visit(visit, stock.count);
  std::stable_sort(found.begin(), found.end(), [](const Addition& x, const Addition& y) {
    return x.length != y.length ? x.length < y.length : x.bars < y.bars;
  });
  if (found.size() > static_cast<std::size_t>(kAdditionsTried))
    found.resize(static_cast<std::size_t>(kAdditionsTried));
  return found;
}

}  // namespace

Shortage LeastAddition(OptimiserRecords& records, const SearchHost& host, double guard_seconds,
                       const StageReport& report) {
  ExactOptions options;
  options.report = report;
  Shortage shortage;
  for (LengthList* list : {&records.stock, &records.cut}) {
    list->SortByLength();
    list->MergeEqualLengths();
  }
  const int owned = records.stock.count;
  if (owned == 0 || 2 * owned > records.stock.Capacity()) {
    shortage.applicable = false;
    return shortage;
  }
  // Each stock length twice: the bars the job has, then as many more as there are pieces (no
  // plan needs more), which cost what they add. Measured offcuts are what the yard holds: none
  // can be bought.
  int64_t pieces = 0;
  for (int j = 1; j <= records.cut.count; ++j) pieces += records.cut.entries[j].quantity;
  auto model = std::make_unique<OptimiserRecords>(records);
  for (int k = 1; k <= owned; ++k)
    model->stock.Append(records.stock.entries[k].length,
                        records.stock.entries[k].measured
                            ? 0
                            : static_cast<int32_t>(std::min<int64_t>(pieces, INT32_MAX)));
  Planner planner(*model, host, guard_seconds, 0, owned, options);
  const ExactResult result = planner.RunShortage();
  shortage.applicable = result.applicable;
  shortage.stopped = result.stopped;
  if (result.status != kSearchPlanned) return shortage;
  shortage.found = true;
  shortage.proven = result.proven_optimal;
  shortage.bars = AddedBars(*model, owned);
  // The model's rounding may stop short of a smaller addition that the bound allows: each is
  // tried as stock, the least first, and the first the planner plans is taken.
  if (!shortage.proven) {
    long long bars = 0;
    for (const auto [length, n] : shortage.bars) bars += n;
    for (const Addition& a :
         SmallerAdditions(records.stock, result.regular_bound, result.plan.regular, bars)) {
      auto trial = std::make_unique<OptimiserRecords>(records);
      for (int k = 1; k <= owned; ++k)
        trial->stock.entries[k].quantity = static_cast<int32_t>(std::min<int64_t>(
            trial->stock.entries[k].quantity + a.counts[static_cast<std::size_t>(k)], INT32_MAX));
      if (ExactPlan(*trial, host, guard_seconds, options).status != kSearchPlanned) continue;
      shortage.bars.clear();
      for (int k = 1; k <= owned; ++k)
        if (a.counts[static_cast<std::size_t>(k)] > 0)
          shortage.bars.push_back(
              {records.stock.entries[k].length, a.counts[static_cast<std::size_t>(k)]});
      records = *trial;
      return shortage;
    }
  }
  // The job with the addition, and the model's plan in its terms: an added bar is a bar of its
  // length like the others.
  for (const auto [length, bars] : shortage.bars) {
    for (int k = 1; k <= owned; ++k) {
      LengthEntry& e = records.stock.entries[k];
      if (e.length == length && !e.measured)
        e.quantity = static_cast<int32_t>(std::min<int64_t>(int64_t{e.quantity} + bars, INT32_MAX));
    }
  }
  std::vector<std::pair<Pattern, int64_t>> plan;
  for (int p = 1; p <= model->best.pattern_count; ++p) {
    const BarPattern& b = model->best.patterns[p];
    Pattern q{b.stock_index > owned ? b.stock_index - owned : b.stock_index,
              std::vector<int32_t>(&b.piece_counts[0], &b.piece_counts[0] + records.cut.count + 1)};
    q.counts[0] = 0;
    plan.emplace_back(std::move(q), b.repeat_count);
  }
  WriteBars(records, std::move(plan));
  // The least stock with that addition, when the planner finds a plan using less.
  auto least = std::make_unique<OptimiserRecords>(records);
  if (ExactPlan(*least, host, guard_seconds, options).status == kSearchPlanned &&
      UsesLess(PlanStock(*least), PlanStock(records)))
    records = *least;
  return shortage;
}

ExactResult PriceAndBranch(OptimiserRecords& records, int nodes) {
  const SearchHost none;
  Planner planner(records, none, 1e9, nodes);
  return planner.Run();
}

}  // namespace zarvel::optimiser
