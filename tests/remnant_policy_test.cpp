#include "optimiser/remnant_policy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <random>

#include "optimiser/exact.h"
#include "run/run_command.h"
#include "tests/search_test_util.h"

namespace zarvel::optimiser {
namespace {

using testing::JobLists;
using testing::MakeRecords;
using testing::PiecesCut;

struct Bar {
  int length = 0;
  int quantity = 0;
  bool measured = false;
};

struct Job {
  std::vector<Bar> stock;
  std::vector<std::pair<int, int>> cut;
  int margin = 0, kerf = 0, priority = 0, keep = 0;
};

// The policy's order: mill, scrap, in hand, patterns.
using Rank = std::array<long, 4>;

std::unique_ptr<OptimiserRecords> Records(const Job& job, bool policy) {
  JobLists lists;
  for (const Bar& b : job.stock) lists.stock.push_back({b.length, b.quantity});
  lists.cut = job.cut;
  lists.margin = job.margin;
  lists.kerf = job.kerf;
  lists.priority = job.priority;
  auto r = MakeRecords(lists);
  for (std::size_t k = 0; k < job.stock.size(); ++k)
    r->stock.entries[k + 1].measured = job.stock[k].measured;
  r->conditions.policy = {policy, job.keep};
  return r;
}

// The least rank over every plan, by enumerating every pattern of every bar and every multiset
// of them that cuts exactly the pieces required within the stock.
Rank BruteForce(const Job& job) {
  struct Cut {
    std::size_t bar;
    std::vector<int> counts;
    long remnant;
  };
  std::vector<Cut> patterns;
  const std::size_t n = job.cut.size();
  for (std::size_t k = 0; k < job.stock.size(); ++k) {
    const Bar& b = job.stock[k];
    const long room = b.length + (b.measured ? 0 : job.margin) + job.kerf;
    std::vector<int> a(n, 0);
    auto fill = [&](auto& self, std::size_t j, long used) -> void {
      if (j == n) {
        if (used > 0) patterns.push_back({k, a, std::max<long>(b.length - used, 0)});
        return;
      }
      const long w = job.cut[j].first + job.kerf;
      for (a[j] = 0; a[j] <= job.cut[j].second && used + a[j] * w <= room; ++a[j])
        self(self, j + 1, used + a[j] * w);
      a[j] = 0;
    };
    fill(fill, 0, 0);
  }
  Rank best{LONG_MAX, 0, 0, 0};
  std::vector<int> need(n), left(job.stock.size());
  for (std::size_t j = 0; j < n; ++j) need[j] = job.cut[j].second;
  for (std::size_t k = 0; k < job.stock.size(); ++k) left[k] = job.stock[k].quantity;
  Rank now{0, 0, 0, 0};
  auto plan = [&](auto& self, std::size_t from, bool any) -> void {
    if (std::all_of(need.begin(), need.end(), [](int x) { return x == 0; })) {
      best = std::min(best, now);
      return;
    }
    for (std::size_t i = from; i < patterns.size(); ++i) {
      const Cut& p = patterns[i];
      const Bar& b = job.stock[p.bar];
      bool fits = left[p.bar] > 0;
      for (std::size_t j = 0; j < n && fits; ++j) fits = p.counts[j] <= need[j];
      if (!fits) continue;
      const Rank before = now;
      const bool in_hand = b.measured || b.length < job.priority;
      now[in_hand ? 2 : 0] += b.length;
      now[1] += p.remnant > 0 && p.remnant < job.keep ? p.remnant : 0;
      now[3] += !any || i != from ? 1 : 0;  // a pattern not cut before
      --left[p.bar];
      for (std::size_t j = 0; j < n; ++j) need[j] -= p.counts[j];
      self(self, i, true);
      for (std::size_t j = 0; j < n; ++j) need[j] += p.counts[j];
      ++left[p.bar];
      now = before;
    }
  };
  plan(plan, 0, false);
  return best;
}

// 最適's plan (as the run makes it: the planner and the search beside it): exactly the pieces,
// and its rank.
Rank Planned(OptimiserRecords& r, bool* proven = nullptr) {
  const SearchHost host;
  EXPECT_EQ(run::RunOptimal(r, host), kSearchPlanned);
  if (proven != nullptr) *proven = r.proven_optimal;
  for (int j = 1; j <= r.cut.count; ++j) EXPECT_EQ(PiecesCut(r.best, j), r.cut.entries[j].quantity);
  const PolicyFigures f = PolicyOf(r);
  return {std::lround(f.mill), std::lround(f.scrap), std::lround(f.in_hand), r.best.pattern_count};
}

bool SameFirstThree(const Rank& a, const Rank& b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

TEST(RemnantPolicy, TakesTheOffcutsInHandOverAMillBarTheyWouldFitExactly) {
  // Two pieces fill a mill bar exactly; two measured offcuts (long enough to count as regular
  // stock without the policy) take them with 100 mm of scrap each.
  const Job job{{{6000, 2, false}, {3100, 2, true}}, {{2997, 2}}, 20, 3, 3000, 500};
  auto plain = Records(job, false);
  Planned(*plain);
  EXPECT_EQ(StockUsed(*plain), (std::vector<StockBarsUsed>{{6000, 1}}));
  auto policy = Records(job, true);
  bool proven = false;
  const Rank got = Planned(*policy, &proven);
  EXPECT_TRUE(proven);
  EXPECT_TRUE(SameFirstThree(got, BruteForce(job)));
  EXPECT_EQ(got[0], 0);
  EXPECT_EQ(got[1], 200);
  EXPECT_EQ(StockUsed(*policy), (std::vector<StockBarsUsed>{{3100, 2}}));
}

TEST(RemnantPolicy, KeepsTwoLongRemnantsRatherThanALongAndAShort) {
  // Two bars either way: 4000+1000 | 3000 leaves 1000 and 3000, 4000 | 3000+1000 leaves two of
  // 2000. With 1500 kept, only the second scraps nothing.
  const Job job{{{6000, 3, false}}, {{4000, 1}, {3000, 1}, {1000, 1}}, 0, 0, 0, 1500};
  auto policy = Records(job, true);
  bool proven = false;
  const Rank got = Planned(*policy, &proven);
  EXPECT_TRUE(proven);
  EXPECT_TRUE(SameFirstThree(got, BruteForce(job)));
  EXPECT_EQ(got[0], 12000);
  EXPECT_EQ(got[1], 0);
  EXPECT_EQ(PolicyOf(*policy).kept, (std::vector<StockBarsUsed>{{2000, 2}}));
}

TEST(RemnantPolicy, WithoutStockInHandTheMillStockIsTodays) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 12; ++trial) {
    Job job;
    job.kerf = static_cast<int>(rng() % 5);
    job.margin = static_cast<int>(rng() % 30);
    job.keep = 200 + static_cast<int>(rng() % 1500);
    job.stock = {{5500, 6, false}, {6000 + 500 * static_cast<int>(rng() % 4), 6, false}};
    for (int j = 0; j < 4; ++j)
      job.cut.push_back({300 + static_cast<int>(rng() % 2800), 1 + static_cast<int>(rng() % 3)});
    auto plain = Records(job, false);
    auto policy = Records(job, true);
    Planned(*plain);
    const Rank got = Planned(*policy);
    // The same first step: the mill stock is what 最適 finds without the policy.
    EXPECT_EQ(got[0], std::lround(PlanStock(*plain).regular)) << "trial " << trial;
    EXPECT_EQ(got[2], 0);
    // Of the plans with that mill stock, none scraps less.
    EXPECT_LE(got[1], std::lround(PolicyOf(*plain).scrap)) << "trial " << trial;
  }
}

TEST(RemnantPolicy, SmallJobsMeetTheEnumeratedOptimum) {
  std::mt19937 rng(39);
  for (int trial = 0; trial < 60; ++trial) {
    Job job;
    job.kerf = static_cast<int>(rng() % 4);
    job.margin = static_cast<int>(rng() % 20);
    job.priority = 1500 + static_cast<int>(rng() % 2000);
    const int kinds = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < kinds; ++k)
      job.stock.push_back({1000 + 250 * static_cast<int>(rng() % 16),
                           1 + static_cast<int>(rng() % 3), rng() % 3 == 0});
    const int lengths = 1 + static_cast<int>(rng() % 3);
    for (int j = 0; j < lengths; ++j)
      job.cut.push_back({200 + 50 * static_cast<int>(rng() % 30), 1 + static_cast<int>(rng() % 3)});
    int longest = 0;
    for (const Bar& b : job.stock) longest = std::max(longest, b.length);
    job.keep = 1 + static_cast<int>(rng() % static_cast<unsigned>(longest));
    const Rank brute = BruteForce(job);
    if (brute[0] == LONG_MAX) continue;  // the stock cannot cover the job
    auto policy = Records(job, true);
    bool proven = false;
    const Rank got = Planned(*policy, &proven);
    // Bounds never pass the optimum; a plan is proven only when it meets them.
    EXPECT_LE(policy->regular_bound, brute[0] + 1e-6) << "trial " << trial;
    EXPECT_LE(policy->scrap_bound, brute[1] + 1e-6) << "trial " << trial;
    EXPECT_LE(policy->priority_bound, brute[2] + 1e-6) << "trial " << trial;
    EXPECT_EQ(proven, ReachesBound(got[0], policy->regular_bound) &&
                          ReachesBound(got[1], policy->scrap_bound) &&
                          ReachesBound(got[2], policy->priority_bound))
        << "trial " << trial;
    EXPECT_TRUE(SameFirstThree(got, brute))
        << "trial " << trial << ": " << got[0] << " " << got[1] << " " << got[2] << " against "
        << brute[0] << " " << brute[1] << " " << brute[2];
    EXPECT_GE(got[3], brute[3]) << "trial " << trial;
  }
}

TEST(RemnantPolicy, FiguresCountScrapAndKeptRemnantsPerBar) {
  auto r = Records({{{6000, 4, false}, {2500, 1, true}}, {{1000, 1}}, 0, 0, 3000, 800}, true);
  r->best.pattern_count = 3;
  const struct {
    int32_t stock_index;
    double remnant;
    int32_t repeat_count;
  } patterns[] = {{1, 500, 2}, {1, 900, 1}, {2, 0, 1}};
  for (int p = 1; p <= 3; ++p) {
    r->best.patterns[p].stock_index = patterns[p - 1].stock_index;
    r->best.patterns[p].remnant = patterns[p - 1].remnant;
    r->best.patterns[p].repeat_count = patterns[p - 1].repeat_count;
  }
  const PolicyFigures f = PolicyOf(*r);
  EXPECT_EQ(f.mill, 18000);
  EXPECT_EQ(f.in_hand, 2500);
  EXPECT_EQ(f.scrap, 1000);
  EXPECT_EQ(f.kept, (std::vector<StockBarsUsed>{{900, 1}}));
}

}  // namespace
}  // namespace zarvel::optimiser
