#include <gtest/gtest.h>

#include "base/cp932.h"
#include "drawing/pages.h"
#include "drawing/primitives.h"
#include "report/blocks.h"
#include "tests/fake_canvas.h"
#include "tests/page_reader.h"
#include "text/fields.h"
#include "text/fitted_text.h"
#include "text/output.h"
#include "text/report_lines.h"

namespace zarvel::text {
namespace {

using testing::PageCommands;
using testing::PageText;

class TextPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drawing::ResetPageContext();
    drawing::BeginPageDrawing(canvas, 0, 1800, 2700);
    drawing::ResetPages();
    drawing::SetRecording(true);
    drawing::SelectPage(11);
    ResetValueFields();
    ResetHeadingNumbers();
    report::ClearTemplateFlag(0);
  }
  void TearDown() override { drawing::SetRecording(false); }

  // Starts a clean page with the style set.
  void Fresh(double h, double w) {
    SetTextStyle(h, w, 0, 0);
    drawing::SelectPage(11);
  }

  testing::FakeCanvas canvas;
};

TEST_F(TextPageTest, StyleSizes) {
  SetTextStyle(3.0, 0, 0, 0);
  EXPECT_EQ(TextStyle().width, 1.5);
  EXPECT_EQ(TextStyle().device_height, 30);
  EXPECT_EQ(TextStyle().device_width, 15);
  EXPECT_EQ(PageCommands(11),
            (std::vector<std::string>{"font 30 14 0 0", "font-colour 0x000000", "brush-style 1"}));
  SetTextStyle(-20, 1, -90, 0x11);
  EXPECT_DOUBLE_EQ(TextStyle().height, 2.01);
  EXPECT_EQ(TextStyle().angle, 270);
  EXPECT_EQ(TextStyle().angle_tenths, 2700);
  SetTextStyle(0.1, 0.1, 0, 0);  // device sizes never below 6 and 4
  EXPECT_EQ(TextStyle().device_height, 6);
  EXPECT_EQ(TextStyle().device_width, 4);
  const StFont kept = TextStyle();
  SetTextStyle(5, 5, 45, 2);
  RestoreTextStyle(kept);
  EXPECT_EQ(TextStyle().height, 0.1);
  EXPECT_EQ(TextStyle().font_code, 0);
}

TEST_F(TextPageTest, CellsOnTheByteColumnGrid) {
  Fresh(3.0, 0);  // 15 dots a column
  PutTextAt(0, 0, "AB" + base::Lit("漢") + "$C");
  EXPECT_EQ(PageCommands(11, "text"),
            (std::vector<std::string>{"text 1.0 1.0 \"A\"", "text 17.0 1.0 \"B\"",
                                      "text 31.0 1.0 \"" + base::Lit("漢") + "\"",
                                      "text 77.0 1.0 \"C\""}));
  drawing::SelectPage(11);
  PutTextAt(0, 0, std::string("A ") + base::Lit("　") + "\x82");  // blanks and a lone lead byte
  EXPECT_EQ(PageCommands(11, "text"), (std::vector<std::string>{"text 1.0 1.0 \"A\""}));
  drawing::SelectPage(11);
  DrawTextCell(10.2, 10.2, "x");
  DrawTextCell(12.0, 12.0, "y");
  EXPECT_EQ(PageCommands(11, "text"),
            (std::vector<std::string>{"text 11.0 11.0 \"x\"", "text 13.0 13.0 \"y\""}));
}

TEST_F(TextPageTest, RuleCharactersAreDrawnTwice) {
  Fresh(4, 2);  // 20 dots a column
  PutTextAt(0, 0, base::Lit("──│"));
  // Each "─" a quarter column left and right of its cell; "│" a third above and below.
  EXPECT_EQ(
      PageCommands(11, "text"),
      (std::vector<std::string>{
          "text -3.0 1.0 \"" + base::Lit("─") + "\"", "text 7.0 1.0 \"" + base::Lit("─") + "\"",
          "text 37.0 1.0 \"" + base::Lit("─") + "\"", "text 47.0 1.0 \"" + base::Lit("─") + "\"",
          "text 81.0 -3.0 \"" + base::Lit("│") + "\"",
          "text 81.0 7.0 \"" + base::Lit("│") + "\""}));
}

TEST_F(TextPageTest, RotatedText) {
  SetTextStyle(4, 2, 90, 0);
  drawing::SelectPage(11);
  PutTextAt(10, 10, "AB");  // upwards on the page
  const auto texts = PageCommands(11, "text");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "text 101.0 101.0 \"A\"");
  EXPECT_EQ(texts[1], "text 101.0 81.0 \"B\"");
}

TEST_F(TextPageTest, UnitSuperscripts) {
  Fresh(4, 2);
  PutTextAt(0, 0, "N/mm2");
  EXPECT_EQ(PageText(11), "N/mm2");
  const auto fonts = PageCommands(11, "font ");
  ASSERT_EQ(fonts.size(), 2u);
  EXPECT_EQ(fonts[0], "font 30 20 0 0");  // 3/4 height, same width
  EXPECT_EQ(fonts[1], "font 40 20 0 0");
  EXPECT_EQ(PageCommands(11, "text").back(), "text 81.0 1.0 \"2\"");

  for (auto [in, out] : {std::pair{"1.5x$^6", "1.5x106"}, std::pair{"2.0x$~3", "2.0x10-3"},
                         std::pair{"kN/m2 a)2", "kN/m2a)2"}}) {
    Fresh(4, 2);
    PutTextAt(0, 0, in);
    EXPECT_EQ(PageText(11), out);
  }
  // The earlier marker in the text goes first, whatever its row: ")2" before "mm2".
  Fresh(4, 2);
  PutTextAt(0, 0, "(a)2 mm2");
  EXPECT_EQ(PageCommands(11, "font ").size(), 4u);
  const auto texts = PageCommands(11, "text");
  EXPECT_EQ(texts[3], "text 61.0 1.0 \"2\"");
}

TEST_F(TextPageTest, SubscriptsPrimesAndEnlargedLetters) {
  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, base::Lit("βy"));
  // y small (3 mm, 1.75 mm wide) 1.75 columns on and 3/8 H lower; β stays in the line.
  EXPECT_EQ(PageCommands(11, "text"),
            (std::vector<std::string>{"text 37.0 17.0 \"y\"",
                                      "text 1.0 1.0 \"" + base::Lit("β") + "\""}));
  EXPECT_EQ(PageCommands(11, "font ").front(), "font 30 16 0 0");

  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, base::Lit("σy"));
  const auto s = PageCommands(11);
  EXPECT_EQ(PageCommands(11, "font ").front(), "font 54 26 0 0");  // 11/8 H, half of that wide
  EXPECT_EQ(PageText(11), base::Lit("σ") + "y");

  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, base::Lit("β'y"));
  EXPECT_EQ(PageCommands(11, "text"),
            (std::vector<std::string>{"text 37.0 1.0 \"'\"", "text 41.0 17.0 \"y\"",
                                      "text 1.0 1.0 \"" + base::Lit("β") + "\""}));

  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, base::Lit("Ｌx/2"));
  EXPECT_EQ(PageText(11), base::Lit("Ｌ") + "x/2");
  EXPECT_EQ(PageCommands(11, "text")[1], "text 37.0 17.0 \"x\"");

  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, base::Lit("αβ"));
  EXPECT_EQ(PageText(11), base::Lit("α") + base::Lit("β"));
  EXPECT_EQ(PageCommands(11, "text")[0],
            "text -3.0 -13.0 \"" + base::Lit("α") + "\"");  // raised, left

  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "N~=100");
  EXPECT_EQ(PageText(11), base::Lit("－") + base::Lit("Ｎ") + "=100");
  EXPECT_EQ(PageCommands(11, "text")[0],
            "text 1.0 -17.0 \"" + base::Lit("－") + "\"");    // half a height up
  EXPECT_EQ(PageCommands(11, "font ")[0], "font 40 16 0 0");  // Ｎ narrowed

  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "a$(b$)");
  EXPECT_EQ(PageText(11), "()ab");  // the doubled parentheses first, then the line
  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "plain text");
  const auto notation = PageCommands(11);
  Fresh(4, 2);
  PutTextAt(0, 0, "plain text");
  EXPECT_EQ(PageCommands(11), notation);
}

TEST_F(TextPageTest, PlaceholdersRegisterFields) {
  Fresh(4, 2);
  PutNotationText(10, 20, 0, 0, "Total ###.## kg");
  EXPECT_EQ(PageText(11), "Totalkg");
  ASSERT_EQ(AnonymousFieldCount(), 1);
  const ValueField* f = FieldAt(0);
  EXPECT_EQ(f->length, 6);
  EXPECT_EQ(f->decimals, 2);
  EXPECT_DOUBLE_EQ(f->along, 12);
  EXPECT_DOUBLE_EQ(f->field_width, 12);
  EXPECT_EQ(f->x, 10);

  PutNotationText(0, 0, 0, 0, "L=###");
  EXPECT_EQ(AnonymousFieldCount(), 2);
  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "Lx### end ##.");
  EXPECT_EQ(PageText(11), "end.");  // the label is not drawn, the full stop stays
  const ValueField* named = FieldAt(kFirstNamedField);
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->name, "Lx");
  EXPECT_EQ(named->length, 5);
  EXPECT_DOUBLE_EQ(named->along, 0);
  const ValueField* dot = FieldAt(2);
  ASSERT_NE(dot, nullptr);
  EXPECT_EQ(dot->length, 2);
  EXPECT_EQ(dot->decimals, 0);

  EXPECT_EQ(NextValueField(), 0);
  EXPECT_EQ(NextValueField(), 1);
  EXPECT_EQ(NextValueField(), 2);
  EXPECT_EQ(NextValueField(), -1);
  ResetValueFields();
  EXPECT_EQ(FieldAt(0), nullptr);
}

TEST_F(TextPageTest, TableFullOfFieldsStaysInBounds) {
  Fresh(4, 2);
  for (int i = 0; i < 300; ++i) PutNotationText(0, 0, 0, 0, "a" + std::to_string(i) + "##");
  // Named fields stop at 1199; the table is never written past its end.
  EXPECT_EQ(FieldAt(kNamedFieldEnd), nullptr);
  ASSERT_NE(FieldAt(kNamedFieldEnd - 1), nullptr);
  EXPECT_EQ(FieldAt(kNamedFieldEnd - 1)->name, "a199");
  for (int i = 0; i < 1100; ++i) PutNotationText(0, 0, 0, 0, "#");
  EXPECT_EQ(AnonymousFieldCount(), kAnonymousFields);
  // Once the anonymous fields are full, a labelled placeholder is not registered either.
  PutNotationText(0, 0, 0, 0, "b##");
  EXPECT_EQ(FieldAt(kNamedFieldEnd), nullptr);

  // Fills of fields that do not exist draw nothing and leave the read cursor where it was.
  drawing::SelectPage(11);
  FillValue(5000, 1, false);
  FillValue(kFieldTableSize, 1, false);
  FillTextLeft(-7, "x", false);
  FillTextCentred(kNamedFieldEnd, "x", false);
  FillNamedValue("nope", 1, false);
  FillNamedValue("a200", 1, false);  // beyond the named fields' room
  FillNamedValue("b", 1, false);
  EXPECT_TRUE(PageCommands(11).empty());
  EXPECT_EQ(NextValueField(), 0);
  // The last fields that did fit are filled as usual.
  FillNamedValue("a199", 7, false);
  FillTextLeft(kAnonymousFields - 1, "z", false);
  EXPECT_EQ(PageText(11), "7z");
}

TEST_F(TextPageTest, FillValueCentresAndCuts) {
  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "###.##");
  PutNotationText(0, 0, 0, 0, "###.#");
  drawing::SelectPage(11);
  FillValue(-1, 3.14159, false);
  EXPECT_EQ(PageText(11), "3.14");  // " 3.14": five columns, centred in six
  EXPECT_EQ(PageCommands(11, "text")[0], "text 31.0 1.0 \"3\"");
  drawing::SelectPage(11);
  FillValue(-1, -1234.5, false);
  EXPECT_EQ(PageText(11), "234.5");
  drawing::SelectPage(11);
  FillValue(-1, 1, false);  // no field left
  EXPECT_TRUE(PageCommands(11, "text").empty());
}

TEST_F(TextPageTest, FmtPrintGrowsThenDropsDecimals) {
  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "###.##");
  drawing::SelectPage(11);
  FmtPrint(0, 123456.789, false);
  EXPECT_EQ(PageText(11), "123457");
  EXPECT_EQ(PageCommands(11, "text")[0], "text 1.0 1.0 \"1\"");  // from the first column

  // A narrower current width makes the 6-column field 10 columns wide.
  SetTextStyle(4, 1.2, 0, 0);
  drawing::SelectPage(11);
  FmtPrint(0, 12345.678, false);
  EXPECT_EQ(PageText(11), "12345.68");

  SetTextStyle(4, 2, 0, 0);
  drawing::SelectPage(11);
  FmtPrint(0, 123456789.0, false);    // too wide even without decimals: centred and cut,
  EXPECT_EQ(PageText(11), "789.00");  // with the field's own decimals

  PutNotationText(0, 0, 0, 0, "Wt####.###");
  drawing::SelectPage(11);
  FillNamedValue("Wt", 0.81532, false);
  EXPECT_EQ(PageText(11), "0.815");
}

TEST_F(TextPageTest, TextFields) {
  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "##########");
  PutNotationText(0, 0, 0, 0, "###");
  drawing::SelectPage(11);
  FillTextLeft(0, base::Lit("　梁1　"), false);
  EXPECT_EQ(PageCommands(11, "text")[0], "text 1.0 1.0 \"" + base::Lit("梁") + "\"");
  drawing::SelectPage(11);
  FillTextLeft(1, "toolong", false);  // longer than the field: centred
  EXPECT_EQ(PageCommands(11, "text")[0], "text -37.0 1.0 \"t\"");
  drawing::SelectPage(11);
  FillTextCentred(0, "ab", false);
  EXPECT_EQ(PageCommands(11, "text")[0], "text 81.0 1.0 \"a\"");
}

TEST_F(TextPageTest, HeadingAndListNumbers) {
  Fresh(4, 2);
  for (const char* line :
       {"%.概要", "%.%目的", "%.%.%範囲", "%)a", "%)b", "%.設計", "%)c", "xxxxxxxxx%.late"}) {
    PutReportLine(0, 0, base::Lit(line));
  }
  EXPECT_EQ(PageText(11), base::Lit("1.概要1.1目的1.1.1範囲1)a2)b2.設計1)cxxxxxxxxx%.late"));
}

TEST_F(TextPageTest, NotesAreDropped) {
  Fresh(4, 2);
  PutReportLine(0, 0, base::Lit("説明　【社内メモ】"));
  EXPECT_EQ(PageText(11), base::Lit("説明"));
}

TEST_F(TextPageTest, RuledTable) {
  Fresh(4, 2);
  PutReportLine(0, 0, base::Lit("┌─┬─┐"));
  PutReportLine(0, 4, base::Lit("│ab│cd│"));
  PutReportLine(0, 8, base::Lit("└─┴─┘"));
  EXPECT_EQ(PageText(11), "abcd");  // no box character as text
  // One rule across the top and one across the bottom, from column 1's centre (2 mm) to
  // column 9's (18 mm) at mid-row (+2 mm); three rules down from the first row's middle to the
  // third's.
  std::vector<std::string> rules;
  for (const std::string& c : PageCommands(11))
    if (c.rfind("move ", 0) == 0 || c.rfind("line ", 0) == 0) rules.push_back(c);
  EXPECT_EQ(rules, (std::vector<std::string>{"move 21.0 21.0", "line 181.0 21.0",       // top
                                             "move 21.0 21.0", "line 21.0 101.0",       // left
                                             "move 101.0 21.0", "line 101.0 101.0",     // middle
                                             "move 21.0 101.0", "line 181.0 101.0",     // bottom
                                             "move 181.0 21.0", "line 181.0 101.0"}));  // right
  // The cell texts are centred between their rules.
  EXPECT_EQ(PageCommands(11, "text")[0], "text 41.0 41.0 \"a\"");
  EXPECT_EQ(PageCommands(11, "text")[2], "text 121.0 41.0 \"c\"");
}

TEST_F(TextPageTest, RulesStopBelowColumn256) {
  Fresh(1, 0.5);
  // A rule from column 251 closed at column 255 is drawn; the one closed exactly at column 256
  // is not (columns count from 1, the character at byte 255 is column 256).
  std::string line(250, ' ');
  line += base::Lit("┌─┐");  // columns 251, 253, 255
  std::string beyond(251, ' ');
  beyond += base::Lit("┌─┐");  // columns 252, 254, 256
  std::string kept = line;
  DrawTableRules(0, 0, kept);
  EXPECT_EQ(PageCommands(11, "line ").size(), 1u);  // the rule across
  drawing::SelectPage(11);
  DrawTableRules(0, 0, beyond);
  EXPECT_TRUE(PageCommands(11, "line ").empty());  // no horizontal rule: its end is column 256
  EXPECT_EQ(beyond.substr(251 + 4, 2), base::Lit("┐"));  // and the character is left as it was
}

TEST_F(TextPageTest, OneResetForThePageContext) {
  Fresh(4, 2);
  PutNotationText(0, 0, 0, 0, "Lx### ###");
  report::SetTemplateFlag('Q');
  PutReportLine(0, 0, base::Lit("%.a"));
  drawing::CanvasMoveTo(canvas, 1, 1);
  ASSERT_GT(drawing::PageCapacity(11), 0);
  drawing::ResetPageContext();
  EXPECT_EQ(TextStyle().height, 0);
  EXPECT_EQ(AnonymousFieldCount(), 0);
  EXPECT_EQ(FieldAt(kFirstNamedField), nullptr);
  EXPECT_FALSE(report::TemplateFlag('Q'));
  EXPECT_EQ(drawing::PageCapacity(11), 0);
  EXPECT_EQ(drawing::LastPageIndex(), 0);
  EXPECT_FALSE(drawing::Recording());
  EXPECT_EQ(drawing::DrawingCanvas(), nullptr);
  // The heading counters start again.
  drawing::BeginPageDrawing(canvas, 0, 1800, 2700);
  drawing::SetRecording(true);
  Fresh(4, 2);
  PutReportLine(0, 0, base::Lit("%.a"));
  EXPECT_EQ(PageText(11), "1.a");
}

TEST_F(TextPageTest, LoneRuleCharacterIsText) {
  Fresh(4, 2);
  PutReportLine(0, 0, base::Lit("a─b"));
  EXPECT_EQ(PageText(11), "a" + base::Lit("─") + base::Lit("─") + "b");
  EXPECT_TRUE(PageCommands(11, "line ").empty());
}

TEST_F(TextPageTest, FieldInACellIsWidenedToTheCell) {
  Fresh(4, 2);
  PutReportLine(0, 0, base::Lit("│############│"));
  ASSERT_EQ(AnonymousFieldCount(), 1);
  const ValueField* f = FieldAt(0);
  EXPECT_EQ(f->length, 12);
  EXPECT_DOUBLE_EQ(f->field_width, 14 * 2.0);
  EXPECT_DOUBLE_EQ(f->left_limit, 1 * 2.0);
}

// Template blocks.
const std::vector<std::string> kStockGrid = {
    "LF3-|" + base::Lit("　　　┌──────┬──────┐"),
    "----|" + base::Lit("　　 &│############│############│"),
    "----|" + base::Lit("　　　├──────┼──────┤"),
    "----|" + base::Lit("　　　└──────┴──────┘"),
};
const std::vector<std::string> kTotals = {
    "4.0-|" + base::Lit("　　─────"),
    "3.2-|" + base::Lit("　　 素材延長=####.###  (m)"),
    "4.8-X" + base::Lit("　　 素材重量=####.###  (t)"),
    "3.2-|" + base::Lit("　　─────"),
};

TEST_F(TextPageTest, TableBlockRepeatsItsRow) {
  SetTextStyle(3.6, 0, 0, 1);
  EXPECT_NEAR(report::ExecPrintBlock(10, kStockGrid, 1, 3), 10 + 20.16, 1e-9);
  EXPECT_EQ(AnonymousFieldCount(), 6);  // two per row, row after row
  ResetValueFields();
  EXPECT_NEAR(report::ExecPrintBlock(10, kStockGrid, 1, 1), 10 + 3 * 2.88, 1e-9);
  EXPECT_EQ(AnonymousFieldCount(), 2);
  EXPECT_NEAR(report::ExecPrintBlock(10, kStockGrid, 0, 0), 10 + 4 * 2.88, 1e-9);
}

TEST_F(TextPageTest, ConditionLetters) {
  SetTextStyle(3.6, 0, 0, 1);
  EXPECT_NEAR(report::ExecPrintBlock(0, kTotals, 0, 0), 10.4, 1e-9);
  EXPECT_EQ(AnonymousFieldCount(), 1);
  report::SetTemplateFlag('X');
  EXPECT_NEAR(report::ExecPrintBlock(0, kTotals, 0, 0), 15.2, 1e-9);
  EXPECT_EQ(AnonymousFieldCount(), 2);
  EXPECT_FALSE(report::TemplateFlag('X'));  // cleared after the block
}

TEST_F(TextPageTest, AdvancesFromPrefixes) {
  SetTextStyle(3.6, 0, 0, 1);
  EXPECT_NEAR(report::ExecPrintBlock(0, {"----|" + base::Lit("　　 　≪切 断 リ ス ト≫")}, 0, 0),
              5.76, 1e-9);
  EXPECT_NEAR(report::ExecPrintBlock(20, {"F1--|a", "-F2-|b", "0---|c", "+0--|d", "----|e"}, 0, 0),
              20 + 6.4 - 5.76, 1e-9);
  EXPECT_NEAR(report::ExecPrintBlock(0, {"F4--|a", "----|b", "", "F1--|never"}, 0, 0), 2 * 2.52,
              1e-9);
  // "-F" turns the advance in force upwards even when no F1..F4 names one: a kept 2.88 and a
  // named 2.52 alike.
  EXPECT_NEAR(report::ExecPrintBlock(20, {"F3--|a", "-F--|b", "-F4-|c"}, 0, 0),
              20 + 2.88 - 2.88 - 2.52, 1e-9);
  EXPECT_NEAR(report::ExecPrintBlock(20, {"-Fx-|a"}, 0, 0), 20 - 5.76, 1e-9);
  // The block leaves the style it found, in font code 1.
  EXPECT_EQ(TextStyle().font_code, 1);
  EXPECT_NEAR(TextStyle().height, 3.6, 1e-12);
}

// Every start on the page and every room that is exactly as wide as the text: whatever the
// rounding of the division, the text fits whole.
TEST(FittedText, ATextExactlyAsWideAsItsRoomKeepsEveryCharacter) {
  const std::string mark = "2G1-X3Y4-ABCD15";
  for (int i = 0; i < 2000; ++i) {
    const double room = 9.5 + i * 0.0137;
    const FittedText f = FitText(mark, 5.08, 2.54, room, 0);
    ASSERT_EQ(f.lines, std::vector<std::string>{mark}) << room;
    EXPECT_FALSE(f.cut);
    EXPECT_LE(TextAdvance(f.lines[0], f.width), room + 1e-9);
  }
}

TEST(FittedText, NarrowerThenSmallerThenTwoLinesThenCut) {
  const std::string dots = base::Lit("…");
  struct Case {
    const char* text;
    double room;
    double room_height;
    std::vector<std::string> lines;
    double height;  // 0: as given (4)
    bool cut;
  };
  const Case cases[] = {
      {"ABCD", 8, 0, {"ABCD"}, 0, false},                      // as it is: 2 mm a column
      {"ABCDEFGH", 12, 0, {"ABCDEFGH"}, 0, false},             // narrower: 1.5 mm
      {"ABCDEFGHIJ", 6, 0, {"ABCDEFGHIJ"}, 2, false},          // 0.6 mm is 0.3 of 2 mm: smaller
      {"ABCDEFGHIJKL", 6, 4, {"ABCDEF", "GHIJKL"}, 2, false},  // two lines of 2 mm
      {"ABCDEFGHIJKL", 6, 3, {"ABCDEFGH" + dots}, 2, true},    // no room for two: cut
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", 6, 8, {"ABCDEFGHIJ", "KLMNOPQR" + dots}, 2, true},
      {"", 6, 8, {}, 0, false},
      {"AB", 0, 8, {}, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.room));
    const FittedText f = FitText(c.text, 4, 2, c.room, c.room_height);
    EXPECT_EQ(f.lines, c.lines);
    EXPECT_EQ(f.cut, c.cut);
    EXPECT_NEAR(f.height, c.height == 0 ? 4 : c.height, 1e-9);
    for (const std::string& line : f.lines) EXPECT_LE(TextAdvance(line, f.width), c.room + 1e-9);
    EXPECT_LE(f.top + f.height * static_cast<double>(f.lines.size()),
              std::max(4.0, c.room_height) + 1e-9);
  }
  // Two lines break between whole characters, the first the longer on a tie.
  const std::string wide = base::Lit("小梁・間柱") + "X";
  const FittedText two = FitText(wide, 4, 2, 4, 4);
  ASSERT_EQ(two.lines.size(), 2u);
  EXPECT_EQ(two.lines[0] + two.lines[1], wide);
  EXPECT_EQ(two.lines[0], base::Lit("小梁・"));
}

TEST(FittedText, RunsWrapBetweenWholeRuns) {
  struct Case {
    std::vector<std::string> runs;
    double room;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{"G1 ×2, ", "G2"}, 20, {"G1 ×2, G2"}},
      {{"2C1, ", "2C14, ", "2C31"}, 10, {"2C1, 2C14,", "  2C31"}},
      {{"LONGER-THAN-A-LINE, ", "B"}, 5, {"LONGER-THAN-A-LINE,", "  B"}},
      {{"A, ", "B"}, 3, {"A,", "  B"}},
      {{}, 5, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WrapRuns(c.runs, c.room, 1, "  "), c.lines) << c.runs.size() << " " << c.room;
}

}  // namespace
}  // namespace zarvel::text
