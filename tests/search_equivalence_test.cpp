// The search against its literal reference on many random jobs: every field of the plan, the
// lists it leaves behind and the generator state must be the same.
#include <gtest/gtest.h>

#include <random>

#include "optimiser/search.h"
#include "tests/reference_search.h"
#include "tests/search_test_util.h"

namespace zarvel::optimiser {
namespace {

using testing::JobLists;
using testing::MakeRecords;

JobLists RandomJob(std::mt19937& rng, int max_stock, int max_cut) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  JobLists job;
  const int n_stock = pick(1, max_stock);
  const int n_cut = pick(1, max_cut);
  const bool scarce = pick(0, 4) == 0;  // sometimes too little stock
  for (int i = 0; i < n_stock; ++i)
    job.stock.push_back(
        {pick(0, 3) == 0 ? pick(2, 6000) : 500 * pick(6, 24), scarce ? pick(1, 3) : pick(1, 99)});
  for (int i = 0; i < n_cut; ++i)
    job.cut.push_back({pick(0, 9) == 0 ? pick(2, 12500) : pick(100, 6000), pick(1, 40)});
  const int margins[] = {0, 20, pick(0, 60), 300};
  job.margin = margins[pick(0, 3)];
  const int kerfs[] = {0, 3, pick(0, 12)};
  job.kerf = kerfs[pick(0, 2)];
  const int priorities[] = {0, 5000, pick(0, 12000)};
  job.priority = priorities[pick(0, 2)];
  return job;
}

void ExpectSamePlans(const OptimiserRecords& a, const OptimiserRecords& b,
                     bool same_random_state = true) {
  const CuttingPlan& p = a.best;
  const CuttingPlan& q = b.best;
  ASSERT_EQ(p.pattern_count, q.pattern_count);
  EXPECT_EQ(p.required_length, q.required_length);
  EXPECT_EQ(p.stock_length, q.stock_length);
  EXPECT_EQ(p.remnant_length, q.remnant_length);
  EXPECT_EQ(p.remnant_rate, q.remnant_rate);
  EXPECT_EQ(p.loss_rate, q.loss_rate);
  for (int i = 1; i <= p.pattern_count; ++i) {
    const BarPattern& x = p.patterns[i];
    const BarPattern& y = q.patterns[i];
    ASSERT_EQ(x.stock_index, y.stock_index) << "pattern " << i;
    EXPECT_EQ(x.remnant, y.remnant);
    EXPECT_EQ(x.remnant_rate, y.remnant_rate);
    EXPECT_EQ(x.repeat_count, y.repeat_count);
    EXPECT_EQ(x.shortest_piece, y.shortest_piece);
    for (int j = 0; j <= kMaxEntries; ++j) ASSERT_EQ(x.piece_counts[j], y.piece_counts[j]) << j;
  }
  ASSERT_EQ(a.stock.count, b.stock.count);
  ASSERT_EQ(a.cut.count, b.cut.count);
  for (int k = 0; k <= a.stock.count; ++k) {
    EXPECT_EQ(a.stock.entries[k].length, b.stock.entries[k].length);
    EXPECT_EQ(a.stock.entries[k].quantity, b.stock.entries[k].quantity);
  }
  for (int j = 1; j <= a.cut.count; ++j) {
    EXPECT_EQ(a.cut.entries[j].length, b.cut.entries[j].length);
    EXPECT_EQ(a.cut.entries[j].quantity, b.cut.entries[j].quantity);
  }
  if (same_random_state) {
    EXPECT_EQ(a.random.State(), b.random.State());
  }
}

void CheckJob(const JobLists& job, int attempts, uint32_t seed) {
  auto fast = MakeRecords(job);
  auto ref = MakeRecords(job);
  fast->random.Seed(seed);
  ref->random.Seed(seed);
  int64_t fast_work = 0;
  int64_t ref_work = 0;
  const int a = RunSearch(*fast, {}, attempts, kWorkBudget, &fast_work);
  const int b = testing::CountedReferenceSearch(*ref, attempts, ref_work);
  ASSERT_EQ(a, b);
  ExpectSamePlans(*fast, *ref);
  // The work the limits count is the literal one, so that they end a run where it lies.
  EXPECT_EQ(fast_work, ref_work);
}

TEST(SearchEquivalence, SmallJobsAllPrecisions) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 400; ++i) {
    const JobLists job = RandomJob(rng, 6, 12);
    const int attempts[] = {10, 30, 100, 500};
    SCOPED_TRACE(i);
    CheckJob(job, attempts[i % 4], static_cast<uint32_t>(i % 3));
    if (HasFatalFailure()) return;
  }
}

TEST(SearchEquivalence, MediumJobs) {
  std::mt19937 rng(777);
  for (int i = 0; i < 60; ++i) {
    const JobLists job = RandomJob(rng, 18, 50);
    SCOPED_TRACE(i);
    CheckJob(job, i % 2 == 0 ? 30 : 100, 0);
    if (HasFatalFailure()) return;
  }
}

TEST(SearchEquivalence, FullGridJobs) {
  std::mt19937 rng(4242);
  for (int i = 0; i < 6; ++i) {
    JobLists job = RandomJob(rng, 36, 102);
    while (job.stock.size() < 36)
      job.stock.push_back({500 * (12 + static_cast<int>(job.stock.size()) % 13), 40});
    while (job.cut.size() < 102)
      job.cut.push_back({150 + 37 * static_cast<int>(job.cut.size()), 12});
    if (i % 2 == 1) {
      job.margin = 0;
      job.kerf = 0;
    }
    SCOPED_TRACE(i);
    CheckJob(job, i < 2 ? 10 : (i < 5 ? 30 : 100), 0);
    if (HasFatalFailure()) return;
  }
}

TEST(SearchEquivalence, WorkBudgetEndsTheRunAtTheDrawThatReachesIt) {
  std::mt19937 rng(99);
  for (int i = 0; i < 24; ++i) {
    const JobLists job = RandomJob(rng, 8, 24);
    auto full = MakeRecords(job);
    int64_t total = 0;
    RunSearch(*full, {}, 100, kWorkBudget, &total);
    if (total < 10) continue;  // a job no bar can take makes no draws
    for (const int64_t budget : {total / 3, total / 2, total - 1}) {
      SCOPED_TRACE(::testing::Message() << "job " << i << ", budget " << budget);
      auto cut = MakeRecords(job);
      int64_t spent = 0;
      RunSearch(*cut, {}, 100, budget, &spent);
      EXPECT_TRUE(cut->work_limit_reached);
      // A fill's closing count is never checked, so the draw after it may pass by one.
      EXPECT_GE(spent, budget);
      EXPECT_LE(spent, budget + 1);
      // The plan is the best of the attempts made, as a run of only those would find it.
      if (cut->best.pattern_count == 0 || cut->attempts_made < kMinAttempts) continue;
      auto same = MakeRecords(job);
      ASSERT_EQ(testing::ReferenceSearch(*same, cut->attempts_made), 0);
      ExpectSamePlans(*cut, *same, false);
    }
  }
}

TEST(SearchEquivalence, EdgeJobs) {
  const JobLists jobs[] = {
      {{{100, 5}}, {{15, 20}}, 20, 3, 0},                  // margin longer than pieces
      {{{100, 1}}, {{15, 30}}, 20, 3, 0},                  // runs out of bars
      {{{1000, 2}, {6000, 5}}, {{3000, 2}}, 20, 3, 5000},  // useless priority bars
      {{{6000, 1}}, {{6020, 1}}, 20, 3, 5000},             // piece longer than the bar
      {{{6000, 3}}, {{2000, 9}}, 0, 0, 0},                 // exact fits
      {{{4000, 3}, {6000, 10}}, {{1900, 6}}, 20, 3, 5000},
      {{{2, 50}}, {{2, 50}}, 0, 0, 5000},                  // tiniest lengths
      {{{6000, 5}}, {{3000, 4}}, -10, 3, 5000},            // negative margin
      {{{6000, 5}}, {{1000, 4}}, 20, -2, 5000},            // negative kerf
      {{{5, 3}, {6000, 4}}, {{1000, 3}}, -10, 3, 5000},    // a bar with no room at all
      {{{1200000, 2}}, {{1000, 3}, {2500, 2}}, 20, 3, 0},  // room left beyond the sentinel
      {{{6000, 5}}, {{10, 40}, {700, 9}}, 20, -30, 0},     // pieces that give room back
  };
  for (std::size_t i = 0; i < std::size(jobs); ++i) {
    SCOPED_TRACE(i);
    for (int attempts : {10, 100}) CheckJob(jobs[i], attempts, 0);
  }
}

}  // namespace
}  // namespace zarvel::optimiser
