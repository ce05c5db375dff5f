#include <gtest/gtest.h>

#include "base/cp932.h"
#include "job/grid_entry.h"
#include "job/num_entry.h"
#include "run/grid.h"
#include "tests/fake_canvas.h"
#include "text/fit.h"

namespace zarvel::job {
namespace {

std::string Type(std::string text, int width, const std::string& keys) {
  static int target;
  BeginEntry(&target, text, width);
  for (char k : keys) text = ShiftInChar(text, k);
  return text;
}

TEST(Odometer, KeysEnterAtTheRight) {
  EXPECT_EQ(Type(" 20", 3, "2"), "  2");
  EXPECT_EQ(Type(" 20", 3, "25"), " 25");
  EXPECT_EQ(Type(" 20", 3, "1234"), "234");
  EXPECT_EQ(Type("   74.12", 8, "74.5"), "    74.5");
  EXPECT_EQ(Type("", 13, "6000.5"), "       6000.5");
  EXPECT_EQ(Type("  3", 3, "x"), "  x");  // letters are shifted in like digits
}

TEST(Odometer, BackspaceAndEscape) {
  EXPECT_EQ(Type("  5000", 6, "\b"), "   500");
  EXPECT_EQ(Type("  5000", 6, "\b\b"), "    50");
  EXPECT_EQ(Type(" 20", 3, "7\x1b"), " 20");
  EXPECT_EQ(Type(" 20", 3, "\x1b"), " 20");  // Escape first changes nothing
  EXPECT_EQ(Type(" 20", 3,
                 "\x1b"
                 "5"),
            "  5");
  EXPECT_EQ(Type(" 20", 3, "12\b"), "  1");
  EXPECT_EQ(Type("", 3, "\b"), "   ");
  EXPECT_EQ(Type(" 20", 3, "\r"), " 20");  // another control key
}

TEST(Odometer, FullWidthCharacters) {
  EXPECT_EQ(MapEntryChar(U'１'), '1');
  EXPECT_EQ(MapEntryChar(U'．'), '.');
  EXPECT_EQ(MapEntryChar(U'－'), '-');
  EXPECT_EQ(MapEntryChar(U'＋'), '+');
  EXPECT_EQ(MapEntryChar(U'え'), 'e');
  EXPECT_EQ(MapEntryChar(U'Ｅ'), 'e');
  EXPECT_EQ(MapEntryChar(U'漢'), 0);
  EXPECT_EQ(MapEntryChar(U'7'), '7');
}

TEST(Odometer, ReformatOnLeaving) {
  EXPECT_EQ(FormatNumberText("    74.5", 82), "   74.50");
  EXPECT_EQ(FormatNumberText("  x", 30), "  0");
  EXPECT_EQ(FormatNumberText(" 6", 20), " 6");
  EXPECT_EQ(FormatNumberText("06", 20), " 6");
  EXPECT_EQ(FormatNumberText("123456789", 60), "123456789");  // wider than the field: whole
  EXPECT_EQ(FormatNumberText("1e2", 82), "  100.00");
  EXPECT_EQ(FormatNumberText("+5", 30), "  5");
  EXPECT_EQ(FormatNumberText("99999999999999", 30), "2147483647");
  EXPECT_EQ(FormatNumberText("free text", 0), "free text");
  EXPECT_EQ(RightAlign("abcdef", 3), "def");
  EXPECT_EQ(RightAlign("a", 0), "a");
  EXPECT_EQ(GridCellWidth(108, 16), 13);
  EXPECT_EQ(GridCellWidth(2, 16), 1);
  EXPECT_EQ(GridCellWidth(108, 1), 1);
}

TEST(GridEntry, MovingOnInBothOrders) {
  // Stock grid 3 × 19 vertical: the last row of column 1 goes to row 1 of column 2, and
  // from column 2 back to column 1.
  EXPECT_EQ(NextCell({1, 18}, 3, 19, true), (CellPos{2, 1}));
  EXPECT_EQ(NextCell({2, 18}, 3, 19, true), (CellPos{1, 1}));
  EXPECT_EQ(NextCell({1, 5}, 3, 19, true), (CellPos{1, 6}));
  // Cut grid 7 × 18 horizontal: column 6 of row 17 back to column 1 of row 1.
  EXPECT_EQ(NextCell({6, 17}, 7, 18, false), (CellPos{1, 1}));
  EXPECT_EQ(NextCell({6, 3}, 7, 18, false), (CellPos{1, 4}));
  EXPECT_EQ(NextCell({2, 3}, 7, 18, false), (CellPos{3, 3}));
}

TEST(GridEntry, PasteFillsFreeCellsInReadingOrderOrNothing) {
  const std::string clip = "6000\t4\r\n\r\n5000\r\nabc\t3\r\nlength\tcount\n1,200\t3\n16.9\t3\n";
  const struct {
    bool vertical;
    std::vector<CellPos> at;  // where the four readable lines go
  } cases[] = {{false, {{2, 1}, {3, 1}, {4, 1}, {5, 1}}}, {true, {{1, 2}, {1, 3}, {1, 4}, {1, 5}}}};
  for (const auto& c : cases) {
    run::MemoryGrid cut(7, 18);
    cut.SetCell(1, 1, " 2995.  8");
    const PastePlan plan = PlanPaste(cut, clip, c.vertical);
    ASSERT_TRUE(ApplyPaste(cut, plan));
    EXPECT_EQ(cut.Cell(1, 1), " 2995.  8");  // a filled cell is never overwritten
    const std::vector<std::string> want = {" 6000.  4", " 5000.  1", " 1200.  3", "   17.  3"};
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_EQ(cut.Cell(c.at[i].col, c.at[i].row), want[i]) << c.vertical << i;
    // The heading line is skipped; the line with a number but no length is named.
    ASSERT_EQ(plan.unreadable.size(), 1u);
    EXPECT_EQ(plan.unreadable[0].first, 4);
    EXPECT_EQ(base::Cp932ToUtf8(PasteMessage(plan, "切断リスト")),
              "[#×]次の行は長さが読めないため、貼り付けていません：\n4 行目： abc 3");
  }
  // Three free cells for four lines: nothing changes, and the user is told how many lines.
  run::MemoryGrid small(3, 3);
  small.SetCell(2, 2, " 900.  1");
  const PastePlan plan = PlanPaste(small, "1000\n2000\n3000\n4000\n", false);
  EXPECT_FALSE(ApplyPaste(small, plan));
  EXPECT_EQ(small.Cell(1, 1), "");
  EXPECT_EQ(base::Cp932ToUtf8(PasteMessage(plan, "切断リスト")),
            "[#×]4 行を貼り付けようとしましたが、切断リストの空いたセルは 3 個です。\n"
            "1 行が入らないため、何も貼り付けていません。");
}

TEST(GridEntry, ClearSampleAndDate) {
  run::MemoryGrid grid(3, 19);
  grid.SetCell(0, 1, "1");
  SampleFill(grid, 5000, 500, 99);
  EXPECT_EQ(grid.Cell(1, 1), "5000.99");
  EXPECT_EQ(grid.Cell(2, 1), "5500.99");
  EXPECT_EQ(grid.Cell(1, 2), "6000.99");
  ClearGridCells(grid);
  EXPECT_EQ(grid.Cell(1, 1), "");
  EXPECT_EQ(grid.Cell(0, 1), "1");
  const DateParts d = SplitDate("2026/12/06");
  EXPECT_EQ(d.year, "26");
  EXPECT_EQ(d.month, "12");
  EXPECT_EQ(d.day, "06");
}

TEST(DateEntry, OnlyDatesACalendarHas) {
  const struct {
    const char *year, *month, *day;
    bool possible;
  } cases[] = {
      {"26", "12", "31", true},  {"26", "25", "", false},   {"26", " 0", "", false},
      {"26", "10", "45", false}, {"26", " 2", "28", true},  {"26", " 2", "29", false},
      {"28", " 2", "29", true},  {"26", " 4", "31", false}, {"26", "", "31", true},
      {"26", "", "32", false},   {"26", "1x", "", false},   {"  ", "", "", false},
      {" 5", " 1", " 1", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PossibleDate(c.year, c.month, c.day), c.possible)
        << c.year << "/" << c.month << "/" << c.day;
}

TEST(CellText, LinesSpreadOverTheCell) {
  testing::FakeCanvas canvas;
  canvas.font.height = 16;
  canvas.font.width = 8;
  text::DrawCellLines(canvas, {0, 100, 108, 140}, "A,B");
  std::vector<std::string> texts;
  for (const std::string& c : canvas.calls)
    if (c.rfind("cliptext", 0) == 0) texts.push_back(c);
  ASSERT_EQ(texts.size(), 2u);
  // gap = (40 - 32) / 2 = 4: lines at top + 2 and top + 22, centred in 108 pixels.
  EXPECT_EQ(texts[0], "cliptext 0 102 108 118 50 102 A");
  EXPECT_EQ(texts[1], "cliptext 0 122 108 138 50 122 B");
}

TEST(CellText, NarrowedToFitAndDollarBlank) {
  testing::FakeCanvas canvas;
  canvas.font.height = 16;
  canvas.font.width = 8;
  text::DrawFittedText(canvas, 0, 0, 40, "abcdefgh");         // 64 wide: narrowed to 5 a byte
  EXPECT_EQ(canvas.calls.back().rfind("font -16 0", 0), 0u);  // height restored, natural width
  bool narrowed = false;
  for (const std::string& c : canvas.calls) narrowed |= c.rfind("font 16 5 ", 0) == 0;
  EXPECT_TRUE(narrowed);
  EXPECT_NE(std::find(canvas.calls.begin(), canvas.calls.end(), "cliptext 0 0 40 16 0 0 abcdefgh"),
            canvas.calls.end());

  testing::FakeCanvas exact;
  exact.font.height = 16;
  exact.font.width = 8;
  text::DrawFittedText(exact, 0, 0, 64, "abcdefgh");  // exactly as wide: not narrowed
  EXPECT_EQ(exact.calls.size(), 2u);

  testing::FakeCanvas dollar;
  dollar.font.height = 16;
  text::DrawCellLines(dollar, {0, 0, 200, 20}, "a$b");
  EXPECT_NE(dollar.calls[0].find("a b"), std::string::npos);

  testing::FakeCanvas many;
  many.font.height = 2;
  text::DrawCellLines(many, {0, 0, 200, 20}, std::string(100, ','));
  int lines = 0;
  for (const std::string& c : many.calls) lines += c.rfind("cliptext", 0) == 0 ? 1 : 0;
  EXPECT_EQ(lines, 64);
  EXPECT_NE(many.calls[many.calls.size() - 2].find(std::string(37, ',')), std::string::npos);

  testing::FakeCanvas empty;
  empty.font.height = 16;
  text::DrawCellLines(empty, {0, 0, 100, 20}, "");
  EXPECT_EQ(empty.calls.size(), 2u);  // one empty line, then the height restored
}

}  // namespace
}  // namespace zarvel::job
