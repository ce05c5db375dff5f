#include "report/report.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "base/cp932.h"
#include "cli/plan_command.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "optimiser/search.h"
#include "report/templates.h"
#include "tests/page_reader.h"
#include "tests/search_test_util.h"

namespace zarvel::report {
namespace {

using testing::PageCommands;
using testing::PageText;

// Runs the search on small lists and records the report.
class ReportTest : public ::testing::Test {
 protected:
  ReportResult Build(const testing::JobLists& job, ReportOptions options = {},
                     double unit_weight = 74.12) {
    records = testing::MakeRecords(job);
    records->conditions.unit_weight = unit_weight;
    records->conditions.year = 26;
    records->conditions.month = 12;
    records->conditions.day = 7;
    records->conditions.project_name = base::Lit("北町");
    records->conditions.member_name = base::Lit("梁");
    EXPECT_EQ(optimiser::RunSearch(*records, {}, 30), 0);
    return RebuildPages(surface, *records, options);
  }
  static int Slot(int page) { return page + drawing::kFirstReportSlot; }

  std::unique_ptr<optimiser::OptimiserRecords> records;
  RecordingSurface surface;
};

TEST(ReportTemplates, RuleAndHeaderLinesAre90Columns) {
  for (const char8_t* line : {kTableATop, kTableAHead, kTableASep, kTableAEnd, kTableBTop,
                              kTableBHead, kTableBSep, kTableBEnd})
    EXPECT_EQ(Text(line).size(), 90u) << base::Cp932ToUtf8(Text(line));
}

TEST_F(ReportTest, TotalsWithAndWithoutWeight) {
  const ReportResult r = Build({{{5500, 10}}, {{2700, 4}}});
  EXPECT_EQ(r.pages, 1);
  const std::string page = PageText(Slot(1));
  EXPECT_NE(page.find(base::Lit("素材重量=")), std::string::npos);
  EXPECT_NE(page.find("0.815"), std::string::npos);  // 11 000 mm × 74.12 kg/m = 0.81532 t
  EXPECT_NE(page.find(base::Lit("ロス率=")), std::string::npos);
  EXPECT_NE(page.find("11.000"), std::string::npos);
  EXPECT_NE(page.find("2026"), std::string::npos);

  Build({{{5500, 10}}, {{2700, 4}}}, {}, 0);
  const std::string light = PageText(Slot(1));
  EXPECT_NE(light.find(base::Lit("素材延長=")), std::string::npos);
  EXPECT_EQ(light.find(base::Lit("素材重量=")), std::string::npos);
  EXPECT_EQ(light.find(base::Lit("ロス率=")), std::string::npos);
}

TEST_F(ReportTest, SevenStockLengthsMakeTwoRows) {
  testing::JobLists job;
  for (int i = 0; i < 7; ++i) job.stock.push_back({6000 + 500 * i, 1});
  for (int i = 0; i < 7; ++i) job.cut.push_back({5990 + 500 * i, 1});
  job.priority = 0;
  Build(job);
  const auto chars = testing::DrawnChars(Slot(1));
  const std::string& times = base::Lit("×");
  const auto first = testing::FindRuns(chars, "6000" + times + "1");
  const auto seventh = testing::FindRuns(chars, "9000" + times + "1");
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(seventh.size(), 1u);
  // Six to a row: the seventh opens the second row, 2 × 2.88 mm lower, in the first column.
  EXPECT_NEAR(chars[seventh[0]].y - chars[first[0]].y, 57.6, 2);
  EXPECT_NEAR(chars[seventh[0]].x, chars[first[0]].x, 2);
}

TEST_F(ReportTest, ZeroRemnantShowsADash) {
  Build({{{5400, 2}}, {{2700, 4}}, 6, 0, 0}, {true, false});
  // Two 2700 pieces fill a 5400 bar exactly: the remnant cell holds "－".
  EXPECT_NE(PageText(Slot(1)).find(base::Lit("－")), std::string::npos);
}

TEST_F(ReportTest, SevenPieceKindsMakeATwoRowGroup) {
  testing::JobLists job{{{12000, 1}}, {}, 0, 0, 0};
  for (int i = 0; i < 7; ++i) job.cut.push_back({1000 + 100 * i, 1});
  Build(job, {true, false});
  const auto chars = testing::DrawnChars(Slot(1));
  const std::string& times = base::Lit("×");
  // In the table (after the summary's cut grid), the stock cell stands half a row pitch
  // (28.8 dots) below the first row of pieces; the sixth piece opens a second row, one pitch
  // (57.6 dots) lower.
  const auto stock = testing::FindRuns(chars, "12000" + times + "1");
  const auto first = testing::FindRuns(chars, "1000" + times + "1");
  const auto sixth = testing::FindRuns(chars, "1500" + times + "1");
  ASSERT_EQ(stock.size(), 2u);  // the summary's stock grid, then the table
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(sixth.size(), 2u);
  EXPECT_NEAR(chars[stock[1]].y - chars[first[1]].y, 28.8, 2);
  EXPECT_NEAR(chars[sixth[1]].y - chars[first[1]].y, 57.6, 2);
  EXPECT_LT(chars[sixth[1]].x, chars[first[1]].x + 1);  // back at the first column
}

TEST_F(ReportTest, TableBDrawsEveryBar) {
  Build({{{5500, 10}}, {{2700, 6}}}, {false, true});
  ASSERT_EQ(records->best.pattern_count, 1);
  ASSERT_EQ(records->best.patterns[1].repeat_count, 3);
  const auto chars = testing::DrawnChars(Slot(1));
  // "5500×3" once in the summary, then "5500" alone in each of the three row groups.
  EXPECT_EQ(testing::FindRuns(chars, "5500").size(), 4u);
  EXPECT_EQ(testing::FindRuns(chars, "5500" + base::Lit("×")).size(), 1u);
}

TEST_F(ReportTest, LongTableAContinuesWithItsHeader) {
  testing::JobLists job{{}, {}, 0, 0, 0};
  for (int i = 0; i < 60; ++i) job.stock.push_back({3000 + 10 * i, 1});
  for (int i = 0; i < 60; ++i) job.cut.push_back({3000 + 10 * i, 1});
  const ReportResult r = Build(job, {true, false});
  ASSERT_EQ(records->best.pattern_count, 60);
  EXPECT_GE(r.pages, 3);
  // Pass two starts the table on page 2; each continuation page begins with the member line,
  // then the table's top rule and header.
  for (int page = 2; page <= r.pages; ++page) {
    const std::string t = PageText(Slot(page));
    const std::size_t member = t.find(base::Lit("部材名"));
    const std::size_t head = t.find(base::Lit("素材×本数"));
    ASSERT_NE(member, std::string::npos) << page;
    ASSERT_NE(head, std::string::npos) << page;
    EXPECT_LT(member, head);
    EXPECT_EQ(t.find(base::Lit("工事名")), std::string::npos);
  }
  EXPECT_EQ(PageText(Slot(1)).find(base::Lit("素材×本数")), std::string::npos);
}

TEST_F(ReportTest, ManyBarsOfOnePatternContinueOnNewPages) {
  const ReportResult r = Build({{{5500, 200}}, {{2700, 300}}}, {false, true});
  ASSERT_EQ(records->best.patterns[1].repeat_count, 150);
  // 150 row groups of 7.2 mm cannot stand on one page: every page stays above the foot.
  EXPECT_GE(r.pages, 4);
  for (int page = 1; page <= r.pages; ++page) {
    for (const std::string& c : PageCommands(Slot(page), "text ")) {
      double x, y;
      if (std::sscanf(c.c_str(), "text %lf %lf", &x, &y) == 2) {
        EXPECT_LT(y, 2700) << page << ": " << c;
      }
    }
  }
}

// Every text of every page stands on the sheet (above its foot, 2700 dots).
void ExpectAllOnTheSheet(int pages) {
  for (int page = 1; page <= pages; ++page) {
    for (const testing::DrawnChar& c : testing::DrawnChars(page + drawing::kFirstReportSlot))
      EXPECT_LT(c.y, 2700) << "page " << page << ": " << c.chars;
  }
}

TEST_F(ReportTest, FirstRowGroupWithoutRoomStartsANewPage) {
  // 102 kinds of short pieces, two of each, all on one 25 m bar: the one pattern's row group
  // has 21 rows in either table, and the cut grid's 17 rows leave too little room below the
  // summary for it.
  testing::JobLists job{{{25000, 1}}, {}, 0, 0, 0};
  for (int i = 0; i < 102; ++i) job.cut.push_back({50 + i, 2});
  for (ReportOptions tables : {ReportOptions{true, false}, ReportOptions{false, true}}) {
    const ReportResult r = Build(job, tables);
    ASSERT_EQ(records->best.pattern_count, 1);
    EXPECT_EQ(r.pages, 2);
    ExpectAllOnTheSheet(r.pages);
    // The table begins on page 2 with its member line and header; page 1 holds the summary.
    const std::string head = base::Lit("切断パターン");  // in both tables' header lines
    EXPECT_EQ(PageText(Slot(1)).find(head), std::string::npos);
    const std::string second = PageText(Slot(2));
    ASSERT_NE(second.find(base::Lit("部材名")), std::string::npos);
    EXPECT_LT(second.find(base::Lit("部材名")), second.find(head));
    EXPECT_NE(second.find("151"), std::string::npos);  // the last piece is drawn
  }
  // A table that fits stays on the summary page.
  const ReportResult small = Build({{{5500, 10}}, {{2700, 4}}}, {true, true});
  EXPECT_EQ(small.pages, 1);
}

TEST_F(ReportTest, LongProjectNameKeepsTheDateInItsFields) {
  // A 60-byte project name does not fit the 50-column field: it is centred in that same field,
  // and year, month and day still go into their own.
  Build({{{5500, 10}}, {{2700, 4}}});
  records->conditions.project_name = std::string(30, 'P') + std::string(30, 'Q');
  RebuildPages(surface, *records, {});
  const std::vector<testing::DrawnChar> chars = testing::DrawnChars(Slot(1));
  const std::vector<std::size_t> name = testing::FindRuns(chars, std::string(30, 'P'));
  ASSERT_EQ(name.size(), 1u);
  const std::vector<std::size_t> year = testing::FindRuns(chars, "2026");
  ASSERT_EQ(year.size(), 1u);
  const double line_y = chars[year[0]].y;
  // The name, the year, the month and the day, in that order along the project line.
  std::vector<std::string> line;
  for (const testing::DrawnChar& c : chars)
    if (c.y == line_y) line.push_back(c.chars);
  std::string joined;
  for (const std::string& c : line) joined += c;
  EXPECT_NE(joined.find("2026127"), std::string::npos) << joined;
  EXPECT_LT(chars[name[0]].x, chars[year[0]].x);
}

TEST_F(ReportTest, ReportStopsAtTheLastSlot) {
  // 40 000 single bars in table B need more pages than the table holds.
  const ReportResult r = Build({{{3000, 40000}}, {{2990, 40000}}, 0, 0, 0}, {false, true});
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(r.pages, drawing::kPageSlots - 1 - drawing::kFirstReportSlot);
  EXPECT_FALSE(drawing::Recording());
  // The last page is an ordinary page, not everything else piled onto it.
  EXPECT_LE(PageCommands(Slot(r.pages)).size(), PageCommands(Slot(r.pages - 1)).size());
}

TEST_F(ReportTest, ShiftKeepsTheHeadingStyleForValues) {
  class Shift final : public optimiser::KeyState {
   public:
    bool IsKeyDown(int key) const override { return key == optimiser::kKeyShift; }
  } shift;
  Build({{{5500, 10}}, {{2700, 4}}});
  const auto normal = PageCommands(Slot(1), "font ");
  ReportOptions options;
  options.keys = &shift;
  RebuildPages(surface, *records, options);
  const auto held = PageCommands(Slot(1), "font ");
  EXPECT_NE(std::find(normal.begin(), normal.end(), "font 36 20 0 0"), normal.end());
  EXPECT_EQ(std::find(held.begin(), held.end(), "font 36 20 0 0"), held.end());
}

// Where two page listings first differ: "page P, line L" (L counted within the page) with both
// lines, or empty when they are the same.
std::string FirstDifference(const std::string& golden, const std::string& actual) {
  std::istringstream g(golden), a(actual);
  std::string gl, al;
  int page = 0, line = 0;
  while (true) {
    const bool more_g = static_cast<bool>(std::getline(g, gl));
    const bool more_a = static_cast<bool>(std::getline(a, al));
    if (!more_g && !more_a) return {};
    if (more_a && al.rfind("page ", 0) == 0) {
      ++page;
      line = 0;
    } else {
      ++line;
    }
    if (more_g != more_a || gl != al) {
      return "page " + std::to_string(page) + ", line " + std::to_string(line) +
             ":\n  golden: " + (more_g ? gl : "(end)") + "\n  now:    " + (more_a ? al : "(end)");
    }
  }
}

TEST(ReportGolden, FirstDifferenceNamesPageAndLine) {
  EXPECT_EQ(FirstDifference("page 1\na\npage 2\nb\n", "page 1\na\npage 2\nb\n"), "");
  EXPECT_EQ(FirstDifference("page 1\na\npage 2\nb\nc\n", "page 1\na\npage 2\nb\nx\n"),
            "page 2, line 2:\n  golden: c\n  now:    x");
  EXPECT_EQ(FirstDifference("page 1\na\n", "page 1\na\npage 2\n"),
            "page 2, line 0:\n  golden: (end)\n  now:    page 2");
}

// The pages of the example job, compared with the checked-in listings: they pin today's pages,
// so any change to what a page records shows here. Set ZARVEL5_UPDATE_GOLDEN=1 to write them
// anew after a deliberate change (and review the diff of tests/data/pages/ before committing).
TEST(ReportGolden, ExamplePages) {
  const bool update = std::getenv("ZARVEL5_UPDATE_GOLDEN") != nullptr;
  for (const char* tables : {"none", "A", "B", "AB"}) {
    std::ostringstream out, err;
    ASSERT_EQ(
        cli::RunPagesCommand(
            {ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5", "--tables", tables}, out, err),
        cli::kExitPlanned)
        << err.str();
    const std::string path =
        std::string(ZARVEL5_SOURCE_DIR "/tests/data/pages/kitamachi_") + tables + ".txt";
    std::ifstream in(path, std::ios::binary);
    std::stringstream golden;
    golden << in.rdbuf();
    const std::string difference = FirstDifference(golden.str(), out.str());
    if (update) {
      if (!difference.empty()) {
        std::ofstream(path, std::ios::binary) << out.str();
        std::cout << "rewrote " << path << " (first change at " << difference << ")\n";
      } else {
        std::cout << "unchanged " << path << "\n";
      }
      continue;
    }
    EXPECT_TRUE(difference.empty()) << path << " differs at " << difference;
  }
}

}  // namespace
}  // namespace zarvel::report
