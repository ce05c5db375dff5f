#include "optimiser/search.h"

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "base/format.h"
#include "tests/fakes.h"
#include "tests/search_test_util.h"

namespace zarvel::optimiser {
namespace {

using testing::FakeHost;
using testing::JobLists;
using testing::MakeRecords;
using testing::PiecesCut;
using testing::PiecesOnBar;

TEST(RandomGenerator, KnownOutputsAfterSeedingWithZero) {
  RandomGenerator g;
  g.Seed(0);
  EXPECT_EQ(g.State(), 1u);
  const uint32_t expected[] = {346, 13854878, 1621890440, 816282396, 1778554774};
  for (uint32_t e : expected) EXPECT_EQ(g.Next(), e);

  g.Seed(0);
  const uint32_t modulo[] = {346, 55016, 6659, 90558, 72559};
  for (uint32_t e : modulo) EXPECT_EQ(g.Random(99999), e);

  g.Seed(0);
  EXPECT_EQ(g.Random(99999) % 3 + 1, 2u);  // first fill over three cut entries starts at 2
  EXPECT_EQ(g.Random(0), 0u);
}

TEST(RandomGenerator, SeedUsesOnlyTheLow32Bits) {
  RandomGenerator g;
  g.Seed(1);
  EXPECT_EQ(g.State(), 22695478u);
  g.Seed(0xFFFFFFFFu);
  EXPECT_EQ(g.State(), static_cast<uint32_t>(0xFFFFFFFFu * 22695477u + 1u));
}

TEST(BarFill, WorkedFirstFill) {
  auto r = MakeRecords({{{6000, 2}}, {{2000, 3}, {1500, 2}}});
  r->cut.SortByLength();
  for (int j = 1; j <= r->cut.count; ++j) r->cut.entries[j].remaining = r->cut.entries[j].quantity;
  r->stock.entries[1].remaining = 2;

  const BarPattern bar = BestBarFill(*r, 1, 1);
  EXPECT_EQ(bar.stock_index, 1);
  EXPECT_EQ(bar.piece_counts[1], 2);  // 1500
  EXPECT_EQ(bar.piece_counts[2], 1);  // 2000
  EXPECT_EQ(bar.remnant, 991);
  EXPECT_EQ(base::Format("%.3f", bar.remnant_rate), "16.517");
  // The fill drew exactly three numbers: the fourth output is next.
  EXPECT_EQ(r->random.Random(99999), 90558u);
}

TEST(BarFill, BarHoldsUpToItsLengthPlusMarginAndNoMore) {
  // Pieces of 15 with kerf 3 on a 100 mm bar, margin 20: six fit (5 × 18 + 15 = 105 <= 120,
  // 6 × 18 + 15 = 123 > 120), however many remain to be cut.
  auto r = MakeRecords({{{100, 5}}, {{15, 20}}, 20, 3, 0});
  r->cut.entries[1].remaining = 20;
  r->stock.entries[1].remaining = 5;
  const BarPattern bar = BestBarFill(*r, 1, 50);
  EXPECT_EQ(bar.piece_counts[1], 6);
  EXPECT_EQ(bar.remnant, 0);
}

TEST(BarFill, PieceUpToTheMarginLongerThanTheBarFits) {
  auto r = MakeRecords({{{6000, 1}}, {{6020, 1}}});
  ASSERT_EQ(RunSearch(*r, {}, 30), 0);
  ASSERT_EQ(r->best.pattern_count, 1);
  EXPECT_EQ(r->best.patterns[1].piece_counts[1], 1);
  EXPECT_EQ(r->best.patterns[1].remnant, 0);

  auto too_long = MakeRecords({{{6000, 1}}, {{6021, 1}}});
  EXPECT_EQ(RunSearch(*too_long, {}, 30), 1);
}

TEST(Search, TwoPiecesPerBar) {
  auto r = MakeRecords({{{5500, 10}}, {{2700, 4}}});
  ASSERT_EQ(RunSearch(*r, {}, 100), 0);
  const CuttingPlan& plan = r->best;
  ASSERT_EQ(plan.pattern_count, 1);
  EXPECT_EQ(plan.patterns[1].stock_index, 1);
  EXPECT_EQ(plan.patterns[1].piece_counts[1], 2);
  EXPECT_EQ(plan.patterns[1].repeat_count, 2);
  EXPECT_EQ(plan.patterns[1].remnant, 94);
  EXPECT_EQ(plan.patterns[1].shortest_piece, 2700);
  EXPECT_EQ(plan.stock_length, 11000);
  EXPECT_EQ(plan.required_length, 10800);
  EXPECT_EQ(plan.remnant_length, 188);
  EXPECT_EQ(base::Format("%.6f", plan.remnant_rate), "1.709091");
  EXPECT_EQ(base::Format("%.6f", plan.loss_rate), "1.851852");
}

TEST(Search, PriorityStockIsUsedFirst) {
  auto r = MakeRecords({{{6000, 10}, {4000, 3}}, {{1900, 6}}});
  ASSERT_EQ(RunSearch(*r, {}, 100), 0);
  const CuttingPlan& plan = r->best;
  ASSERT_EQ(plan.pattern_count, 1);
  EXPECT_EQ(r->stock.entries[plan.patterns[1].stock_index].length, 4000);
  EXPECT_EQ(plan.patterns[1].piece_counts[1], 2);
  EXPECT_EQ(plan.patterns[1].remnant, 194);
  EXPECT_EQ(plan.patterns[1].repeat_count, 3);
}

TEST(Search, PriorityBarThatTakesNoPieceIsNotScrapped) {
  // The 1000 mm bars are priority stock but too short for any piece: the step falls through
  // to the ordinary scan instead of putting them into the plan empty.
  auto r = MakeRecords({{{1000, 2}, {6000, 5}}, {{3000, 2}}});
  ASSERT_EQ(RunSearch(*r, {}, 30), 0);
  const CuttingPlan& plan = r->best;
  ASSERT_EQ(plan.pattern_count, 1);
  EXPECT_EQ(r->stock.entries[plan.patterns[1].stock_index].length, 6000);
  EXPECT_EQ(plan.patterns[1].piece_counts[1], 2);
  EXPECT_EQ(plan.patterns[1].repeat_count, 1);
}

TEST(Search, TooLittleStockFails) {
  auto r = MakeRecords({{{6000, 1}}, {{5000, 2}}});
  EXPECT_EQ(RunSearch(*r, {}, 30), 1);
  EXPECT_EQ(r->best.pattern_count, 0);
}

TEST(Search, RunningOutOfBarsWithShortPiecesFailsWithoutLooping) {
  // The margin is longer than every piece, so the "longest bar + margin" test passes even when
  // no bar is left; the attempt must still fail.
  auto r = MakeRecords({{{100, 1}}, {{15, 30}}, 20, 3, 0});
  EXPECT_EQ(RunSearch(*r, {}, 30), 1);
}

TEST(Search, EqualLengthsAreMergedBeforeTheSearch) {
  auto r = MakeRecords({{{3000, 2}, {6000, 1}, {3000, 5}}, {{1000, 2}, {1000, 1}}});
  ASSERT_EQ(RunSearch(*r, {}, 10), 0);
  ASSERT_EQ(r->stock.count, 2);
  EXPECT_EQ(r->stock.entries[1].length, 3000);
  EXPECT_EQ(r->stock.entries[1].quantity, 7);
  ASSERT_EQ(r->cut.count, 1);
  EXPECT_EQ(r->cut.entries[1].quantity, 3);
  EXPECT_EQ(r->best.required_length, 3000);
}

TEST(Search, MergingHugeQuantitiesSaturates) {
  auto r = MakeRecords({{{3000, INT32_MAX}, {3000, INT32_MAX}}, {{1000, 1}}});
  r->stock.MergeEqualLengths();
  EXPECT_EQ(r->stock.entries[1].quantity, INT32_MAX);
}

TEST(Search, PlanKeepsDemandAndStockAndIsOrdered) {
  JobLists job{{{6000, 4}, {5500, 3}, {4000, 5}, {9000, 10}},
               {{2700, 7}, {1900, 9}, {800, 13}, {3150, 4}, {450, 20}, {5200, 2}}};
  auto r = MakeRecords(job);
  ASSERT_EQ(RunSearch(*r, {}, 100), 0);
  const CuttingPlan& plan = r->best;
  for (int j = 1; j <= r->cut.count; ++j) EXPECT_EQ(PiecesCut(plan, j), r->cut.entries[j].quantity);
  for (int k = 1; k <= r->stock.count; ++k) {
    long used = 0;
    for (int p = 1; p <= plan.pattern_count; ++p)
      if (plan.patterns[p].stock_index == k) used += plan.patterns[p].repeat_count;
    EXPECT_LE(used, r->stock.entries[k].quantity);
  }
  double stock = 0, remnant = 0;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const BarPattern& b = plan.patterns[p];
    const int length = r->stock.entries[b.stock_index].length;
    stock += double{1} * length * b.repeat_count;
    remnant += b.remnant * b.repeat_count;
    // Lengths and kerfs on one bar stay within the bar plus margin.
    long used = 0;
    for (int j = 1; j <= r->cut.count; ++j)
      used += long{b.piece_counts[j]} * (r->cut.entries[j].length + job.kerf);
    EXPECT_LE(used - job.kerf, length + job.margin);
    EXPECT_EQ(b.remnant, std::max<long>(length - used, 0));
    if (p > 1) {
      const BarPattern& a = plan.patterns[p - 1];
      const int prev_length = r->stock.entries[a.stock_index].length;
      ASSERT_LE(prev_length, length);
      if (prev_length == length) {
        ASSERT_LE(a.shortest_piece, b.shortest_piece);
        if (a.shortest_piece == b.shortest_piece) {
          EXPECT_GE(a.repeat_count, b.repeat_count);
        }
      }
    }
  }
  EXPECT_EQ(plan.stock_length, stock);
  EXPECT_DOUBLE_EQ(plan.remnant_length, remnant);
}

TEST(Search, SameJobSamePlan) {
  JobLists job{{{6000, 5}, {5500, 5}}, {{2700, 3}, {1900, 4}, {800, 6}}};
  auto a = MakeRecords(job);
  auto b = MakeRecords(job);
  ASSERT_EQ(RunSearch(*a, {}, 100), 0);
  ASSERT_EQ(RunSearch(*b, {}, 100), 0);
  ASSERT_EQ(a->best.pattern_count, b->best.pattern_count);
  for (int p = 1; p <= a->best.pattern_count; ++p) {
    EXPECT_EQ(a->best.patterns[p].stock_index, b->best.patterns[p].stock_index);
    EXPECT_EQ(a->best.patterns[p].repeat_count, b->best.patterns[p].repeat_count);
    for (int j = 1; j <= 3; ++j)
      EXPECT_EQ(a->best.patterns[p].piece_counts[j], b->best.patterns[p].piece_counts[j]);
  }
  EXPECT_EQ(a->random.State(), b->random.State());
}

TEST(Search, AttemptCountsAndClamping) {
  EXPECT_EQ(AttemptsForPrecision(0), 30);
  EXPECT_EQ(AttemptsForPrecision(1), 100);
  EXPECT_EQ(AttemptsForPrecision(2), 500);
  EXPECT_EQ(AttemptsForPrecision(7), 500);

  // Each valid attempt reports once; the count is clamped into 10..2000.
  for (auto [asked, done] : {std::pair{3, 10}, std::pair{30, 30}, std::pair{5000, 2000}}) {
    auto r = MakeRecords({{{5500, 10}}, {{2700, 4}}});
    FakeHost host;
    ASSERT_EQ(RunSearch(*r, {&host, nullptr, nullptr}, asked), 0);
    EXPECT_EQ(host.progress.size(), static_cast<std::size_t>(done) + 1) << asked;
  }
}

TEST(Search, ProgressTextsAndPauses) {
  auto r = MakeRecords({{{5500, 10}}, {{2700, 4}}});
  FakeHost host;
  ASSERT_EQ(RunSearch(*r, {&host, &host, &host}, 100), 0);
  ASSERT_EQ(host.progress.size(), 101u);
  EXPECT_EQ(host.progress[0], base::Lit("(  1)   1.709 %\n[Shift]キーで中止"));
  EXPECT_EQ(host.progress[49], base::Lit("( 50)   1.709 %\n[Shift]キーで中止"));
  EXPECT_EQ(host.progress[100], "(100)   1.709 %");
  EXPECT_EQ(host.pauses, (std::vector<int>{100, 100}));
}

TEST(Search, FailedSearchShowsTheSentinelRate) {
  auto r = MakeRecords({{{6000, 1}}, {{5000, 2}}});
  FakeHost host;
  EXPECT_EQ(RunSearch(*r, {&host, &host, &host}, 30), 1);
  ASSERT_EQ(host.progress.size(), 1u);  // invalid attempts report nothing
  EXPECT_EQ(host.progress[0], "(100) 999.000 %");
}

TEST(Search, ShiftStopsOnlyAfterAttempt50) {
  for (auto [attempts, expected] : {std::pair{30, 30}, std::pair{100, 51}, std::pair{500, 51}}) {
    auto r = MakeRecords({{{5500, 10}}, {{2700, 4}}});
    FakeHost host;
    host.keys_down = {kKeyShift};
    ASSERT_EQ(RunSearch(*r, {&host, &host, nullptr}, attempts), 0);
    EXPECT_EQ(host.progress.size(), static_cast<std::size_t>(expected) + 1) << attempts;
    EXPECT_EQ(host.progress.back(), "(100)   1.709 %");
  }
}

}  // namespace
}  // namespace zarvel::optimiser
