#include "optimiser/pattern_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "optimiser/remnant_policy.h"

namespace zarvel::optimiser {
namespace {

constexpr int64_t kPlenty = 10'000'000;

// Three piece weights (length + kerf) on bars of capacity 1000 and length 990.
MergeJob SmallJob() {
  MergeJob job;
  job.weights = {400, 300, 200};
  job.capacities = {1000};
  job.lengths = {990};
  return job;
}

int64_t Filled(const MergeJob& job, const MergePattern& p) {
  int64_t w = 0;
  for (std::size_t j = 0; j < p.counts.size(); ++j) w += p.counts[j] * job.weights[j];
  return w;
}

int64_t Scrap(const MergeJob& job, const std::vector<MergePattern>& plan) {
  int64_t scrap = 0;
  for (const MergePattern& p : plan)
    scrap +=
        p.times * ScrapOf(std::max<int64_t>(
                              job.lengths[static_cast<std::size_t>(p.stock)] - Filled(job, p), 0),
                          job.keep);
  return scrap;
}

// The merged plan cuts the same bars of each stock entry and exactly the same pieces, every bar
// within its capacity, and no two of its patterns are equal.
void ExpectSameWork(const MergeJob& job, const std::vector<MergePattern>& before,
                    const std::vector<MergePattern>& after) {
  std::map<int, int64_t> bars;
  std::vector<int64_t> pieces(job.weights.size(), 0);
  for (const MergePattern& p : before) {
    bars[p.stock] += p.times;
    for (std::size_t j = 0; j < p.counts.size(); ++j) pieces[j] += p.times * p.counts[j];
  }
  for (const MergePattern& p : after) {
    EXPECT_GT(p.times, 0);
    EXPECT_GT(Filled(job, p), 0) << "a bar with no piece";
    EXPECT_LE(Filled(job, p), job.capacities[static_cast<std::size_t>(p.stock)]);
    bars[p.stock] -= p.times;
    for (std::size_t j = 0; j < p.counts.size(); ++j) pieces[j] -= p.times * p.counts[j];
  }
  for (const auto& [stock, left] : bars) EXPECT_EQ(left, 0) << "stock entry " << stock;
  for (std::size_t j = 0; j < pieces.size(); ++j) EXPECT_EQ(pieces[j], 0) << "piece " << j;
  for (std::size_t a = 0; a < after.size(); ++a)
    for (std::size_t b = a + 1; b < after.size(); ++b)
      EXPECT_FALSE(after[a].stock == after[b].stock && after[a].counts == after[b].counts);
  EXPECT_LE(after.size(), before.size());
  if (job.keep > 0) {
    EXPECT_LE(Scrap(job, after), Scrap(job, before));
  }
}

struct MergeCase {
  const char* name;
  std::vector<MergePattern> plan;
  std::size_t patterns;                // after merging
  std::vector<MergePattern> expected;  // when not empty: exactly these patterns, in any order
  std::vector<int64_t> capacities{1000};
  std::vector<int64_t> lengths{990};
  int32_t keep = 0;
  int64_t steps = kPlenty;
};

TEST(PatternMerge, HandMadePlans) {
  const MergeCase cases[] = {
      // Two bars of 800 and 400 mm become two equal bars of 600.
      {"2 to 1", {{0, {2, 0, 0}, 1}, {0, {0, 0, 2}, 1}}, 1, {}},
      // No pair merges; the five bars become (0,1,3) once and (2,0,0) four times.
      {"3 to 2, uneven", {{0, {1, 0, 2}, 1}, {0, {2, 0, 0}, 3}, {0, {1, 1, 1}, 1}}, 2, {}},
      // No pair has an even count of each piece, yet the three split into (1,1,1) once and
      // (0,0,4) twice.
      {"3 to 2", {{0, {0, 1, 3}, 1}, {0, {0, 0, 4}, 1}, {0, {1, 0, 2}, 1}}, 2, {}},
      // No pair becomes one pattern alone, but the first two bars hold the pieces of one more
      // bar of the third pattern and one of (0,0,2).
      {"borrowed", {{0, {1, 0, 1}, 1}, {0, {0, 1, 1}, 1}, {0, {1, 1, 0}, 2}}, 2, {}},
      // 400 and 900 mm: an odd count of each piece, so no two equal bars.
      {"none", {{0, {1, 0, 0}, 1}, {0, {0, 3, 0}, 1}}, 2, {}},
      // Equal patterns are one.
      {"equal", {{0, {1, 1, 0}, 2}, {0, {1, 1, 0}, 3}}, 1, {}},
      // The 2 to 1 above, but the bars are of two stock entries: each keeps its own.
      {"two entries, none",
       {{0, {2, 0, 0}, 1}, {1, {0, 0, 2}, 1}},
       2,
       {{0, {2, 0, 0}, 1}, {1, {0, 0, 2}, 1}},
       {1000, 1000},
       {990, 990}},
      // A bar of each length: (1,0,1) on the first and (0,1,1) on the second hold the pieces of
      // one more bar of (1,1,0) on the first and one of (0,0,2) on the second.
      {"across entries",
       {{0, {1, 0, 1}, 1}, {1, {0, 1, 1}, 1}, {0, {1, 1, 0}, 2}},
       2,
       {{0, {1, 1, 0}, 3}, {1, {0, 0, 2}, 1}},
       {1000, 900},
       {990, 890}},
      // 800 + 400 mm leave 190 and 590 mm, two bars of 600 mm 390 each. With remnants of 400 mm
      // kept the merge would raise the scrap from 190 to 780 and is refused; with 300 mm it
      // lowers it to nothing and is taken.
      {"scrap kept at 400", {{0, {2, 0, 0}, 1}, {0, {0, 0, 2}, 1}}, 2, {}, {1000}, {990}, 400},
      {"scrap kept at 300", {{0, {2, 0, 0}, 1}, {0, {0, 0, 2}, 1}}, 1, {}, {1000}, {990}, 300},
      // No step to take: the plan as it was.
      {"no steps", {{0, {2, 0, 0}, 1}, {0, {0, 0, 2}, 1}}, 2, {}, {1000}, {990}, 0, 0},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.name);
    MergeJob job = SmallJob();
    job.capacities = c.capacities;
    job.lengths = c.lengths;
    job.keep = c.keep;
    const MergeResult result = MergePatterns(job, c.plan, c.steps);
    EXPECT_EQ(result.plan.size(), c.patterns);
    EXPECT_EQ(result.out_of_steps, c.steps == 0);
    if (c.steps == 0) {
      EXPECT_EQ(result.steps, 0);
    }
    ExpectSameWork(job, c.plan, result.plan);
    for (const MergePattern& p : c.expected)
      EXPECT_EQ(std::count(result.plan.begin(), result.plan.end(), p), 1);
  }
}

// A random plan: bars of a few stock entries filled at random.
std::vector<MergePattern> RandomPlan(const MergeJob& job, std::mt19937& random, int patterns) {
  std::vector<MergePattern> plan;
  const auto n = job.weights.size();
  for (int p = 0; p < patterns; ++p) {
    MergePattern bar;
    bar.stock = static_cast<int>(random() % job.capacities.size());
    bar.counts.assign(n, 0);
    int64_t filled = 0;
    const int64_t cap = job.capacities[static_cast<std::size_t>(bar.stock)];
    for (int tries = 0; tries < 12; ++tries) {
      const std::size_t j = random() % n;
      if (filled + job.weights[j] > cap) continue;
      ++bar.counts[j];
      filled += job.weights[j];
    }
    if (filled == 0) continue;
    bar.times = 1 + static_cast<int64_t>(random() % 4);
    plan.push_back(std::move(bar));
  }
  return plan;
}

TEST(PatternMerge, RandomPlansKeepTheirBarsAndPieces) {
  std::mt19937 random(37);
  int fewer = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    MergeJob job;
    const int n = 3 + static_cast<int>(random() % 6);
    for (int j = 0; j < n; ++j) job.weights.push_back(150 + static_cast<int64_t>(random() % 900));
    const int m = 1 + static_cast<int>(random() % 3);
    for (int k = 0; k < m; ++k) {
      const int64_t length = 2000 + static_cast<int64_t>(random() % 3000);
      job.lengths.push_back(length);
      job.capacities.push_back(length + 20 + 3);
    }
    job.keep = round % 3 == 0 ? 500 : 0;
    const auto plan = RandomPlan(job, random, 4 + static_cast<int>(random() % 12));
    const MergeResult result = MergePatterns(job, plan, 200'000);
    ExpectSameWork(job, plan, result.plan);
    fewer += result.plan.size() < plan.size();
    // The same plan and count give the same result; a shorter count ends earlier, as soundly.
    const MergeResult again = MergePatterns(job, plan, 200'000);
    EXPECT_EQ(again.plan, result.plan);
    EXPECT_EQ(again.steps, result.steps);
    const int64_t short_count = 1 + round * round * 7;
    const MergeResult cut = MergePatterns(job, plan, short_count);
    EXPECT_LE(cut.steps, short_count);
    ExpectSameWork(job, plan, cut.plan);
  }
  EXPECT_GT(fewer, 0);  // the random plans leave room to merge
}

}  // namespace
}  // namespace zarvel::optimiser
