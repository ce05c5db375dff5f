// Marks read back from the recorded pages of labels, the saw list and the cutting diagrams:
// every mark whole, once per piece, and inside its page or label, for marks that share prefixes,
// full-width marks, 32-byte marks and patterns of many bars.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

#include "base/cp932.h"
#include "base/format.h"
#include "drawing/pages.h"
#include "optimiser/search.h"
#include "report/cut_bars.h"
#include "report/diagram.h"
#include "report/labels.h"
#include "report/report.h"
#include "tests/page_reader.h"
#include "tests/search_test_util.h"

namespace zarvel::report {
namespace {

// One character as recorded, with the font it was drawn in (dots of the page or sheet).
struct Cell {
  double x = 0, y = 0;
  int h = 0, w = 0, code = 0;
  std::string chars;  // CP932
  double Right() const { return x + static_cast<double>(chars.size()) * w; }
};

std::vector<Cell> Cells(int slot) {
  std::vector<Cell> cells;
  int h = 0, w = 0, angle = 0, code = 0;
  for (const std::string& c : testing::PageCommands(slot)) {
    Cell cell;
    if (std::sscanf(c.c_str(), "font %d %d %d %d", &h, &w, &angle, &code) == 4) continue;
    if (std::sscanf(c.c_str(), "text %lf %lf", &cell.x, &cell.y) != 2) continue;
    const std::size_t open = c.find('"');
    cell.chars = c.substr(open + 1, c.size() - open - 2);
    cell.h = h;
    cell.w = w;
    cell.code = code;
    cells.push_back(cell);
  }
  return cells;
}

// Characters drawn one after another on a line without a gap (a blank is never recorded, so
// a blank ends a run).
struct TextRun {
  double x = 0, y = 0, right = 0, bottom = 0;
  int code = 0;
  std::string text;  // UTF-8
};

std::vector<TextRun> Runs(const std::vector<Cell>& cells) {
  std::vector<TextRun> runs;
  const Cell* last = nullptr;
  std::string cp932;
  for (const Cell& c : cells) {
    const bool joins = last != nullptr && c.y == last->y && c.h == last->h && c.w == last->w &&
                       c.x > last->x && c.x - last->Right() <= std::max(4, c.w / 2);
    if (!joins) {
      if (!runs.empty()) runs.back().text = base::Cp932ToUtf8(cp932);
      runs.push_back({c.x, c.y, c.Right(), c.y + c.h, c.code, {}});
      cp932.clear();
    }
    cp932 += c.chars;
    runs.back().right = c.Right();
    last = &c;
  }
  if (!runs.empty()) runs.back().text = base::Cp932ToUtf8(cp932);
  return runs;
}

// The marks a text names, in order: "G1×2,G2" is G1, G1, G2; "3:G4" is G4.
std::vector<std::string> MarksNamed(const std::string& text) {
  std::vector<std::string> marks;
  std::istringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    item.erase(0, item.rfind(':') + 1);  // npos + 1: nothing
    const std::size_t times = item.find("×");
    const int n = times == std::string::npos ? 1 : std::atoi(item.c_str() + times + 2);
    item = item.substr(0, times);
    for (int i = 0; i < n && !item.empty(); ++i) marks.push_back(item);
  }
  return marks;
}

struct MarkJob {
  const char* name;
  testing::JobLists lists;
  std::vector<optimiser::PieceMark> marks;  // UTF-8 here, CP932 in the records
};

std::vector<optimiser::PieceMark> Numbered(const char* prefix, int length, int count) {
  std::vector<optimiser::PieceMark> marks;
  for (int i = 1; i <= count; ++i) marks.push_back({base::Format("%s%d", prefix, i), length, 1});
  return marks;
}

const std::vector<MarkJob>& Jobs() {
  static const std::vector<MarkJob> jobs = {
      {"marks that share prefixes", {{{6000, 20}}, {{1900, 42}}}, Numbered("2C", 1900, 42)},
      {"a pattern of 40 bars", {{{6000, 45}}, {{1900, 120}}}, Numbered("2C", 1900, 120)},
      {"a pattern of 120 bars over pages",
       {{{6000, 130}}, {{1900, 360}}},
       Numbered("2C", 1900, 360)},
      {"full-width marks",
       {{{6000, 10}}, {{2900, 6}, {1700, 6}}},
       {{"大梁Ｇ１", 2900, 2},
        {"大梁Ｇ１２", 2900, 2},
        {"大梁Ｇ１２３", 2900, 2},
        {"横架材・Ｂ１", 1700, 3},
        {"横架材・Ｂ１０", 1700, 3}}},
      {"32-byte marks",
       {{{6000, 10}}, {{2900, 4}, {1700, 4}}},
       {{"2FG-X1X2-Y3-SPLICE-WEB-PL-00001A", 2900, 2},
        {"2FG-X1X2-Y3-SPLICE-WEB-PL-00002B", 2900, 2},
        {"継手添板ウェブ側第一節柱脚部材Ａ", 1700, 2},
        {"継手添板ウェブ側第一節柱脚部材Ｂ", 1700, 2}}},
  };
  return jobs;
}

class MarkPagesTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  ReportResult Build(int sheet) {
    const MarkJob& job = Jobs()[GetParam()];
    records = testing::MakeRecords(job.lists);
    records->conditions.year = 26;
    records->conditions.month = 12;
    records->conditions.day = 7;
    records->conditions.project_name = base::Lit("（仮称）北町物流センター新築工事");
    records->conditions.member_name = base::Lit("H-200×100×5.5×8 小梁・間柱");
    for (const optimiser::PieceMark& m : job.marks)
      records->marks.push_back({base::Utf8ToCp932(m.mark), m.length, m.count});
    EXPECT_EQ(optimiser::RunSearch(*records, {}, 30), 0);
    ReportOptions o;
    o.table_c = o.saw_list = o.labels = true;
    o.label_sheet = sheet;
    return RebuildPages(surface, *records, o);
  }

  // Whether `text` is the start of a mark (or a whole one).
  bool StartsAMark(const std::string& text) const {
    const std::vector<optimiser::PieceMark>& marks = Jobs()[GetParam()].marks;
    return !text.empty() && std::any_of(marks.begin(), marks.end(),
                                        [&](const auto& m) { return m.mark.rfind(text, 0) == 0; });
  }

  std::unique_ptr<optimiser::OptimiserRecords> records;
  RecordingSurface surface;
};

TEST_P(MarkPagesTest, EveryMarkWholeOncePerPieceAndInsideItsPlace) {
  std::map<std::string, int> per_mark;  // every mark is given to as many pieces as it counts
  for (const optimiser::PieceMark& m : Jobs()[GetParam()].marks) per_mark[m.mark] = m.count;

  for (int item = 0; item < 3; ++item) {
    SCOPED_TRACE(base::Format("sheet %d", kLabelSheets[item].per_sheet));
    const ReportResult r = Build(item);
    ASSERT_FALSE(r.truncated);
    const LabelSheet& sheet = LabelSheetOf(item);
    std::map<std::string, int> in_diagrams;
    std::vector<std::string> in_saw_list;
    std::vector<Label> labels = ListLabels(*records, ListCutBars(*records), 1000, 100000);
    std::size_t label = 0;
    bool saw_list = false;
    for (int page = 1; page <= r.pages; ++page) {
      SCOPED_TRACE(base::Format("page %d", page));
      const int slot = page + drawing::kFirstReportSlot;
      const std::vector<Cell> cells = Cells(slot);
      const std::vector<TextRun> runs = Runs(cells);
      if (drawing::PageSheet(slot).width > 0) {  // a sheet of labels
        std::map<int, std::vector<const TextRun*>> on_label;
        for (const TextRun& run : runs) {
          const int col = static_cast<int>((run.x / 10 - sheet.left) / sheet.pitch_x);
          const int row = static_cast<int>((run.y / 10 - sheet.top) / sheet.pitch_y);
          const double left = sheet.left + col * sheet.pitch_x;
          const double top = sheet.top + row * sheet.pitch_y;
          EXPECT_GE(run.x / 10, left);
          EXPECT_LE(run.right / 10, left + sheet.width) << run.text;
          EXPECT_LE(run.bottom / 10, top + sheet.height) << run.text;
          on_label[row * sheet.columns + col].push_back(&run);
        }
        for (const auto& [n, texts] : on_label) {
          ASSERT_LT(label, labels.size());
          const Label& l = labels[label++];
          const std::string mark = base::Cp932ToUtf8(l.mark);
          int shown = 0;
          // The member name's last word whole in every column of every sheet.
          EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                                  [](const TextRun* run) { return run->text == "小梁・間柱"; }))
              << "label " << n;
          for (const TextRun* run : texts) {  // nothing else names a mark or starts one
            shown += run->text == mark;
            EXPECT_TRUE(run->text == mark || !StartsAMark(run->text)) << run->text << " " << mark;
          }
          if (!l.offcut) {
            EXPECT_EQ(shown, 1) << mark;
          }
        }
        continue;
      }
      for (const Cell& c : cells) {  // on the 180 × 270 mm page body (cells snap to odd dots)
        EXPECT_GE(c.x, 0);
        EXPECT_LE(c.Right(), 1801) << c.chars;
        EXPECT_LE(c.y + c.h, 2701) << c.chars;
      }
      saw_list =
          saw_list || testing::PageText(slot).find(base::Lit("≪切断指示書≫")) != std::string::npos;
      if (!saw_list) {
        for (const TextRun& run : runs) {
          // Marks stand under the bars and in the notes, right of "素材長 × 本数"; the page
          // number stands at the foot.
          if (run.x < kDiagramBarLeft * 10 || run.y > 2600) continue;
          for (const std::string& m : MarksNamed(run.text)) {
            ++in_diagrams[m];
            EXPECT_TRUE(per_mark.count(m) || !StartsAMark(m)) << m << " in " << run.text;
          }
        }
        continue;
      }
      // The 符号 cells: the plain text between the length and the boxes, line by line.
      std::map<double, std::string> lines;
      for (const Cell& c : cells)
        if (c.code == 0 && c.x > 360 && c.x < 1040 && c.y > 200) lines[c.y] += c.chars;
      for (const auto& [y, line] : lines)
        for (const std::string& m : MarksNamed(base::Cp932ToUtf8(line))) in_saw_list.push_back(m);
    }
    EXPECT_EQ(label, labels.size());
    // Diagrams: each piece's mark once, no mark more often, nothing cut short.
    for (const auto& [mark, n] : per_mark) EXPECT_EQ(in_diagrams[mark], n) << mark;
    // Saw list: cut by cut, the marks of the pattern's bars in bar order.
    std::vector<std::string> expected;
    const CutBars cut = ListCutBars(*records);
    for (std::size_t b = 0; b < cut.bars.size();) {
      std::size_t end = b;
      while (end < cut.bars.size() && cut.bars[end].pattern == cut.bars[b].pattern) ++end;
      for (std::size_t k = 0; k < cut.bars[b].pieces.size(); ++k)
        for (std::size_t i = b; i < end; ++i)
          expected.push_back(base::Cp932ToUtf8(cut.bars[i].pieces[k].mark));
      b = end;
    }
    EXPECT_EQ(in_saw_list, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Jobs, MarkPagesTest, ::testing::Range<std::size_t>(0, 5));

}  // namespace
}  // namespace zarvel::report
