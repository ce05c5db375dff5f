#include "run/run_command.h"

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "optimiser/search.h"
#include "run/cell_check.h"
#include "tests/fakes.h"
#include "tests/reference_search.h"

namespace zarvel::run {
using namespace zarvel::optimiser;
namespace {

using testing::FakeForm;
using testing::FakeHost;

class RunCommandTest : public ::testing::Test {
 protected:
  std::unique_ptr<OptimiserRecords> records = std::make_unique<OptimiserRecords>();
  FakeForm form;
  FakeHost host;

  RunOutcome Run(bool user = true) { return RunCommand(*records, form, host.Host(), user); }
};

TEST_F(RunCommandTest, ReadsTheConditions) {
  form.Set(JobField::kProjectName, base::Lit("  ○○ビル新築工事 "));
  form.Set(JobField::kKerf, " 3.9");
  form.Set(JobField::kMargin, "-7.9");
  form.Set(JobField::kPriorityLength, "99999999999");
  ReadConditions(records->conditions, form);
  const Conditions& c = records->conditions;
  EXPECT_EQ(c.year, 18);
  EXPECT_EQ(c.month, 10);
  EXPECT_EQ(c.day, 12);
  EXPECT_EQ(c.project_name, base::Lit("○○ビル新築工事"));
  EXPECT_EQ(c.member_name, base::Lit("<部材名>"));
  EXPECT_DOUBLE_EQ(c.unit_weight, 74.12);
  EXPECT_EQ(c.kerf, 3);  // truncated toward zero
  EXPECT_EQ(c.margin, -7);
  EXPECT_EQ(c.priority_length, INT32_MAX);  // saturated, not wrapped
}

TEST_F(RunCommandTest, EmptyListsAreReportedOnlyWhenTheUserRuns) {
  EXPECT_EQ(Run(), RunOutcome::kNoStock);
  FakeForm::Fill(form.stock, {"6000.2"});
  EXPECT_EQ(Run(), RunOutcome::kNoCut);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0], base::Lit("[#×]素材が未入力です。"));
  EXPECT_EQ(host.messages[1], base::Lit("[#×]切断材が未入力です。"));

  EXPECT_EQ(Run(false), RunOutcome::kNoCut);
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_TRUE(host.preview_captions.empty());
  EXPECT_EQ(host.preview_closes, 3);
}

TEST_F(RunCommandTest, SuccessfulRunOpensThePreview) {
  FakeForm::Fill(form.stock, {"5500.10"});
  FakeForm::Fill(form.cut, {"2700.4"});
  EXPECT_EQ(Run(), RunOutcome::kPlanned);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(host.busy);
  ASSERT_EQ(host.preview_captions.size(), 1u);
  EXPECT_EQ(host.preview_captions[0], base::Lit("棒材Zarvel５ (2025.04.01版) 印刷プレビュー"));
  EXPECT_EQ(records->best.pattern_count, 1);
  EXPECT_EQ(host.progress.back(), "(100)   1.709 %");
  EXPECT_EQ(host.progress.size(), 101u);  // 中 is the default precision
}

TEST_F(RunCommandTest, CellsThatReadOtherThanTheyLookAreNamed) {
  for (const char* plain : {" 5500.  3", "5500", "5500.", "６０００.１０"})
    EXPECT_FALSE(ReadsOtherThanItLooks(base::Utf8ToCp932(plain))) << plain;
  for (const char* odd : {"6000,10", "1850*24", "1850x24", "1850.2.4", ".5", "６０００．１０"})
    EXPECT_TRUE(ReadsOtherThanItLooks(base::Utf8ToCp932(odd))) << odd;
  FakeForm::Fill(form.stock, {"6000,10", "45000.2", "5500.3"});
  FakeForm::Fill(form.cut, {"1850*24", "x2400.3", "2700.4"});  // x2400.3 reads as nothing
  const std::vector<std::string> expected = {
      base::Lit("素材リスト  6000,10 → 600010 × 1 本"),
      base::Lit("素材リスト  45000.2 → 45000 × 2 本 (40000 ㎜を超える素材長)"),
      base::Lit("切断リスト  1850*24 → 1850 × 1 本")};
  EXPECT_EQ(DoubtfulCells(form), expected);
  // Re-laid out in canonical form, the cells are still named: their texts were noted.
  RelayoutGrids(*records, form);
  EXPECT_EQ(form.stock.Cell(1, 3), "600010.  1");
  EXPECT_EQ(DoubtfulCells(form), expected);
  // A note goes once no cell reads as it did.
  form.cut.SetCell(1, 1, " 1850. 24");
  EXPECT_EQ(DoubtfulCells(form).size(), 2u);
}

TEST_F(RunCommandTest, ShortJobSaysWhatToAddAtEveryPrecision) {
  for (const int precision : {0, 1, 2, kPrecisionOptimal}) {
    SCOPED_TRACE(precision);
    host = FakeHost();
    form.precision = precision;
    FakeForm::Fill(form.stock, {"6000.1"});
    FakeForm::Fill(form.cut, {"5000.2"});
    EXPECT_EQ(Run(), RunOutcome::kShort);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], base::Lit("[#×]素材数不足か素材長が足りないため、Zarvel不能です。\n"
                                          "不足: 6000 × 1 本 を追加すれば計画できます"));
    EXPECT_TRUE(host.busy_at_message[0]);  // the hourglass goes after the message
    EXPECT_FALSE(host.busy);
    EXPECT_TRUE(host.preview_captions.empty());
    EXPECT_EQ(host.progress.back(), "(100) 999.000 %");
    EXPECT_EQ(records->shortage, (std::vector<StockBarsUsed>{{6000, 1}}));
    ASSERT_NE(records->with_shortage, nullptr);
    EXPECT_EQ(StockUsed(*records->with_shortage), (std::vector<StockBarsUsed>{{6000, 2}}));
  }
}

TEST(OptimalEffort, FallsAsTheSearchGrowsHeavy) {
  const std::pair<int64_t, double> cases[] = {{0, 1.0},
                                              {kHeavySearchDraws, 1.0},
                                              {2 * kHeavySearchDraws, 0.5},
                                              {8 * kHeavySearchDraws, 0.125}};
  for (const auto& [draws, effort] : cases) EXPECT_DOUBLE_EQ(OptimalEffort(draws), effort) << draws;
}

TEST_F(RunCommandTest, APieceNoBarHoldsIsNamed) {
  // 3020 mm fits a 3000 mm bar with the 20 mm margin; 3021 mm fits none, whatever is added.
  FakeForm::Fill(form.stock, {"3000.1"});
  FakeForm::Fill(form.cut, {"3020.1"});
  EXPECT_EQ(Run(), RunOutcome::kPlanned);
  FakeForm::Fill(form.cut, {"3020.1", "3021.1"});
  EXPECT_EQ(Run(), RunOutcome::kInfeasible);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0],
            base::Lit("[#×]素材数不足か素材長が足りないため、Zarvel不能です。\n3021 mm "
                      "の切断材を取れる素材がありません (最長の素材 3000 mm、素材の余裕 20 mm)"));
  EXPECT_TRUE(records->shortage.empty());
  EXPECT_EQ(records->with_shortage, nullptr);
}

TEST_F(RunCommandTest, GridsAreRewrittenSortedAndPacked) {
  form.vertical = false;
  form.cut.SetCell(4, 9, "3000.2");
  form.cut.SetCell(1, 2, "900");
  form.stock.SetCell(2, 5, "6000.3");
  Run();
  EXPECT_EQ(form.cut.Cell(1, 1), "  900.  1");
  EXPECT_EQ(form.cut.Cell(2, 1), " 3000.  2");
  EXPECT_EQ(form.cut.Cell(4, 9), "");
  EXPECT_EQ(form.stock.Cell(1, 1), " 6000.  3");
}

TEST_F(RunCommandTest, AltContinuesTheGenerator) {
  FakeForm::Fill(form.stock, {"6000.20", "5500.20", "4500.10"});
  FakeForm::Fill(form.cut, {"2700.4", "1900.5", "800.7", "1234.3", "455.9", "3100.2"});
  form.precision = 0;
  ASSERT_EQ(Run(), RunOutcome::kPlanned);
  const uint64_t after_first = records->random.State();

  // Without Alt, the same plan again.
  auto again = std::make_unique<OptimiserRecords>();
  ASSERT_EQ(RunCommand(*again, form, host.Host(), true), RunOutcome::kPlanned);
  EXPECT_EQ(again->random.State(), after_first);

  // With Alt, the run goes on from where the generator stood.
  auto expected = std::make_unique<OptimiserRecords>();
  *expected = *records;
  expected->random = records->random;
  ASSERT_EQ(testing::ReferenceSearch(*expected, 30), 0);
  host.keys_down = {kKeyAlt};
  ASSERT_EQ(Run(), RunOutcome::kPlanned);
  EXPECT_NE(after_first, records->random.State());
  EXPECT_EQ(records->random.State(), expected->random.State());
  EXPECT_EQ(records->best.stock_length, expected->best.stock_length);
}

TEST_F(RunCommandTest, PrecisionChoosesTheAttempts) {
  FakeForm::Fill(form.stock, {"5500.10"});
  FakeForm::Fill(form.cut, {"2700.4"});
  for (auto [item, attempts] : {std::pair{0, 30}, std::pair{1, 100}, std::pair{2, 500}}) {
    form.precision = item;
    host.progress.clear();
    ASSERT_EQ(Run(), RunOutcome::kPlanned);
    EXPECT_EQ(host.progress.size(), static_cast<std::size_t>(attempts) + 1);
  }
}

}  // namespace
}  // namespace zarvel::run
