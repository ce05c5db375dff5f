#include "report/diagram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "base/cp932.h"
#include "cli/plan_command.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "job/job_file.h"
#include "optimiser/search.h"
#include "report/plan_csv.h"
#include "report/report.h"
#include "tests/page_reader.h"
#include "tests/search_test_util.h"
#include "tests/temp_dir.h"

namespace zarvel::report {
namespace {

using testing::DrawnChars;
using testing::PageCommands;
using testing::PageText;

constexpr double kDots = 10;  // recording dots per sheet mm
constexpr double kSnap = 2;   // lines and text cells snap to within two dots

int Slot(int page) {
  return page + drawing::kFirstReportSlot;
}

struct Point {
  double x = 0;
  double y = 0;
};

// The end points of the lines drawn while the pen had `colour`.
std::vector<Point> LinePoints(int slot, const std::string& colour) {
  std::vector<Point> points;
  std::string current = "0x000000";
  for (const std::string& c : PageCommands(slot)) {
    if (c.rfind("pen-colour ", 0) == 0) current = c.substr(11);
    Point p;
    if (current == colour && std::sscanf(c.c_str(), "line %lf %lf", &p.x, &p.y) == 2)
      points.push_back(p);
  }
  return points;
}

// The characters drawn from the diagram section's title on (the summary comes before it).
std::vector<testing::DrawnChar> DiagramChars(int slot) {
  auto chars = DrawnChars(slot);
  const auto title = testing::FindRuns(chars, base::Lit("≪切断図≫"));
  EXPECT_FALSE(title.empty());
  if (!title.empty()) chars.erase(chars.begin(), chars.begin() + static_cast<long>(title[0]));
  return chars;
}

class DiagramTest : public ::testing::Test {
 protected:
  ReportResult Build(const testing::JobLists& job, ReportOptions options = {false, false, true}) {
    records = testing::MakeRecords(job);
    records->conditions.member_name = base::Lit("梁");
    EXPECT_EQ(optimiser::RunSearch(*records, {}, 30), 0);
    return RebuildPages(surface, *records, options);
  }

  std::unique_ptr<optimiser::OptimiserRecords> records;
  RecordingSurface surface;
};

TEST_F(DiagramTest, BarLayoutFollowsTheKerfsAndTheMargin) {
  Build({{{5500, 10}}, {{2700, 4}}});
  BarLayout bar = LayOutBar(*records, records->best.patterns[1]);
  ASSERT_EQ(bar.pieces.size(), 2u);
  EXPECT_EQ(bar.pieces[1].start, 2703);  // one kerf after the first piece
  EXPECT_EQ(bar.used, 5406);
  EXPECT_EQ(bar.remnant, 94);
  EXPECT_EQ(bar.overhang, 0);
  EXPECT_EQ(bar.Extent(), 5500);

  // A piece 15 mm longer than its bar uses the margin: the drawing runs past the bar's end.
  Build({{{2980, 4}}, {{2995, 1}}});
  bar = LayOutBar(*records, records->best.patterns[1]);
  EXPECT_EQ(bar.overhang, 15);
  EXPECT_EQ(bar.Extent(), 2995);
  EXPECT_EQ(bar.remnant, 0);
}

TEST_F(DiagramTest, SmallPlanIsDrawnToScale) {
  const ReportResult r = Build({{{5500, 10}}, {{2700, 4}}});
  ASSERT_EQ(r.pages, 1);
  ASSERT_EQ(records->best.pattern_count, 1);
  const double s = kDiagramBarRoom / 5500;  // the only bar spans the room for bars
  const auto chars = DiagramChars(Slot(1));
  const double char_w = 3.6 * 0.58;  // the value style's column

  // Each piece's length stands centred in its box: the first from 0, the second after a kerf.
  const auto pieces = testing::FindRuns(chars, "2700");
  ASSERT_EQ(pieces.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const double centre = kDiagramBarLeft + (i * 2703 + 1350) * s;
    EXPECT_NEAR(chars[pieces[i]].x, (centre - 2 * char_w) * kDots, kSnap) << i;
  }
  EXPECT_NEAR(chars[pieces[0]].y, chars[pieces[1]].y, 0.1);

  // "素材長 × 本数" beside the bar, ending before it; the remnant's length after its end.
  const auto label = testing::FindRuns(chars, "5500" + base::Lit("×") + "2");
  ASSERT_EQ(label.size(), 1u);
  EXPECT_LT(chars[label[0]].x, kDiagramBarLeft * kDots);
  const auto rest = testing::FindRuns(chars, base::Lit("残") + "94");
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_NEAR(chars[rest[0]].x, (kDiagramBarLeft + 5500 * s + 1.5) * kDots, kSnap);

  // The bar's outline spans the room for bars.
  const auto black = LinePoints(Slot(1), "0x000000");
  auto has_x = [&](double x) {
    return std::any_of(black.begin(), black.end(),
                       [&](const Point& p) { return std::abs(p.x - x) <= kSnap; });
  };
  EXPECT_TRUE(has_x((kDiagramBarLeft + kDiagramBarRoom) * kDots));
  // The kerfs: thin lines in the middle of each kerf.
  EXPECT_TRUE(has_x((kDiagramBarLeft + 2701.5 * s) * kDots));
  EXPECT_TRUE(has_x((kDiagramBarLeft + 5404.5 * s) * kDots));

  // The remnant is hatched in grey, inside its own stretch of the bar and nowhere else.
  const auto grey = LinePoints(Slot(1), "0x909090");
  ASSERT_FALSE(grey.empty());
  for (const Point& p : grey) {
    EXPECT_GE(p.x, (kDiagramBarLeft + 5406 * s) * kDots - kSnap);
    EXPECT_LE(p.x, (kDiagramBarLeft + 5500 * s) * kDots + kSnap);
  }
}

TEST_F(DiagramTest, NarrowPiecesAreWrittenSmallerRotatedOrInANote) {
  Build({{{12000, 1}}, {{10500, 1}, {300, 1}, {40, 2}}, 20, 3, 0});
  ASSERT_EQ(records->best.pattern_count, 1);
  const std::string page = PageText(Slot(1));
  // 40 mm is 0.4 mm at this scale: marked "*" under its box and listed, left to right, below.
  EXPECT_NE(page.find(base::Lit("＊印の長さ（左から）：40×2")), std::string::npos);
  const auto chars = DiagramChars(Slot(1));
  EXPECT_EQ(testing::FindRuns(chars, "*").size(), 2u);
  // 300 mm (3.2 mm) is written across the bar, turned by 90 degrees: its characters stand
  // one above the other.
  const auto fonts = PageCommands(Slot(1), "font ");
  EXPECT_TRUE(std::any_of(fonts.begin(), fonts.end(), [](const std::string& f) {
    return f.find(" 900 ") != std::string::npos;
  }));
  bool upright = false;
  for (std::size_t i : testing::FindRuns(chars, "300"))
    upright |= std::abs(chars[i + 2].x - chars[i].x) < 3 && chars[i + 2].y < chars[i].y - 10;
  EXPECT_TRUE(upright);
  EXPECT_EQ(testing::FindRuns(chars, "10500").size(), 1u);

  // The labels chosen follow the room at the scale.
  const BarLayout bar = LayOutBar(*records, records->best.patterns[1]);
  const std::vector<PieceLabel> labels = PieceLabels(bar, DiagramScale(bar.Extent()));
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(labels[0], PieceLabel::kNote);
  EXPECT_EQ(labels[1], PieceLabel::kNote);
  EXPECT_EQ(labels[2], PieceLabel::kRotated);
  EXPECT_EQ(labels[3], PieceLabel::kNormal);
  // Drawn at twice the size, 300 mm has room to be written across; 40 mm still does not.
  const std::vector<PieceLabel> wider = PieceLabels(bar, 2 * DiagramScale(bar.Extent()));
  EXPECT_EQ(wider[2], PieceLabel::kSmall);
  EXPECT_EQ(NarrowPieceNote(bar, 100 * DiagramScale(bar.Extent())).size(), 0u);
}

TEST_F(DiagramTest, MarginUsedIsShownBeyondTheBar) {
  Build({{{2980, 4}}, {{2995, 1}}});
  const std::string page = PageText(Slot(1));
  EXPECT_NE(page.find(base::Lit("余裕+15")), std::string::npos);
  EXPECT_TRUE(testing::FindRuns(DiagramChars(Slot(1)), base::Lit("残")).empty());
  // Dashed: many short strokes beyond the bar's end.
  const double end = (kDiagramBarLeft + kDiagramBarRoom * 2980 / 2995) * kDots;
  const auto black = LinePoints(Slot(1), "0x000000");
  EXPECT_GE(
      std::count_if(black.begin(), black.end(), [&](const Point& p) { return p.x > end + 1; }), 2);
}

// "No.n" runs on a page, in drawing order.
std::vector<int> PatternNumbers(int slot) {
  std::vector<int> numbers;
  const auto chars = DrawnChars(slot);
  for (std::size_t i : testing::FindRuns(chars, "No.")) {
    int n = 0;
    for (std::size_t k = i + 3;
         k < chars.size() && chars[k].chars.size() == 1 &&
         std::isdigit(static_cast<unsigned char>(chars[k].chars[0])) && chars[k].y == chars[i].y;
         ++k)
      n = n * 10 + (chars[k].chars[0] - '0');
    numbers.push_back(n);
  }
  return numbers;
}

TEST_F(DiagramTest, DiagramsContinueOnNewPagesWithTheirHeader) {
  testing::JobLists job{{}, {}, 0, 0, 0};
  for (int i = 0; i < 60; ++i) job.stock.push_back({3000 + 10 * i, 1});
  for (int i = 0; i < 60; ++i) job.cut.push_back({3000 + 10 * i, 1});
  const ReportResult r = Build(job);
  ASSERT_EQ(records->best.pattern_count, 60);
  EXPECT_GE(r.pages, 4);
  std::vector<int> all;
  for (int page = 1; page <= r.pages; ++page) {
    const std::vector<int> numbers = PatternNumbers(Slot(page));
    all.insert(all.end(), numbers.begin(), numbers.end());
    // Nothing runs past the page foot.
    for (const std::string& c : PageCommands(Slot(page))) {
      double x, y;
      if (std::sscanf(c.c_str(), "text %lf %lf", &x, &y) == 2 ||
          std::sscanf(c.c_str(), "line %lf %lf", &x, &y) == 2) {
        EXPECT_LT(y, 2700) << page << ": " << c;
      }
    }
    if (page == 1) continue;
    // Each page of diagrams opens with the member line, then the section's title.
    const std::string t = PageText(Slot(page));
    const std::size_t member = t.find(base::Lit("部材名"));
    const std::size_t title = t.find(base::Lit("≪切断図≫"));
    ASSERT_NE(member, std::string::npos) << page;
    ASSERT_NE(title, std::string::npos) << page;
    EXPECT_LT(member, title);
  }
  // Every pattern once, in plan order.
  std::vector<int> expected(60);
  for (int i = 0; i < 60; ++i) expected[static_cast<std::size_t>(i)] = i + 1;
  EXPECT_EQ(all, expected);
  // The summary's cut grid leaves too little room: the section moves to page 2 as a whole.
  EXPECT_EQ(PageText(Slot(1)).find(base::Lit("≪切断図≫")), std::string::npos);
}

TEST_F(DiagramTest, EachPageHasItsOwnScale) {
  // Thirty short bars, then thirty long ones: on a page of short bars the longest of them spans
  // the room for bars, as the longest bar does on a page of long ones.
  testing::JobLists job{{}, {}, 0, 0, 0};
  for (int i = 0; i < 30; ++i) job.stock.push_back({2000 + 10 * i, 1});
  for (int i = 0; i < 30; ++i) job.cut.push_back({1995 + 10 * i, 1});
  for (int i = 0; i < 30; ++i) job.stock.push_back({12000 + 10 * i, 1});
  for (int i = 0; i < 30; ++i) job.cut.push_back({11995 + 10 * i, 1});
  const ReportResult r = Build(job);
  ASSERT_EQ(records->best.pattern_count, 60);
  int short_pages = 0;
  for (int page = 1; page <= r.pages; ++page) {
    const std::string t = PageText(Slot(page));
    if (t.find(base::Lit("≪切断図≫")) == std::string::npos) continue;
    const std::vector<int> numbers = PatternNumbers(Slot(page));
    if (!numbers.empty() && numbers.back() <= 30) ++short_pages;
    const auto black = LinePoints(Slot(page), "0x000000");
    const double end = (kDiagramBarLeft + kDiagramBarRoom) * kDots;
    EXPECT_TRUE(std::any_of(black.begin(), black.end(), [&](const Point& p) {
      return std::abs(p.x - end) <= kSnap;
    })) << page;
    for (const Point& p : black) EXPECT_LE(p.x, end + kSnap) << page;
  }
  EXPECT_GE(short_pages, 1);
}

// The listing of every page, one string per page.
std::vector<std::string> ListedPages(const char* tables) {
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunPagesCommand(
                {ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5", "--tables", tables}, out, err),
            cli::kExitPlanned)
      << err.str();
  std::vector<std::string> pages;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("page ", 0) == 0) pages.emplace_back();
    if (!pages.empty()) pages.back() += line + "\n";
  }
  return pages;
}

TEST(ReportTables, DiagramsLeaveTheTablesAsTheyWere) {
  for (const auto& [without, with] : {std::pair{"none", "C"}, std::pair{"A", "AC"},
                                      std::pair{"B", "BC"}, std::pair{"AB", "ABC"}}) {
    const std::vector<std::string> before = ListedPages(without);
    const std::vector<std::string> after = ListedPages(with);
    ASSERT_GT(after.size(), before.size()) << with;
    // Every page before the diagrams is unchanged; the last may go on with them.
    for (std::size_t i = 0; i + 1 < before.size(); ++i) EXPECT_EQ(after[i], before[i]) << with;
    EXPECT_EQ(after[before.size() - 1].rfind(before.back(), 0), 0u) << with;
  }
}

TEST(ReportTables, TablesOptionTakesAnyOfABCSAndL) {
  std::ostringstream err;
  for (const char* ok :
       {"none", "A", "B", "C", "AB", "AC", "BC", "ABC", "CBA", "S", "L", "LS", "ABCSL", "LSCBA"}) {
    cli::CommandOptions o;
    EXPECT_TRUE(cli::ParseOptions({"job.zv5", "--tables", ok}, {"--tables"}, o, err)) << ok;
  }
  for (const char* bad : {"", "D", "CC", "ABCD", "a", "AB C", "noneC", "LL", "ABCSLL", "l"}) {
    cli::CommandOptions o;
    EXPECT_FALSE(cli::ParseOptions({"job.zv5", "--tables", bad}, {"--tables"}, o, err)) << bad;
  }
}

// ---- The plan as CSV ----------------------------------------------------------------------

std::vector<std::vector<std::string>> ReadCsv(const std::string& bytes) {
  std::vector<std::vector<std::string>> rows;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", at);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    if (end == std::string::npos) break;
    const std::string line = bytes.substr(at, end - at);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    std::vector<std::string> fields(1);
    for (char c : line) {
      if (c == ',') {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    rows.push_back(line.empty() ? std::vector<std::string>{} : fields);
    at = end + 2;
  }
  return rows;
}

TEST(PlanCsv, AddsUpToThePlan) {
  auto records = testing::MakeRecords(
      {{{5500, 10}, {6000, 8}, {9000, 3}}, {{2700, 4}, {1500, 7}, {800, 9}, {3350, 3}}});
  records->conditions.unit_weight = 21.3;
  ASSERT_EQ(optimiser::RunSearch(*records, {}, 30), 0);
  const optimiser::CuttingPlan& plan = records->best;
  const auto rows = ReadCsv(PlanCsv(*records));
  ASSERT_GE(rows.size(), 2u + plan.pattern_count);
  const int kinds = records->cut.count;
  ASSERT_EQ(rows[0].size(), 4u + 2 * kinds);
  EXPECT_EQ(rows[0][0], base::Lit("番号"));
  EXPECT_EQ(rows[0][1], base::Lit("素材長"));
  EXPECT_EQ(rows[0].back(), base::Lit("残材長"));

  double stock = 0, remnant = 0, required = 0;
  std::map<int, long> pieces;  // length → pieces cut
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const auto& row = rows[static_cast<std::size_t>(p)];
    ASSERT_EQ(row.size(), rows[0].size());
    EXPECT_EQ(std::stoi(row[0]), p);
    const int length = std::stoi(row[1]);
    const int repeat = std::stoi(row[2]);
    stock += double{1.0} * length * repeat;
    remnant += std::stod(row.back()) * repeat;
    double on_bar = 0;
    for (int j = 0; j < kinds; ++j) {
      const std::string& l = row[3 + 2 * static_cast<std::size_t>(j)];
      const std::string& n = row[4 + 2 * static_cast<std::size_t>(j)];
      EXPECT_EQ(l.empty(), n.empty());
      if (l.empty()) continue;
      pieces[std::stoi(l)] += long{std::stoi(n)} * repeat;
      required += double{1.0} * std::stoi(l) * std::stoi(n) * repeat;
      on_bar += std::stoi(l) + 3.0;
    }
    EXPECT_LE(on_bar, length + 20 + 3.0 * kinds + 1e-9) << p;  // no bar holds more than it can
  }
  // Every piece of the cut list exactly as often as it is needed.
  for (int j = 1; j <= kinds; ++j)
    EXPECT_EQ(pieces[records->cut.entries[j].length], records->cut.entries[j].quantity);
  EXPECT_EQ(stock, plan.stock_length);
  EXPECT_EQ(required, plan.required_length);

  // The closing block: the summary's totals.
  std::map<std::string, double> totals;
  for (std::size_t i = 1 + plan.pattern_count; i < rows.size(); ++i)
    if (rows[i].size() == 2) totals[base::Cp932ToUtf8(rows[i][0])] = std::stod(rows[i][1]);
  EXPECT_NEAR(totals["素材延長 (m)"], stock / 1000, 6e-4);     // printed with three decimals
  EXPECT_NEAR(totals["部材延長 (m)"], required / 1000, 6e-4);  // printed with three decimals
  EXPECT_NEAR(totals["残材長 (m)"], remnant / 1000, 5e-3);     // whole mm per bar
  EXPECT_NEAR(totals["残材率 (%)"], 100 * plan.remnant_length / stock,
              6e-4);                                              // printed with three decimals
  EXPECT_NEAR(totals["素材重量 (t)"], stock * 21.3e-6, 6e-4);     // printed with three decimals
  EXPECT_NEAR(totals["部材重量 (t)"], required * 21.3e-6, 6e-4);  // printed with three decimals
  EXPECT_NEAR(totals["ロス率 (%)"], 100 * (stock - required) / required,
              6e-4);  // printed with three decimals

  records->conditions.unit_weight = 0;
  const std::string light = PlanCsv(*records);
  EXPECT_EQ(light.find(base::Lit("素材重量")), std::string::npos);
  EXPECT_EQ(light.find(base::Lit("ロス率")), std::string::npos);
}

TEST(PlanCsv, FieldsAreQuotedWhenTheyMustBe) {
  EXPECT_EQ(CsvLine({"a", "b,c", "say \"hi\"", ""}), "a,\"b,c\",\"say \"\"hi\"\"\",\r\n");
  EXPECT_EQ(CsvLine({}), "\r\n");
}

TEST(PlanCsv, PlanCommandWritesItAndRefusesAnUnwritablePath) {
  testing::TempDir temp("zarvel5-csv");
  const std::string out_csv = temp.File("plan.csv");
  std::ostringstream out, err;
  ASSERT_EQ(cli::RunPlanCommand(
                {ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5", "--csv", out_csv}, out, err),
            cli::kExitPlanned)
      << err.str();
  std::ifstream in(out_csv, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const auto rows = ReadCsv(bytes);
  ASSERT_GT(rows.size(), 3u);
  EXPECT_EQ(base::Cp932ToUtf8(rows[0][0]), "番号");

  out.str("");
  err.str("");
  EXPECT_EQ(cli::RunPlanCommand({ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5", "--csv",
                                 temp.File("no/such/dir/plan.csv")},
                                out, err),
            cli::kExitUsage);
  EXPECT_NE(err.str().find("には書き込めません"), std::string::npos);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace zarvel::report
