#include "optimiser/exact.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <coin/ClpSimplex.hpp>
#include <numeric>
#include <set>
#include <vector>

#include "base/cp932.h"
#include "base/format.h"

namespace zarvel::optimiser {
namespace {

constexpr int64_t kMaxCapacity = 400000;
constexpr int kMaxRounds = 5000;
constexpr double kEps = 1e-7;

struct Pattern {
  int stock = 0;                // stock entry, 1-based
  std::vector<int32_t> counts;  // per cut entry, 1-based (index 0 unused)
};

using Clock = std::chrono::steady_clock;

class Planner {
 public:
  Planner(OptimiserRecords& r, const SearchHost& host, double seconds)
      : r_(r),
        host_(host),
        deadline_(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(seconds))) {}

  ExactResult Run();

 private:
  bool Stop() const {
    return Clock::now() > deadline_ || (host_.keys != nullptr && host_.keys->IsKeyDown(kKeyShift));
  }
  double Cost(int k) const {
    const double length = r_.stock.entries[k].length;
    return length < r_.conditions.priority_length ? length * kPriorityCostFactor : length;
  }
  int64_t Capacity(int k) const {
    return int64_t{r_.stock.entries[k].length} + r_.conditions.margin + r_.conditions.kerf;
  }
  int64_t Weight(int j) const { return int64_t{r_.cut.entries[j].length} + r_.conditions.kerf; }
  void AddPattern(const Pattern& p);
  // Adds improving patterns for the current duals; false when there is none.
  bool Price();
  // Column generation to optimality (or until stopped) with the current row bounds.
  void Solve();
  void Progress(double best, double bound, bool working);

  OptimiserRecords& r_;
  const SearchHost& host_;
  Clock::time_point deadline_;
  int n_ = 0;  // cut entries
  int m_ = 0;  // stock entries
  ClpSimplex lp_;
  std::vector<Pattern> patterns_;  // column n_ + i is pattern i (columns 0..n_-1 artificial)
  std::set<std::vector<int32_t>> seen_;
  std::vector<double> residual_;  // pieces still to cover, per cut entry
  // The pattern cut to what is still needed `times` over, its freed room refilled with
  // needed pieces, longest first.
  Pattern Useful(const Pattern& p, int64_t times) const;
  bool stopped_ = false;
};

void Planner::AddPattern(const Pattern& p) {
  std::vector<int32_t> key(p.counts);
  key[0] = p.stock;
  if (!seen_.insert(key).second) return;
  std::vector<int> rows;
  std::vector<double> elements;
  for (int j = 1; j <= n_; ++j) {
    if (p.counts[j] == 0) continue;
    rows.push_back(j - 1);
    elements.push_back(p.counts[j]);
  }
  rows.push_back(n_ + p.stock - 1);
  elements.push_back(1.0);
  lp_.addColumn(static_cast<int>(rows.size()), rows.data(), elements.data(), 0.0, COIN_DBL_MAX,
                Cost(p.stock));
  patterns_.push_back(p);
}

Pattern Planner::Useful(const Pattern& p, int64_t times) const {
  Pattern q = p;
  int64_t used = 0;
  for (int j = 1; j <= n_; ++j) {
    const auto need = static_cast<int64_t>(std::floor(
        std::max(0.0, residual_[static_cast<std::size_t>(j)]) / static_cast<double>(times) + 1e-9));
    auto& c = q.counts[static_cast<std::size_t>(j)];
    c = static_cast<int32_t>(std::min<int64_t>(c, need));
    used += c * Weight(j);
  }
  for (int j = n_; j >= 1; --j) {
    auto& c = q.counts[static_cast<std::size_t>(j)];
    const auto need = static_cast<int64_t>(std::floor(
        std::max(0.0, residual_[static_cast<std::size_t>(j)]) / static_cast<double>(times) + 1e-9));
    while (c < need && used + Weight(j) <= Capacity(q.stock)) {
      ++c;
      used += Weight(j);
    }
  }
  return q;
}

bool Planner::Price() {
  const double* price = lp_.getRowPrice();
  int64_t cap = 0;
  for (int k = 1; k <= m_; ++k) cap = std::max(cap, Capacity(k));
  // Bounded knapsack over pieces with a positive dual, split into powers of two.
  struct Item {
    int entry;
    int count;
    int64_t weight;
    double value;
  };
  std::vector<Item> items;
  for (int j = 1; j <= n_; ++j) {
    const double v = price[j - 1];
    if (v <= kEps) continue;
    const int64_t w = Weight(j);
    const int64_t need =
        static_cast<int64_t>(std::ceil(residual_[static_cast<std::size_t>(j)] - 1e-9));
    const int64_t bound = std::min<int64_t>(need, cap / w);
    for (int64_t c = 1, left = bound; left > 0; c *= 2) {
      const int64_t take = std::min(c, left);
      items.push_back({j, static_cast<int>(take), take * w, take * v});
      left -= take;
    }
  }
  if (items.empty()) return false;
  const auto width = static_cast<std::size_t>(cap + 1);
  std::vector<double> best(width, 0.0);
  std::vector<std::vector<bool>> take(items.size(), std::vector<bool>(width, false));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto w = static_cast<std::size_t>(items[i].weight);
    for (std::size_t c = width - 1; c + 1 > w; --c) {
      const double with = best[c - w] + items[i].value;
      if (with > best[c] + 1e-12) {
        best[c] = with;
        take[i][c] = true;
      }
      if (c == 0) break;
    }
  }
  bool added = false;
  const double scale = std::max(1.0, Cost(m_));
  for (int k = 1; k <= m_; ++k) {
    const int64_t c0 = Capacity(k);
    if (c0 <= 0) continue;
    const double reduced = Cost(k) - price[n_ + k - 1] - best[static_cast<std::size_t>(c0)];
    if (reduced > -kEps * scale) continue;
    Pattern p{k, std::vector<int32_t>(static_cast<std::size_t>(n_) + 1, 0)};
    auto c = static_cast<std::size_t>(c0);
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
  return added;
}

void Planner::Solve() {
  lp_.primal();
  while (!stopped_) {
    if (!Price()) break;
    lp_.primal(1);
    if (Stop()) stopped_ = true;
  }
}

void Planner::Progress(double best, double bound, bool working) {
  if (host_.progress != nullptr)
    host_.progress->SetProgressText(OptimalProgressText(best, bound, working));
}

ExactResult Planner::Run() {
  ExactResult result;
  for (LengthList* list : {&r_.stock, &r_.cut}) {
    list->SortByLength();
    list->MergeEqualLengths();
  }
  n_ = r_.cut.count;
  m_ = r_.stock.count;
  int64_t cap = 0;
  for (int k = 1; k <= m_; ++k) cap = std::max(cap, Capacity(k));
  bool weightless = false;
  for (int j = 1; j <= n_; ++j) weightless |= Weight(j) <= 0;
  if (n_ == 0 || m_ == 0 || weightless || cap > kMaxCapacity) {
    result.applicable = false;
    return result;
  }
  double required = 0;
  for (int j = 1; j <= n_; ++j)
    required += static_cast<double>(r_.cut.entries[j].length) * r_.cut.entries[j].quantity;

  lp_.setLogLevel(0);
  lp_.resize(n_ + m_, 0);
  residual_.assign(static_cast<std::size_t>(n_) + 1, 0.0);
  for (int j = 1; j <= n_; ++j) {
    residual_[static_cast<std::size_t>(j)] = r_.cut.entries[j].quantity;
    lp_.setRowBounds(j - 1, r_.cut.entries[j].quantity, COIN_DBL_MAX);
  }
  for (int k = 1; k <= m_; ++k)
    lp_.setRowBounds(n_ + k - 1, -COIN_DBL_MAX, r_.stock.entries[k].quantity);
  // A piece from nowhere, at a price no real bar reaches: the LP stays feasible, and any
  // use of it says the stock cannot cover the job.
  const double artificial = 1000.0 * static_cast<double>(r_.stock.entries[m_].length + 1);
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

  Solve();
  const double lp_bound = lp_.objectiveValue();
  // Costs are whole millimetres (without priority stock): round the bound up to their
  // greatest common divisor.
  bool whole = true;
  int64_t g = 0;
  for (int k = 1; k <= m_; ++k) {
    whole &= !(r_.stock.entries[k].length < r_.conditions.priority_length);
    g = std::gcd(g, int64_t{r_.stock.entries[k].length});
  }
  result.lower_bound =
      whole && g > 0 ? std::ceil(lp_bound / static_cast<double>(g) - 1e-6) * static_cast<double>(g)
                     : lp_bound;
  Progress(0, result.lower_bound, true);

  // Integer plans by fixing patterns of the LP solution and re-solving the rest: first every
  // pattern used a whole number of times at once, then (while there is time) one at a time;
  // the cheaper plan is kept. A fixed pattern is cut to the pieces still needed and refilled.
  struct Candidate {
    std::vector<std::pair<Pattern, int64_t>> patterns;
    std::vector<double> residual;
    double cost = 0;
    bool ok = false;
  };
  auto round_plan = [&](bool one_at_a_time) {
    Candidate c;
    for (int j = 1; j <= n_; ++j)
      residual_[static_cast<std::size_t>(j)] = r_.cut.entries[j].quantity;
    std::vector<double> left(static_cast<std::size_t>(m_) + 1);
    for (int k = 1; k <= m_; ++k) left[static_cast<std::size_t>(k)] = r_.stock.entries[k].quantity;
    auto set_bounds = [&] {
      for (int j = 1; j <= n_; ++j)
        lp_.setRowBounds(j - 1, std::max(0.0, residual_[static_cast<std::size_t>(j)]),
                         COIN_DBL_MAX);
      for (int k = 1; k <= m_; ++k)
        lp_.setRowBounds(n_ + k - 1, -COIN_DBL_MAX,
                         std::max(0.0, left[static_cast<std::size_t>(k)]));
    };
    set_bounds();
    Solve();
    for (int round = 0; round < kMaxRounds; ++round) {
      const double* x = lp_.getColSolution();
      for (int j = 0; j < n_; ++j)
        if (x[j] > 1e-6) return c;  // the stock cannot cover the pieces this way
      std::vector<std::pair<int, int64_t>> chosen;
      int most = -1;
      double most_x = 1e-6;
      for (std::size_t i = 0; i < patterns_.size(); ++i) {
        const double v = x[static_cast<std::size_t>(n_) + i];
        const auto times = static_cast<int64_t>(std::floor(v + 1e-6));
        const double rank = one_at_a_time ? v : v - static_cast<double>(times);
        if (rank > most_x) {
          most_x = rank;
          most = static_cast<int>(i);
        }
        if (times > 0 && !one_at_a_time) chosen.emplace_back(static_cast<int>(i), times);
      }
      if (chosen.empty()) {
        if (most < 0) return c;  // nothing left to fix
        const double v = x[static_cast<std::size_t>(n_) + static_cast<std::size_t>(most)];
        chosen.emplace_back(most, std::max<int64_t>(1, static_cast<int64_t>(std::floor(v + 1e-6))));
      }
      for (auto [index, times] : chosen) {
        const Pattern p = Useful(patterns_[static_cast<std::size_t>(index)], times);
        int64_t pieces = 0;
        for (int j = 1; j <= n_; ++j) pieces += p.counts[static_cast<std::size_t>(j)];
        if (pieces == 0) continue;
        AddPattern(p);
        c.patterns.emplace_back(p, times);
        c.cost += Cost(p.stock) * static_cast<double>(times);
        for (int j = 1; j <= n_; ++j)
          residual_[static_cast<std::size_t>(j)] -=
              static_cast<double>(p.counts[static_cast<std::size_t>(j)] * times);
        left[static_cast<std::size_t>(p.stock)] -= static_cast<double>(times);
      }
      bool done = true;
      for (int j = 1; j <= n_; ++j) done &= residual_[static_cast<std::size_t>(j)] <= 1e-9;
      if (done) {
        c.ok = true;
        c.residual = residual_;
        return c;
      }
      set_bounds();
      const bool was_stopped = stopped_;
      stopped_ = false;  // the rest must be planned even when the user stopped
      Solve();
      stopped_ = was_stopped || stopped_;
    }
    return c;
  };
  Candidate chosen_plan = round_plan(false);
  auto optimal = [&](const Candidate& c) {
    return c.ok && c.cost <= result.lower_bound + 1e-6 * std::max(1.0, result.lower_bound);
  };
  if (!optimal(chosen_plan) && !stopped_ && !Stop()) {
    Candidate other = round_plan(true);
    if (other.ok && (!chosen_plan.ok || other.cost < chosen_plan.cost - 1e-9))
      chosen_plan = std::move(other);
  }
  if (!chosen_plan.ok) return result;

  // The plan: fixed patterns, with the pieces beyond the demand taken off.
  std::vector<int64_t> surplus(static_cast<std::size_t>(n_) + 1, 0);
  for (int j = 1; j <= n_; ++j)
    surplus[static_cast<std::size_t>(j)] = static_cast<int64_t>(
        std::llround(-std::min(0.0, chosen_plan.residual[static_cast<std::size_t>(j)])));
  std::vector<std::pair<Pattern, int64_t>> plan = chosen_plan.patterns;
  for (int j = 1; j <= n_; ++j) {
    auto& s = surplus[static_cast<std::size_t>(j)];
    for (std::size_t i = 0; i < plan.size() && s > 0; ++i) {
      Pattern& p = plan[i].first;
      const int32_t a = p.counts[static_cast<std::size_t>(j)];
      if (a == 0) continue;
      // Take the surplus off whole copies where it can, splitting one copy off otherwise.
      const int64_t copies = std::min<int64_t>(plan[i].second, s / a);
      if (copies > 0) {
        if (copies == plan[i].second) {
          p.counts[static_cast<std::size_t>(j)] = 0;
        } else {
          plan[i].second -= copies;
          Pattern less = p;
          less.counts[static_cast<std::size_t>(j)] = 0;
          plan.emplace_back(less, copies);
        }
        s -= copies * a;
      } else {
        plan[i].second -= 1;
        Pattern less = p;
        less.counts[static_cast<std::size_t>(j)] = static_cast<int32_t>(a - s);
        plan.emplace_back(less, 1);
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
  if (plan.size() > static_cast<std::size_t>(kMaxPatterns)) return result;

  CuttingPlan& best = r_.best;
  best.pattern_count = static_cast<int32_t>(plan.size());
  best.required_length = required;
  best.stock_length = 0;
  best.remnant_length = 0;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const Pattern& p = plan[i].first;
    BarPattern& b = best.patterns[i + 1];
    b = BarPattern{};
    b.stock_index = p.stock;
    int64_t used = 0;
    for (int j = 1; j <= n_; ++j) {
      b.piece_counts[j] = p.counts[static_cast<std::size_t>(j)];
      used += b.piece_counts[j] * Weight(j);
    }
    const int64_t length = r_.stock.entries[p.stock].length;
    b.remnant = static_cast<double>(std::max<int64_t>(length - used, 0));
    b.remnant_rate = 100.0 * b.remnant / static_cast<double>(length);
    b.repeat_count = static_cast<int32_t>(plan[i].second);
    best.stock_length += static_cast<double>(length) * b.repeat_count;
    best.remnant_length += b.remnant * b.repeat_count;
  }
  best.remnant_rate = 100.0 * best.remnant_length / std::max(best.stock_length, 1.0);
  best.loss_rate = 100.0 * std::max(best.stock_length - required, 0.0) / std::max(required, 1.0);
  FinalisePlan(r_);
  result.status = kSearchPlanned;
  result.cost = PlanCost(r_);
  result.proven_optimal =
      result.cost <= result.lower_bound + 1e-6 * std::max(1.0, result.lower_bound);
  result.stopped = stopped_;
  Progress(result.cost, result.lower_bound, false);
  return result;
}

}  // namespace

std::string OptimalProgressText(double cost, double bound, bool working) {
  const std::string plan = cost > 0 ? text::Format("%.3f", cost / 1000) : "-";
  std::string line = plan + text::Format(" / %.3f m", bound / 1000);
  if (working) line += text::Lit("\n[Shift]キーで中止");
  return line;
}

double PlanCost(const OptimiserRecords& r) {
  double cost = 0;
  for (int p = 1; p <= r.best.pattern_count; ++p) {
    const BarPattern& b = r.best.patterns[p];
    const double length = r.stock.entries[b.stock_index].length;
    cost += (length < r.conditions.priority_length ? length * kPriorityCostFactor : length) *
            b.repeat_count;
  }
  return cost;
}

ExactResult ExactPlan(OptimiserRecords& records, const SearchHost& host, double seconds) {
  Planner planner(records, host, seconds);
  return planner.Run();
}

}  // namespace zarvel::optimiser
