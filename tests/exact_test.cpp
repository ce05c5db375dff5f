#include "optimiser/exact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <random>

#include "base/cp932.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "optimiser/arc_flow.h"
#include "optimiser/search.h"
#include "run/run_command.h"
#include "tests/fakes.h"
#include "tests/search_test_util.h"
#include "tests/temp_dir.h"

namespace zarvel::optimiser {
using run::OptimalResultText;
using run::RunCommand;
using run::RunHost;
using run::RunOptimal;
using run::RunOutcome;
namespace {

using testing::BinPackingJob;
using testing::JobLists;
using testing::MakeRecords;
using testing::PiecesCut;

// Every bar of the plan obeys the model, the demand is met exactly, the stock limits hold.
void ExpectSoundPlan(const OptimiserRecords& r) {
  const CuttingPlan& plan = r.best;
  ASSERT_GT(plan.pattern_count, 0);
  for (int j = 1; j <= r.cut.count; ++j) EXPECT_EQ(PiecesCut(plan, j), r.cut.entries[j].quantity);
  for (int k = 1; k <= r.stock.count; ++k) {
    long used = 0;
    for (int p = 1; p <= plan.pattern_count; ++p)
      if (plan.patterns[p].stock_index == k) used += plan.patterns[p].repeat_count;
    EXPECT_LE(used, r.stock.entries[k].quantity);
  }
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const BarPattern& b = plan.patterns[p];
    const long length = r.stock.entries[b.stock_index].length;
    long used = 0;
    for (int j = 1; j <= r.cut.count; ++j)
      used += long{b.piece_counts[j]} * (r.cut.entries[j].length + r.conditions.kerf);
    EXPECT_LE(used, length + r.conditions.margin + r.conditions.kerf);
    EXPECT_EQ(b.remnant, std::max(length - used, 0L));
    EXPECT_GT(b.repeat_count, 0);
    // One pattern is one set-up: it appears once in the plan.
    for (int q = 1; q < p; ++q) {
      const BarPattern& a = plan.patterns[q];
      EXPECT_FALSE(
          a.stock_index == b.stock_index &&
          std::equal(&a.piece_counts[0], &a.piece_counts[0] + kMaxEntries + 1, &b.piece_counts[0]))
          << "patterns " << q << " and " << p;
    }
  }
}

TEST(ExactPlanner, WhatTheFillCutsTheModelAllows) {
  // Bars from the search's own fill: each is feasible in the model with the same remnant.
  std::mt19937 rng(3);
  for (int trial = 0; trial < 50; ++trial) {
    JobLists job{{{4000 + 500 * static_cast<int>(rng() % 10), 5}},
                 {},
                 static_cast<int>(rng() % 40),
                 static_cast<int>(rng() % 6),
                 0};
    for (int j = 0; j < 6; ++j)
      job.cut.push_back({150 + static_cast<int>(rng() % 2500), 1 + static_cast<int>(rng() % 4)});
    auto r = MakeRecords(job);
    r->cut.SortByLength();
    r->cut.MergeEqualLengths();
    for (int j = 1; j <= r->cut.count; ++j)
      r->cut.entries[j].remaining = r->cut.entries[j].quantity;
    r->stock.entries[1].remaining = 5;
    const BarPattern bar = BestBarFill(*r, 1, 5);
    long used = 0;
    for (int j = 1; j <= r->cut.count; ++j)
      used += long{bar.piece_counts[j]} * (r->cut.entries[j].length + job.kerf);
    const long length = r->stock.entries[1].length;
    EXPECT_LE(used, length + job.margin + job.kerf) << trial;
    EXPECT_EQ(bar.remnant, std::max(length - used, 0L)) << trial;
  }
}

TEST(ExactPlanner, RandomJobsMeetDemandAndStock) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 30; ++trial) {
    JobLists job;
    const int kinds = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < kinds; ++k)
      job.stock.push_back(
          {5500 + 500 * static_cast<int>(rng() % 14), 5 + static_cast<int>(rng() % 40)});
    for (int j = 0; j < 1 + static_cast<int>(rng() % 30); ++j)
      job.cut.push_back({200 + static_cast<int>(rng() % 5000), 1 + static_cast<int>(rng() % 12)});
    job.priority = trial % 3 == 0 ? 6000 : 0;
    auto r = MakeRecords(job);
    const ExactResult result = ExactPlan(*r, {}, 600);
    ASSERT_TRUE(result.applicable);
    if (result.status != kSearchPlanned) continue;  // too little stock for this draw
    SCOPED_TRACE(trial);
    ExpectSoundPlan(*r);
    EXPECT_GE(result.plan.regular + 1e-6, result.regular_bound);
    EXPECT_GE(result.plan.priority + 1e-6, result.priority_bound);
    EXPECT_EQ(result.plan.regular + result.plan.priority, r->best.stock_length);
    // Given its own plan to better, the planner keeps its stock and proof.
    auto again = MakeRecords(job);
    ExactOptions options;
    options.start = r.get();
    const ExactResult second = ExactPlan(*again, {}, 600, options);
    ASSERT_EQ(second.status, kSearchPlanned);
    EXPECT_FALSE(UsesLess(result.plan, second.plan));
    EXPECT_EQ(second.regular_bound, result.regular_bound);
    if (result.proven_optimal) {
      EXPECT_TRUE(second.proven_optimal);
    }
  }
}

// A work budget ends the planner by its counts: as a stop that is not the user's, with a sound
// plan where it found one, the same on every run, and a bigger budget never plans worse.
TEST(ExactPlanner, AWorkBudgetEndsThePlannerByCounts) {
  std::mt19937 rng(7);
  JobLists job;
  job.stock = {{6000, 60}, {9000, 60}, {12000, 60}};
  for (int j = 0; j < 60; ++j)
    job.cut.push_back({300 + static_cast<int>(rng() % 4700), 1 + static_cast<int>(rng() % 6)});
  job.margin = 20;
  job.kerf = 3;
  std::vector<double> stock;
  for (const int64_t budget : {int64_t{1}, int64_t{1}, int64_t{0}}) {
    auto r = MakeRecords(job);
    ExactOptions options;
    options.work_budget = budget;
    const ExactResult result = ExactPlan(*r, {}, 600, options);
    EXPECT_EQ(result.out_of_work, budget > 0);
    EXPECT_FALSE(result.stopped);
    if (budget > 0) {
      EXPECT_FALSE(result.proven_optimal);
    }
    if (result.status == kSearchPlanned) ExpectSoundPlan(*r);
    stock.push_back(result.status == kSearchPlanned ? result.plan.regular : 1e18);
  }
  EXPECT_EQ(stock[0], stock[1]);
  EXPECT_LE(stock[2], stock[0]);
}

// Jobs whose LP bound, rounded up to what the stock can make, lies below the optimum (worked out
// by hand in each comment): the root cannot prove their plan, the graph of bar fillings does.
TEST(ExactPlanner, ProvesWhereTheRootsBoundFallsShort) {
  struct Case {
    JobLists job;
    double optimum;
  };
  const Case cases[] = {
      // A bar of 12 takes three pieces of 4, one of 10 two: five pieces need 12 + 10; the LP
      // takes 5/3 bars of 12, 20, and 20 = 10 + 10.
      {{{{10, 2}, {12, 20}}, {{4, 5}}, 0, 0, 0}, 22},
      // Every bar takes two pieces, so five need three bars, and there are three of 30; the LP
      // takes 2.5 bars of 30, 75, rounded up to 80 = 40 + 40.
      {{{{30, 3}, {40, 20}}, {{16, 1}, {14, 4}}, 0, 0, 0}, 90},
      // The first with kerf and margin: 3 x 403 <= 1200 + 20 + 3, 2 x 403 <= 1000 + 20 + 3.
      {{{{1000, 2}, {1200, 20}}, {{400, 5}}, 20, 3, 0}, 2200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.optimum);
    auto root = MakeRecords(c.job);
    EXPECT_LT(PriceAndBranch(*root, 10).regular_bound, c.optimum);
    auto r = MakeRecords(c.job);
    const ExactResult result = ExactPlan(*r, {});
    ASSERT_EQ(result.status, kSearchPlanned);
    ExpectSoundPlan(*r);
    EXPECT_EQ(result.plan.regular, c.optimum);
    EXPECT_EQ(result.regular_bound, c.optimum);
    EXPECT_TRUE(result.proven_optimal);
    // The same plan, bar for bar, on a second run.
    auto again = MakeRecords(c.job);
    ExactPlan(*again, {});
    ASSERT_EQ(again->best.pattern_count, r->best.pattern_count);
    for (int p = 1; p <= r->best.pattern_count; ++p) {
      const BarPattern &a = r->best.patterns[p], &b = again->best.patterns[p];
      EXPECT_EQ(a.stock_index, b.stock_index);
      EXPECT_EQ(a.repeat_count, b.repeat_count);
      EXPECT_TRUE(
          std::equal(&a.piece_counts[0], &a.piece_counts[0] + kMaxEntries + 1, &b.piece_counts[0]));
    }
  }
}

// The least cost of bars holding every piece, by trying every way to put them in bars (tiny
// jobs only).
double LeastCostByTrying(const ArcFlowJob& job) {
  std::vector<int64_t> pieces;
  for (std::size_t j = 0; j < job.weights.size(); ++j)
    pieces.insert(pieces.end(), static_cast<std::size_t>(job.demand[j]), job.weights[j]);
  std::vector<std::pair<std::size_t, int64_t>> bars;  // stock length, fill
  bars.reserve(pieces.size());
  std::vector<int64_t> used(job.capacities.size(), 0);
  double best = std::numeric_limits<double>::infinity();
  auto place = [&](auto& self, std::size_t i, double cost) -> void {
    if (cost >= best) return;
    if (i == pieces.size()) {
      best = cost;
      return;
    }
    // By index: the bars placed deeper down are added to (and taken off) the same vector.
    for (std::size_t b = 0; b < bars.size(); ++b) {
      if (bars[b].second + pieces[i] > job.capacities[bars[b].first]) continue;
      bars[b].second += pieces[i];
      self(self, i + 1, cost);
      bars[b].second -= pieces[i];
    }
    for (std::size_t k = 0; k < job.capacities.size(); ++k) {
      if (used[k] >= job.quantities[k] || pieces[i] > job.capacities[k]) continue;
      ++used[k];
      bars.emplace_back(k, pieces[i]);
      self(self, i + 1, cost + job.costs[k]);
      bars.pop_back();
      --used[k];
    }
  };
  place(place, 0, 0.0);
  return best;
}

TEST(ArcFlow, FindsAndProvesTheLeastCostOfSmallJobs) {
  std::mt19937 rng(5);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int solved = 0;
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    ArcFlowJob job;
    const int stocks = pick(1, 3);
    for (int k = 0; k < stocks; ++k) {
      job.capacities.push_back(pick(20, 60));
      job.quantities.push_back(pick(1, 4));
      job.costs.push_back(static_cast<double>(job.capacities.back() - pick(0, 5)));
    }
    for (int total = 0, j = 0; j < 3 && total < 6; ++j) {
      job.weights.push_back(pick(5, 25));
      job.demand.push_back(std::min(pick(1, 3), 6 - total));
      total += static_cast<int>(job.demand.back());
    }
    const double least = LeastCostByTrying(job);
    ArcFlowLimits limits;
    limits.arcs = 100000;
    limits.table_words = 100000;
    limits.nodes = 1000;
    limits.iterations = 100000;
    const ArcFlowResult result = SolveArcFlow(job, {}, limits);
    ASSERT_TRUE(result.built);
    if (least == std::numeric_limits<double>::infinity()) {
      EXPECT_FALSE(result.found);
      continue;
    }
    ++solved;
    ASSERT_TRUE(result.found);
    EXPECT_TRUE(result.proven);
    EXPECT_DOUBLE_EQ(result.objective, least);
    // The bars hold at least the demand, each within its capacity and the stock.
    std::vector<int64_t> cut(job.weights.size(), 0), bars(job.capacities.size(), 0);
    double cost = 0;
    for (const ArcFlowBars& b : result.plan) {
      int64_t fill = 0;
      for (std::size_t j = 0; j < job.weights.size(); ++j) {
        fill += b.counts[j] * job.weights[j];
        cut[j] += b.counts[j] * b.times;
      }
      EXPECT_LE(fill, job.capacities[static_cast<std::size_t>(b.stock)]);
      bars[static_cast<std::size_t>(b.stock)] += b.times;
      cost += job.costs[static_cast<std::size_t>(b.stock)] * static_cast<double>(b.times);
    }
    EXPECT_DOUBLE_EQ(cost, least);
    for (std::size_t j = 0; j < job.weights.size(); ++j) EXPECT_GE(cut[j], job.demand[j]);
    for (std::size_t k = 0; k < job.capacities.size(); ++k) EXPECT_LE(bars[k], job.quantities[k]);
    // Given its own plan, the search finds nothing better and proves it.
    const ArcFlowResult again = SolveArcFlow(job, result.plan, limits);
    EXPECT_FALSE(again.found);
    EXPECT_TRUE(again.proven);
    EXPECT_DOUBLE_EQ(again.objective, least);
  }
  EXPECT_GT(solved, 20);
  // A graph over its limit is not built.
  ArcFlowJob big;
  big.weights = {7, 11, 13};
  big.demand = {50, 50, 50};
  big.capacities = {1000};
  big.quantities = {100};
  big.costs = {1000};
  ArcFlowLimits small;
  small.arcs = 10;
  small.table_words = 1000;
  EXPECT_FALSE(SolveArcFlow(big, {}, small).built);
}

TEST(ExactPlanner, PriorityBarsAreUsedFirst) {
  // Short offcuts (below the priority length) and new 6 m bars: the pieces go on the offcuts.
  auto r = MakeRecords({{{6000, 10}, {2000, 4}}, {{1900, 4}}, 20, 3, 5000});
  ASSERT_EQ(ExactPlan(*r, {}).status, kSearchPlanned);
  ASSERT_EQ(r->best.pattern_count, 1);
  EXPECT_EQ(r->stock.entries[r->best.patterns[1].stock_index].length, 2000);
  EXPECT_EQ(r->best.patterns[1].repeat_count, 4);
}

TEST(ExactPlanner, StockUseCountsEachUsedLengthOnceInItsClass) {
  auto r = std::make_unique<OptimiserRecords>();
  for (const int32_t length : {3000, 6000, 9000, 4000}) r->stock.Append(length, 9);
  r->conditions.priority_length = 5000;
  // Entry 1 in two patterns, entry 3 in one; entries 2 and 4 unused.
  const std::pair<int, int> patterns[] = {{1, 2}, {3, 1}, {1, 3}};
  for (const auto& [stock_index, repeat] : patterns) {
    BarPattern& b = r->best.patterns[++r->best.pattern_count];
    b.stock_index = stock_index;
    b.repeat_count = repeat;
  }
  const std::vector<StockBarsUsed> used = StockUsed(*r);
  ASSERT_EQ(used.size(), 2u);
  EXPECT_EQ(used[0].length, 3000);
  EXPECT_EQ(used[0].bars, 5);
  EXPECT_EQ(used[1].length, 9000);
  EXPECT_EQ(used[1].bars, 1);
  const StockUse use = PlanStock(*r);
  EXPECT_EQ(use.priority, 5 * 3000);
  EXPECT_EQ(use.regular, 9000);
  r->best.pattern_count = 0;
  EXPECT_TRUE(StockUsed(*r).empty());
}

// A job run at 最適 through the run command, as the window runs it.
struct OptimalRun {
  OptimalRun(const std::vector<std::string>& stock, const std::vector<std::string>& cut) {
    form.precision = kPrecisionOptimal;
    testing::FakeForm::Fill(form.stock, stock);
    testing::FakeForm::Fill(form.cut, cut);
  }
  RunOutcome Run() { return RunCommand(*records, form, host.Host(), true); }

  testing::FakeForm form;
  testing::FakeHost host;
  std::unique_ptr<OptimiserRecords> records = std::make_unique<OptimiserRecords>();
};

TEST(ExactPlanner, LeastAdditionThenFewestBars) {
  struct Case {
    JobLists job;
    std::vector<StockBarsUsed> add;
  };
  const Case cases[] = {
      // One more 6 m bar for the second piece.
      {{{{6000, 1}}, {{5000, 2}}, 20, 3, 0}, {{6000, 1}}},
      // The relaxation takes half a 12 m bar; a whole 6 m bar is the least that plans.
      {{{{6000, 2}, {12000, 1}}, {{5000, 3}, {2500, 4}}, 20, 3, 0}, {{6000, 1}}},
      // 24 m more either way (four 6 m bars, or two 12 m): the fewest bars.
      {{{{6000, 1}, {12000, 1}}, {{5900, 7}}, 20, 3, 0}, {{12000, 2}}},
      // Enough stock already: nothing to add, and the plan is within it.
      {{{{6000, 2}}, {{2900, 4}}, 20, 3, 0}, {}},
  };
  for (const Case& c : cases) {
    auto r = MakeRecords(c.job);
    const Shortage shortage = LeastAddition(*r, {});
    ASSERT_TRUE(shortage.found);
    EXPECT_EQ(shortage.bars, c.add) << c.job.stock[0].first << " " << c.job.cut[0].first;
    ExpectSoundPlan(*r);  // within the stock with the addition
    for (const StockBarsUsed& added : c.add)
      for (int k = 1; k <= r->stock.count; ++k)
        if (r->stock.entries[k].length == added.length) {
          const auto owned = std::find_if(c.job.stock.begin(), c.job.stock.end(),
                                          [&](const auto& s) { return s.first == added.length; });
          EXPECT_EQ(r->stock.entries[k].quantity, owned->second + added.bars);
        }
  }
}

TEST(ExactPlanner, LabelShowsTheRemnantRateAndWhereThePlanStands) {
  OptimalRun run({"5500.10"}, {"2700.4"});
  auto& host = run.host;
  auto& records = run.records;
  ASSERT_EQ(run.Run(), RunOutcome::kPlanned);
  ASSERT_GE(host.progress.size(), 2u);
  // The search at 高 goes first, then the bound.
  EXPECT_EQ(host.progress.front()[0], '(');
  EXPECT_NE(std::find(host.progress.begin(), host.progress.end(),
                      base::Lit("下限を計算中\n[Shift]キーで中止")),
            host.progress.end());
  // Two bars of 5.5 m with 94 mm left on each: proven, as the bound is 11 m.
  EXPECT_EQ(host.progress.back(), "(100)   1.709 %\n" + base::Lit("最適解 1 パターン"));
  EXPECT_TRUE(records->proven_optimal);
  EXPECT_FALSE(records->stopped);
  EXPECT_EQ(records->regular_bound, 11000);
}

TEST(ExactPlanner, ResultTextGivesTheGapInMetresRoundedUp) {
  EXPECT_EQ(OptimalResultText(1.5, false, 1450, false, 12),
            "(100)   1.500 %\n" + base::Lit("下限まで 1.5 m 以内 12 パターン"));
  EXPECT_EQ(OptimalResultText(1.5, false, 1401, false, 12),
            "(100)   1.500 %\n" + base::Lit("下限まで 1.5 m 以内 12 パターン"));
  // Stopped: said so in place of the percentage, with the plan's distance from the bound, or
  // that there was no bound yet.
  EXPECT_EQ(OptimalResultText(12.25, false, 500, true, 3),
            base::Lit("(中止)  12.250 %\n下限との差 0.5 m 3 パターン"));
  EXPECT_EQ(OptimalResultText(0.016, false, -1, true, 3),
            base::Lit("(中止)   0.016 %\n下限は未計算 3 パターン"));
  EXPECT_EQ(OptimalResultText(0, true, 0, true, 1),
            "(100)   0.000 %\n" + base::Lit("最適解 1 パターン"));
  // Ended by its work budget before a bound: never a distance from a bound of 0.
  EXPECT_EQ(OptimalResultText(0.5, false, -1, false, 7),
            "(100)   0.500 %\n" + base::Lit("下限は未計算 7 パターン"));
}

TEST(ExactPlanner, NeverWorseThanHigh) {
  for (const char* job : {"kitamachi_beams.zv5", "full_grid.zv5"}) {
    auto exact = std::make_unique<OptimiserRecords>();
    job::JobForm form(*exact);
    ASSERT_TRUE(job::OpenJobFile(form, std::string(ZARVEL5_SOURCE_DIR "/examples/") + job));
    RunHost host;
    form.SetPrecisionItem(2);
    ASSERT_EQ(RunCommand(*exact, form, host, true), RunOutcome::kPlanned);
    const StockUse high = PlanStock(*exact);
    const int32_t high_patterns = exact->best.pattern_count;
    form.SetPrecisionItem(kPrecisionOptimal);
    ASSERT_EQ(RunCommand(*exact, form, host, true), RunOutcome::kPlanned);
    EXPECT_FALSE(UsesLess(high, PlanStock(*exact))) << job;
    // At the same stock, never more set-ups of the saw.
    if (!UsesLess(PlanStock(*exact), high)) {
      EXPECT_LE(exact->best.pattern_count, high_patterns) << job;
    }
    EXPECT_TRUE(exact->exact_run);
    EXPECT_GE(PlanStock(*exact).regular + 1e-6, exact->regular_bound) << job;
    ExpectSoundPlan(*exact);
  }
}

// Shift goes down at the given poll and stays down.
class ShiftAfter final : public KeyState {
 public:
  explicit ShiftAfter(int polls) : polls_(polls) {}
  bool IsKeyDown(int key) const override { return key == kKeyShift && ++seen_ > polls_; }

 private:
  int polls_;
  mutable int seen_ = 0;
};

TEST(ExactPlanner, StoppedStillKeepsTheBetterOfItsPlanAndTheSearchs) {
  auto high = std::make_unique<OptimiserRecords>();
  job::JobForm form(*high);
  ASSERT_TRUE(job::OpenJobFile(form, ZARVEL5_SOURCE_DIR "/examples/full_grid.zv5"));
  form.SetPrecisionItem(2);
  ASSERT_EQ(RunCommand(*high, form, RunHost{}, true), RunOutcome::kPlanned);
  // The search at 高 polls Shift after each of its attempts 51..500; Shift down after it (in
  // the exact part), and from the start.
  for (const int polls : {450, 0}) {
    ShiftAfter keys(polls);
    RunHost host;
    host.keys = &keys;
    auto stopped = std::make_unique<OptimiserRecords>();
    job::JobForm optimal(*stopped);
    ASSERT_TRUE(job::OpenJobFile(optimal, ZARVEL5_SOURCE_DIR "/examples/full_grid.zv5"));
    optimal.SetPrecisionItem(kPrecisionOptimal);
    ASSERT_EQ(RunCommand(*stopped, optimal, host, true), RunOutcome::kPlanned);
    EXPECT_TRUE(stopped->stopped);
    ExpectSoundPlan(*stopped);
    if (polls > 0) {
      EXPECT_FALSE(UsesLess(PlanStock(*high), PlanStock(*stopped)));
    }
  }
}

TEST(ExactPlanner, FourthPrecisionIsSavedAndLoaded) {
  testing::TempDir dir("zarvel5-optimal");
  auto records = std::make_unique<OptimiserRecords>();
  job::JobForm form(*records);
  form.SetPrecisionItem(kPrecisionOptimal);
  ASSERT_TRUE(job::WriteJobFile(form, dir.File("job.zv5")));
  std::ifstream in(dir.File("job.zv5"));
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(all.find("RgTryCount = 3\r\n"), std::string::npos);
  job::JobForm other(*records);
  ASSERT_TRUE(job::OpenJobFile(other, dir.File("job.zv5")));
  EXPECT_EQ(other.PrecisionItem(), kPrecisionOptimal);
}

TEST(ExactPlanner, PublicInstancesReachTheirOptimum) {
  const std::pair<const char*, int> instances[] = {
      {"Falkenauer_u120_00", 48}, {"N1C1W1_A", 25}, {"N1W1B1R0", 18}, {"Waescher_TEST0005", 28}};
  for (auto [name, optimum] : instances) {
    auto r = BinPackingJob(name);
    ASSERT_GT(r->cut.count, 0) << name;
    // No time limit that a slow (sanitizer) build could reach: the result must not depend on it.
    const ExactResult result = ExactPlan(*r, {}, 600);
    ASSERT_EQ(result.status, kSearchPlanned) << name;
    long bars = 0;
    for (int p = 1; p <= r->best.pattern_count; ++p) bars += r->best.patterns[p].repeat_count;
    EXPECT_EQ(bars, optimum) << name;
    EXPECT_TRUE(result.proven_optimal) << name;
    ExpectSoundPlan(*r);
  }
}

}  // namespace
}  // namespace zarvel::optimiser
