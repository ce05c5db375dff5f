#include "report/labels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "base/cp932.h"
#include "base/format.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "optimiser/search.h"
#include "report/qr_code.h"
#include "report/report.h"
#include "tests/fake_canvas.h"
#include "tests/page_reader.h"
#include "tests/search_test_util.h"

namespace zarvel::report {
namespace {

using testing::PageCommands;

class LabelTest : public ::testing::Test {
 protected:
  ReportResult Build(const testing::JobLists& job, const ReportOptions& options) {
    records = testing::MakeRecords(job);
    records->conditions.year = 26;
    records->conditions.month = 12;
    records->conditions.day = 7;
    records->conditions.project_name = base::Lit("北町");
    records->conditions.member_name = base::Lit("H-200×100×5.5×8");
    records->marks = marks;
    EXPECT_EQ(optimiser::RunSearch(*records, {}, 30), 0);
    return RebuildPages(surface, *records, options);
  }
  static int Slot(int page) { return page + drawing::kFirstReportSlot; }

  std::vector<optimiser::PieceMark> marks;
  std::unique_ptr<optimiser::OptimiserRecords> records;
  RecordingSurface surface;
};

TEST(Labels, KeptOffcuts) {
  struct Case {
    double remnant;
    int keep;
    bool kept;
    int length;
  };
  for (const Case& c :
       {Case{999.9, 1000, false, 999}, Case{1000, 1000, true, 1000}, Case{1200.7, 1000, true, 1200},
        Case{0.5, 0, false, 0}, Case{0, 0, false, 0}, Case{-3, 0, false, 0},
        Case{1e300, 1000, true, 1000000000}}) {
    EXPECT_EQ(IsKeptOffcut(c.remnant, c.keep), c.kept) << c.remnant << " " << c.keep;
    EXPECT_EQ(OffcutLength(c.remnant), c.length) << c.remnant;
  }
  EXPECT_EQ(LabelSheetOf(2).per_sheet, 44);
  EXPECT_EQ(LabelSheetOf(7).per_sheet, 12);   // a sheet the job cannot name: the first
  for (const LabelSheet& s : kLabelSheets) {  // the die-cut grid lies on the A4 sheet
    EXPECT_EQ(s.columns * s.rows, s.per_sheet);
    EXPECT_LE(s.left + (s.columns - 1) * s.pitch_x + s.width, kA4Width);
    EXPECT_LE(s.top + (s.rows - 1) * s.pitch_y + s.height, kA4Height + 1e-9);
  }
}

TEST(Labels, QrTextFields) {
  Label piece{false, base::Lit("北町\t工事"), base::Lit("H-200"), "G1", 2700, "1-2-3", ""};
  EXPECT_EQ(LabelQrText(piece), "北町 工事\tH-200\tG1\t2700\t1-2-3");
  piece.mark.clear();
  EXPECT_EQ(LabelQrText(piece), "北町 工事\tH-200\t\t2700\t1-2-3");
  const Label offcut{true, base::Lit("北町"), base::Lit("H-200"), "", 1500, "4-1", ""};
  EXPECT_EQ(LabelQrText(offcut), "残材\tH-200\t1500\t北町 4-1");
}

TEST(QrCode, FinderPatternsAndWhatCannotBeHeld) {
  const std::optional<QrSymbol> s = EncodeQr("ABC", QrLevel::kMedium);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->width, 21);                      // version 1
  for (const int corner : {0, s->width - 7}) {  // top left and top right finders
    EXPECT_TRUE(s->Dark(corner, 0));
    EXPECT_TRUE(s->Dark(corner + 6, 6));
    EXPECT_FALSE(s->Dark(corner + 1, 1));
    EXPECT_TRUE(s->Dark(corner + 3, 3));
  }
  EXPECT_FALSE(EncodeQr("", QrLevel::kLow));
  EXPECT_FALSE(EncodeQr(std::string_view("a\0b", 3), QrLevel::kLow));
  EXPECT_FALSE(EncodeQr(std::string(3000, 'a'), QrLevel::kLow));  // beyond version 40

  const std::string line(120, 'x');
  const int medium = EncodeQr(line, QrLevel::kMedium)->width;
  const int low = EncodeQr(line, QrLevel::kLow)->width;
  ASSERT_LT(low, medium);
  EXPECT_EQ(EncodeQrFor(line, 40, 0.4)->width, medium);  // room enough: more correction
  EXPECT_EQ(EncodeQrFor(line, 20, 0.4)->width, low);     // small modules: larger ones
}

TEST_F(LabelTest, OnePerPieceInCuttingOrderThenOnePerKeptOffcut) {
  marks = {{"G1", 2900, 3}, {"B7", 1700, 1}};
  Build({{{6000, 10}}, {{2900, 5}, {1700, 3}}, 0, 0, 5000}, {});
  const CutBars cut = ListCutBars(*records);
  const std::vector<Label> labels = ListLabels(*records, cut, 1000, 1000);
  std::size_t i = 0;
  for (const CutBar& bar : cut.bars) {
    for (std::size_t k = 0; k < bar.pieces.size(); ++k, ++i) {
      ASSERT_LT(i, labels.size());
      EXPECT_FALSE(labels[i].offcut);
      EXPECT_EQ(labels[i].length, bar.pieces[k].length);
      EXPECT_EQ(labels[i].mark, bar.pieces[k].mark);
      EXPECT_EQ(labels[i].number, base::Format("%d-%d-%zu", bar.pattern, bar.bar, k + 1));
      EXPECT_EQ(labels[i].date, base::Lit("2026年12月7日"));
    }
  }
  EXPECT_EQ(i, 8u);
  for (const CutBar& bar : cut.bars) {
    const double remnant = records->best.patterns[bar.pattern].remnant;
    if (!IsKeptOffcut(remnant, 1000)) continue;
    ASSERT_LT(i, labels.size());
    EXPECT_TRUE(labels[i].offcut);
    EXPECT_EQ(labels[i].length, OffcutLength(remnant));
    EXPECT_EQ(labels[i++].number, base::Format("%d-%d", bar.pattern, bar.bar));
  }
  EXPECT_EQ(i, labels.size());
  EXPECT_GT(labels.size(), 8u);  // some bar leaves at least 1000 mm
  EXPECT_EQ(ListLabels(*records, cut, 1000, 3).size(), 3u);
  // The steel on every label: the member, and its grade when the job knows one.
  for (const Label& l : labels) EXPECT_EQ(l.member, base::Lit("H-200×100×5.5×8"));
  records->conditions.grade = "SN490B";
  for (const Label& l : ListLabels(*records, cut, 1000, 1000)) {
    EXPECT_EQ(l.member, base::Lit("H-200×100×5.5×8 SN490B"));
    EXPECT_NE(LabelQrText(l).find("H-200×100×5.5×8 SN490B"), std::string::npos);
  }
}

// Where a label's text and code are drawn, read back from the page (mm from the sheet corner).
struct Box {
  double left, top, right, bottom;
};

TEST_F(LabelTest, TextStaysInsideItsLabelAndClearOfTheCodesQuietZone) {
  marks = {{"2G1-12345678", 2900, 6}};
  for (int item = 0; item < 3; ++item) {
    SCOPED_TRACE(item);
    ReportOptions o;
    o.labels = true;
    o.label_sheet = item;
    const ReportResult r = Build({{{6000, 20}}, {{2900, 6}, {1700, 14}}, 0, 0, 5000}, o);
    // A long project name is narrowed and then cut, never drawn past its room.
    records->conditions.project_name = base::Lit("（仮称）北町物流センター新築工事第二期増築棟");
    const ReportResult again = RebuildPages(surface, *records, o);
    ASSERT_EQ(again.pages, r.pages);
    // Too long even at the smallest size on the smallest labels: cut, and it says so with "…";
    // on the larger labels narrower characters take it whole.
    const std::string shown = testing::PageText(Slot(2));
    EXPECT_EQ(shown.find(base::Lit("…")) != std::string::npos, item == 2) << item;
    EXPECT_EQ(shown.find(records->conditions.project_name) != std::string::npos, item != 2) << item;
    const LabelSheet& sheet = LabelSheetOf(item);
    int labels = 0;
    for (int p = 2; p <= r.pages; ++p) {
      const std::vector<std::string> commands = PageCommands(Slot(p));
      ASSERT_FALSE(commands.empty());
      EXPECT_EQ(commands[0], "sheet 2100 2970");
      std::map<int, Box> code;                // by label: the dark modules' extent
      std::map<int, std::vector<Box>> cells;  // by label: the text cells
      std::map<int, double> module;
      int font_h = 0, font_w = 0;
      auto label_of = [&](double x, double y) {
        const int col = static_cast<int>((x - sheet.left) / sheet.pitch_x);
        const int row = static_cast<int>((y - sheet.top) / sheet.pitch_y);
        return row * sheet.columns + col;
      };
      for (const std::string& c : commands) {
        double a = 0, b = 0, cc = 0, d = 0;
        int h = 0, w = 0;
        if (std::sscanf(c.c_str(), "font %d %d", &h, &w) == 2) {
          font_h = h;
          font_w = w;
        } else if (std::sscanf(c.c_str(), "fill %lf %lf %lf %lf", &a, &b, &cc, &d) == 4) {
          const Box f{a / 10, b / 10, cc / 10, d / 10};
          const int n = label_of(f.left, f.top);
          auto [it, fresh] = code.try_emplace(n, f);
          it->second = {std::min(it->second.left, f.left), std::min(it->second.top, f.top),
                        std::max(it->second.right, f.right), std::max(it->second.bottom, f.bottom)};
          module[n] = f.bottom - f.top;
        } else if (std::sscanf(c.c_str(), "text %lf %lf", &a, &b) == 2) {
          const std::size_t open = c.find('"');
          const double columns = static_cast<double>(c.size() - open - 2);
          cells[label_of(a / 10, b / 10)].push_back(
              {a / 10, b / 10, (a + columns * font_w) / 10, (b + font_h) / 10});
        }
      }
      for (const auto& [n, q] : code) {
        ++labels;
        const double left = sheet.left + (n % sheet.columns) * sheet.pitch_x;
        const double top = sheet.top + (n / sheet.columns) * sheet.pitch_y;
        const double quiet = 4 * module[n] - 0.01;
        // The code and its quiet zone lie within the label.
        EXPECT_GE(q.left - quiet, left);
        EXPECT_GE(q.top - quiet, top);
        EXPECT_LE(q.right + quiet, left + sheet.width);
        EXPECT_LE(q.bottom + quiet, top + sheet.height);
        ASSERT_FALSE(cells[n].empty());
        for (const Box& t : cells[n]) {
          EXPECT_GE(t.left, left);
          EXPECT_GE(t.top, top);
          EXPECT_LE(t.bottom, top + sheet.height);
          EXPECT_LE(t.right, q.left - quiet + 0.11) << "label " << n << " page " << p;
        }
      }
    }
    EXPECT_EQ(labels,
              static_cast<int>(ListLabels(*records, ListCutBars(*records), 1000, 1000).size()));
  }
}

TEST_F(LabelTest, ModulesAreSquaresOfWholeDotsOnPrinters) {
  for (int item = 0; item < 3; ++item) {
    ReportOptions o;
    o.labels = true;
    o.label_sheet = item;
    Build({{{6000, 10}}, {{2900, 3}, {1700, 3}}, 0, 0, 5000}, o);
    for (const int dpi : {300, 600, 1200}) {
      SCOPED_TRACE(base::Format("sheet %d at %d dpi", item, dpi));
      testing::FakeCanvas printer;
      drawing::PlayTarget t;
      t.kind = drawing::PlayTarget::Kind::kPrinter;
      t.canvas = &printer;
      t.log_pixels_x = t.log_pixels_y = dpi;
      drawing::PlayReportPage(t, 2, drawing::kRecordingWidth, drawing::kRecordingHeight, 0);
      std::set<int> heights;
      int fills = 0;
      for (const std::string& c : printer.calls) {
        int l = 0, tp = 0, r = 0, b = 0;
        if (std::sscanf(c.c_str(), "fill %d %d %d %d", &l, &tp, &r, &b) != 4) continue;
        ++fills;
        heights.insert(b - tp);
        EXPECT_EQ((r - l) % (b - tp), 0) << c;  // a run of whole modules
      }
      EXPECT_GT(fills, 100);
      EXPECT_EQ(heights.size(), 1u);  // every module the same whole number of dots
    }
  }
}

TEST_F(LabelTest, SawListGivesEachPatternOnceWithABoxPerBar) {
  marks = {{"G1", 2900, 4}, {"G2", 2900, 2}};
  ReportOptions o;
  o.saw_list = true;
  const ReportResult r = Build({{{6000, 10}}, {{2900, 6}}, 0, 0, 5000}, o);
  ASSERT_EQ(r.pages, 2);
  const std::string text = testing::PageText(Slot(2));
  EXPECT_NE(text.find(base::Lit("≪切断指示書≫")), std::string::npos);
  EXPECT_NE(text.find(base::Lit("No.1素材6000mm×3")), std::string::npos) << text;
  // Each cut names the marks of its bars in bar order.
  EXPECT_NE(text.find(base::Lit("G1×2,G2")), std::string::npos) << text;
  EXPECT_EQ(text.find("No.2"), std::string::npos);
  // Four sides a box, a box per piece of every bar, and the rule under the heading.
  EXPECT_EQ(PageCommands(Slot(2), "line ").size(), 4u * 6 + 1);
  EXPECT_EQ(drawing::PageSheet(Slot(2)).width, 0);  // an ordinary page body
  // A bar without a mark among bars with one.
  marks = {{"G1", 2900, 4}};
  Build({{{6000, 10}}, {{2900, 6}}, 0, 0, 5000}, o);
  EXPECT_NE(testing::PageText(Slot(2)).find(base::Lit("G1×2,－")), std::string::npos);
}

TEST_F(LabelTest, SawListRowsOfManyBarsContinueUnderTheirPatternsHead) {
  for (int i = 1; i <= 360; ++i) marks.push_back({base::Format("2C%d", i), 1900, 1});
  ReportOptions o;
  o.saw_list = true;
  const ReportResult r = Build({{{6000, 130}}, {{1900, 360}}, 0, 0, 5000}, o);
  ASSERT_EQ(records->best.pattern_count, 1);
  ASSERT_GE(r.pages, 4);
  const std::string head = base::Lit("No.1素材6000mm×120");
  const std::string continued = base::Lit("No.1素材6000mm(続き)");
  EXPECT_NE(testing::PageText(Slot(2)).find(head), std::string::npos);
  for (int p = 3; p <= r.pages; ++p) {
    const std::string text = testing::PageText(Slot(p));
    // The page's heading, then the pattern it continues, then its rows.
    const std::size_t at = text.find(continued);
    ASSERT_NE(at, std::string::npos) << p;
    EXPECT_LT(text.find(base::Lit("≪切断指示書≫（続き）")), at);
    EXPECT_GT(text.size(), at + continued.size()) << p;
  }
  // Every mark once, in the cells' order; the last page ends with the last of them.
  const std::string all = testing::PageTextOfReport(r.pages);
  for (const char* mark : {"2C1,", "2C4,", "2C358", "2C360"})
    EXPECT_NE(all.find(mark), std::string::npos) << mark;
}

TEST_F(LabelTest, SawListHeadNeverStandsAloneAndNamesTheMarginUsed) {
  ReportOptions o;
  o.saw_list = true;
  auto each_head_has_a_row_below = [&](const ReportResult& r) {
    for (int p = 2; p <= r.pages; ++p) {
      const std::vector<testing::DrawnChar> chars = testing::DrawnChars(Slot(p));
      const std::vector<std::size_t> heads = testing::FindRuns(chars, "No.");
      ASSERT_FALSE(heads.empty()) << p;
      const double head_y = chars[heads.back()].y;
      EXPECT_TRUE(std::any_of(chars.begin(), chars.end(),
                              [&](const testing::DrawnChar& c) { return c.y > head_y + 30; }))
          << "page " << p;
    }
  };
  // Single-bar patterns enough for some head to come near a page's foot.
  std::vector<std::pair<int, int>> cut;
  for (int i = 0; i < 60; ++i) cut.emplace_back(5000 - 37 * i, 1);
  each_head_has_a_row_below(Build({{{6000, 80}}, cut, 0, 3, 5000}, o));
  // One cut on 360 bars: its row is longer than a page and goes on under its pattern's head.
  for (int i = 1; i <= 360; ++i) marks.push_back({base::Format("B%d", i), 5900, 1});
  const ReportResult r = Build({{{6000, 360}}, {{5900, 360}}, 0, 3, 5000}, o);
  ASSERT_GE(r.pages, 3);
  each_head_has_a_row_below(r);
  EXPECT_NE(testing::PageText(Slot(3)).find(base::Lit("No.1素材6000mm(続き)1")), std::string::npos);
  marks.clear();

  // A piece longer than its bar, through the margin: the head says by how much.
  Build({{{12000, 1}}, {{12015, 1}}, 20, 3, 5000}, o);
  const std::string text = testing::PageText(Slot(2));
  EXPECT_NE(text.find(base::Lit("No.1素材12000mm余裕+15")), std::string::npos) << text;
  EXPECT_EQ(text.find(base::Lit("残材")), std::string::npos);
}

}  // namespace
}  // namespace zarvel::report
