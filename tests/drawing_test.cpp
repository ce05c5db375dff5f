#include <gtest/gtest.h>

#include <vector>

#include "base/cp932.h"
#include "drawing/font.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "drawing/primitives.h"
#include "tests/fake_canvas.h"

namespace zarvel::drawing {
namespace {

using testing::FakeCanvas;

std::vector<uint32_t> Words(int slot) {
  const auto w = PageWords(slot);
  return {w.begin(), w.end()};
}

// Records on a fresh page table, drawing on the 1800 × 2700 surface.
class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPageContext();  // nothing left from an earlier test or repetition
    BeginPageDrawing(canvas, 0, kRecordingWidth, kRecordingHeight);
    ResetPages();
    SetRecording(true);
    SelectPage(1);
  }
  void TearDown() override { SetRecording(false); }

  FakeCanvas canvas;
};

TEST(CanvasFonts, FacesStylesAndEscapement) {
  EXPECT_EQ(NormaliseEscapement(-900), 2700);
  EXPECT_EQ(NormaliseEscapement(4500), 900);
  EXPECT_EQ(NormaliseEscapement(3600), 3600);
  EXPECT_EQ(NormaliseEscapement(-5000), 2200);
  EXPECT_EQ(NormaliseEscapement(0), 0);

  const LogicalFont bold = MakeLogicalFont(40, 20, 0, 0x11);
  EXPECT_EQ(bold.face_name, base::Lit("ＭＳ ゴシック"));
  EXPECT_EQ(bold.weight, 700);
  EXPECT_EQ(bold.italic, 0);
  EXPECT_EQ(bold.char_set, 128);
  const LogicalFont meiryo = MakeLogicalFont(40, 20, -900, 4);
  EXPECT_EQ(meiryo.face_name, base::Lit("メイリオ"));
  EXPECT_EQ(meiryo.weight, 400);
  EXPECT_EQ(meiryo.escapement, 2700);
  EXPECT_EQ(MakeLogicalFont(1, 1, 0, 0x20).italic, 1);
  EXPECT_EQ(FaceForCode(1), base::Lit("ＭＳ 明朝"));
  EXPECT_EQ(FaceForCode(2), base::Lit("ＭＳ Ｐゴシック"));
  EXPECT_EQ(FaceForCode(3), base::Lit("ＭＳ Ｐ明朝"));
  EXPECT_EQ(FaceForCode(0), base::Lit("ＭＳ ゴシック"));
}

TEST_F(RecordingTest, CommandWords) {
  CanvasPenWidth(canvas, 2.2f);
  EXPECT_EQ(Words(1), (std::vector<uint32_t>{0x403D4007, 3, 0x400CCCCD}));
  EXPECT_EQ(canvas.PenWidth(), 2);  // the live pen follows while recording

  SelectPage(2);
  CanvasText(canvas, 1.5f, 2.0f, "A");
  const std::vector<uint32_t> text = Words(2);
  ASSERT_EQ(text.size(), 5u);
  EXPECT_EQ(text[0], 0x403D4005u);
  EXPECT_EQ(text[1], 5u);
  EXPECT_EQ(WordFloat(text[2]), 1.5f);
  EXPECT_EQ(text[4] & 0xFFFFFF, 0x41u);  // 'A', its terminator, the zero byte

  SelectPage(3);
  CanvasText(canvas, 0, 0, " ");
  CanvasText(canvas, 0, 0, base::Lit("　"));
  EXPECT_TRUE(Words(3).empty());
  CanvasText(canvas, 0, 0, base::Lit("　　"));
  ASSERT_EQ(Words(3).size(), 5u);
  EXPECT_EQ(Words(3)[4] & 0xFFFF, 0x4081u);  // the first full-width space
  EXPECT_TRUE(canvas.calls.empty() || canvas.calls.back().rfind("text", 0) != 0);

  SelectPage(4);
  CanvasSetFont(canvas, 40, 20, 900, 1);
  CanvasFontColour(canvas, 0x123456);
  CanvasPenStyle(canvas, 0);
  CanvasBrushStyle(canvas, 1);
  CanvasMoveTo(canvas, 10, 20);
  CanvasLineTo(canvas, 30, 40);
  EXPECT_EQ(Words(4), (std::vector<uint32_t>{0x403D4003,
                                             6,
                                             40,
                                             20,
                                             900,
                                             1,  //
                                             0x403D4004,
                                             3,
                                             0x123456,  //
                                             0x403D4008,
                                             3,
                                             0,  //
                                             0x403D400A,
                                             3,
                                             1,  //
                                             0x403D400B,
                                             4,
                                             FloatWord(10),
                                             FloatWord(20),
                                             0x403D400C,
                                             4,
                                             FloatWord(30),
                                             FloatWord(40)}));
  EXPECT_EQ(TotalCommandBytes(), (3 + 5 + 5 + 23) * 4);
}

TEST_F(RecordingTest, PageTable) {
  EXPECT_EQ(CurrentPageIndex(), 1);
  EXPECT_EQ(NewPage(), 2);
  EXPECT_EQ(LastPageIndex(), 2);
  SelectPage(5000);  // ignored
  EXPECT_EQ(CurrentPageIndex(), 2);
  SelectPage(-1);
  EXPECT_EQ(CurrentPageIndex(), 2);
  SelectPage(1023);
  CanvasMoveTo(canvas, 1, 1);
  EXPECT_EQ(NewPage(), 1023);  // stays, and is not cleared
  EXPECT_EQ(Words(1023).size(), 4u);
  ResetPages();
  EXPECT_EQ(TotalCommandBytes(), 0);
  EXPECT_EQ(LastPageIndex(), 0);
}

TEST_F(RecordingTest, CapacityGrowsByTheCommandAnd1024) {
  SelectPage(900);
  ASSERT_EQ(PageCapacity(900), 0);
  CanvasMoveTo(canvas, 1, 1);
  EXPECT_EQ(PageCapacity(900), 1028);
  for (int i = 0; i < 256; ++i) CanvasMoveTo(canvas, 1, 1);  // 257 × 4 = 1028 words
  EXPECT_EQ(PageCapacity(900), 1028);
  CanvasMoveTo(canvas, 1, 1);
  EXPECT_EQ(PageCapacity(900), 1028 + 4 + 1024);
  ResetPages();
  EXPECT_EQ(PageCapacity(900), 2056);  // kept for the next report
}

TEST_F(RecordingTest, PaintingDirectlyWhenNotRecording) {
  SetRecording(false);
  CanvasMoveTo(canvas, 9.95f, 3.2f);
  CanvasLineTo(canvas, 20.0f, 30.0f);
  CanvasText(canvas, 5.9f, 6.95f, "AB");
  CanvasText(canvas, 5, 5, " ");
  EXPECT_EQ(canvas.calls, (std::vector<std::string>{"moveto 10 3", "lineto 20 30", "text 6 7 AB"}));
  EXPECT_TRUE(Words(1).empty());
}

TEST(Primitives, GreyLevels) {
  EXPECT_EQ(GreyOf(0x0000FF), 0x1F1F1Fu);
  EXPECT_EQ(GreyOf(0x00FF00), 0x8F8F8Fu);
  EXPECT_EQ(GreyOf(0xFF0000), 0x4F4F4Fu);
  EXPECT_EQ(GreyOf(0xFFFFFF), 0xFFFFFFu);
  for (uint32_t g : {0u, 0x40u, 0x80u, 0xC0u}) EXPECT_EQ(GreyOf(g * 0x10101), g * 0x10101);
}

TEST(Primitives, BeginPageDrawingMargins) {
  FakeCanvas canvas;
  BeginPageDrawing(canvas, -1, 1800, 2700);
  EXPECT_EQ(Drawing().top, 5);
  EXPECT_EQ(Drawing().dots_per_mm, 10);
  EXPECT_EQ(Drawing().bottom, 270);
  BeginPageDrawing(canvas, 0, 0, 0);  // from the clip rectangle
  EXPECT_EQ(Drawing().top, 0);
  EXPECT_EQ(Drawing().dots_per_mm, 10);
  BeginPageDrawing(canvas, 7, 10, 20);
  EXPECT_DOUBLE_EQ(Drawing().dots_per_mm, 0.1);
  EXPECT_DOUBLE_EQ(Drawing().bottom, 200);
  EXPECT_DOUBLE_EQ(SheetToDotY(3), 1.0);
}

TEST_F(RecordingTest, SnappingThinAndThickPens) {
  SetLineWeight(0);  // 1 dot
  MoveToSheet(12.45, 12.45);
  SetLineWeight(1);  // 2.2: a 2-dot pen is still thin
  MoveToSheet(12.45, 12.45);
  CanvasPenWidth(canvas, 3.0f);
  MoveToSheet(12.45, 12.45);
  const std::vector<uint32_t> w = Words(1);
  ASSERT_EQ(w.size(), 3u + 4 + 3 + 4 + 3 + 4);
  EXPECT_EQ(WordFloat(w[2]), 1.0f);
  EXPECT_EQ(WordFloat(w[5]), 125.0f);
  EXPECT_EQ(WordFloat(w[9]), 2.2f);
  EXPECT_EQ(WordFloat(w[12]), 125.0f);
  EXPECT_EQ(WordFloat(w[19]), 124.0f);
  EXPECT_EQ(Drawing().pen_x, 124.5);  // unsnapped
}

TEST_F(RecordingTest, DashedLineBecomesPieces) {
  SetLineWeight(0);
  MoveToDot(100, 50);
  SelectPage(2);
  LineToSheet(11.0, 5.0, 1, 1);  // 110 dots: a 10-dot line
  // pen style, then: line 0 (zero length), move 0, move 3, line 6, move 6, move 9.
  const std::vector<std::string> seen = DescribePage(2);
  EXPECT_EQ(seen, (std::vector<std::string>{"pen-style 0", "line 101.0 51.0", "move 101.0 51.0",
                                            "move 103.0 51.0", "line 107.0 51.0", "move 107.0 51.0",
                                            "move 109.0 51.0"}));
  EXPECT_EQ(Drawing().pen_x, 109);
}

TEST_F(RecordingTest, LineColourAndKeepingIt) {
  SetLineColour(0x0000FF);
  DrawSheetLine(0, 0, 10, 0, 0, 1);
  DrawSheetLine(0, 0, 10, 0, 0, 0x00FF00);
  const std::vector<std::string> seen = DescribePage(1);
  // Colour 1 keeps the grey set before; another value is set as it is, without greying.
  EXPECT_EQ(seen, (std::vector<std::string>{"pen-colour 0x1F1F1F", "move 1.0 1.0", "pen-style 0",
                                            "line 101.0 1.0", "move 1.0 1.0", "pen-colour 0x00FF00",
                                            "pen-style 0", "line 101.0 1.0"}));
}

class PlaybackTest : public RecordingTest {};

TEST_F(PlaybackTest, HalfSizeBitmap) {
  SelectPage(11);
  CanvasPenWidth(canvas, 2.2f);
  CanvasMoveTo(canvas, 125, 125);
  CanvasSetFont(canvas, 40, 20, 0, 0);
  CanvasText(canvas, 100, 201, "X");
  SetRecording(false);

  FakeCanvas target;
  target.clip = {0, 0, 900, 1350};
  PlayTarget t{PlayTarget::Kind::kBitmap, &target, 900, 1350};
  const PlayGeometry g = GeometryFor(t, kRecordingWidth, kRecordingHeight);
  EXPECT_DOUBLE_EQ(g.sx, 0.5);
  EXPECT_NEAR(g.pen_scale, 0.7071, 1e-4);
  PlayReportPage(t, 1, kRecordingWidth, kRecordingHeight, 0xE0F0F0);
  EXPECT_EQ(target.calls,
            (std::vector<std::string>{
                "brush E0F0F0", "brushstyle 0", "fill 0 0 900 1350", "penwidth 2", "moveto 63 63",
                "font 20 10 0 w400 i0 " + base::Lit("ＭＳ ゴシック"), "text 50 100 X"}));
}

TEST_F(PlaybackTest, PrinterAt600Dpi) {
  SelectPage(11);
  CanvasPenWidth(canvas, 1.0f);
  CanvasMoveTo(canvas, 0, 0);
  SetRecording(false);
  FakeCanvas printer;
  PlayTarget t;
  t.kind = PlayTarget::Kind::kPrinter;
  t.canvas = &printer;
  t.log_pixels_x = t.log_pixels_y = 600;
  const PlayGeometry g = GeometryFor(t, kRecordingWidth, kRecordingHeight);
  EXPECT_NEAR(g.sx, 2.3622, 1e-4);
  EXPECT_NEAR(g.ox, 354.33, 1e-2);
  PlayReportPage(t, 1, kRecordingWidth, kRecordingHeight, 0xFFFFFF);
  // No fill on paper; the page body starts 15 mm in.
  EXPECT_EQ(printer.calls, (std::vector<std::string>{"penwidth 3", "moveto 355 355"}));

  t.physical_offset_x = 100;  // an unprintable margin moves the origin back
  EXPECT_NEAR(GeometryFor(t, kRecordingWidth, kRecordingHeight).ox, 254.33, 1e-2);
}

TEST_F(PlaybackTest, EmptyMissingAndBrokenPages) {
  SelectPage(11);
  CanvasMoveTo(canvas, 10, 10);
  uint32_t* bad = AllocCommand(4);
  bad[0] = 0x12345678;
  CanvasLineTo(canvas, 20, 20);
  SelectPage(12);
  SetRecording(false);

  FakeCanvas target;
  PlayTarget t{PlayTarget::Kind::kBitmap, &target, 1800, 2700};
  PlayReportPage(t, 1, 1800, 2700, 0xFFFFFF);
  EXPECT_EQ(target.calls.back(), "moveto 11 11");  // the line after the unknown opcode is lost
  target.calls.clear();
  PlayReportPage(t, 2, 1800, 2700, 0xFFFFFF);  // empty page: background only
  EXPECT_EQ(target.calls.size(), 3u);
  target.calls.clear();
  PlayReportPage(t, 50, 1800, 2700, 0xFFFFFF);  // beyond the last page
  EXPECT_EQ(target.calls.size(), 3u);
  EXPECT_EQ(target.calls[2], "fill 0 0 1800 2700");
}

TEST_F(PlaybackTest, FilledRectanglesOnASheetPage) {
  SelectPage(11);
  RecordSheetPlacement(2100, 2970);
  CanvasBrushStyle(canvas, 1);
  // Two modules side by side whose shared edge falls between dots at the target's scale.
  CanvasFillRect(canvas, 100.0f, 200.0f, 105.7f, 205.7f, 0);
  CanvasFillRect(canvas, 105.7f, 200.0f, 111.4f, 205.7f, 0);
  SetRecording(false);
  EXPECT_EQ(Words(11).size(), 4u + 3u + 2 * 7u);
  EXPECT_EQ(DescribePage(11)[0], "sheet 2100 2970");
  EXPECT_EQ(DescribePage(11)[2], "fill 100.0 200.0 105.7 205.7 0x000000");
  EXPECT_EQ(PageSheet(11).width, 2100);
  EXPECT_EQ(PageSheet(12).width, 0);  // not a sheet page

  struct Case {
    PlayTarget target;
    std::vector<std::string> fills;
  };
  FakeCanvas canvas_a, canvas_b;
  PlayTarget bitmap{PlayTarget::Kind::kBitmap, &canvas_a, 1050, 2000};  // the width decides
  PlayTarget printer{PlayTarget::Kind::kPrinter, &canvas_b};
  printer.log_pixels_x = printer.log_pixels_y = 600;
  printer.physical_offset_x = 10;  // the sheet starts at the paper's corner
  const Case cases[] = {
      {bitmap, {"fill 50 100 53 103", "fill 53 100 56 103"}},
      {printer, {"fill 226 472 240 486", "fill 240 472 253 486"}},
  };
  for (const Case& c : cases) {
    auto& target = static_cast<FakeCanvas&>(*c.target.canvas);
    PlayReportPage(c.target, 1, kRecordingWidth, kRecordingHeight, 0xFFFFFF);
    std::vector<std::string> fills;
    for (const std::string& call : target.calls)
      if (call.rfind("fill", 0) == 0 && call != "fill 0 0 1800 2700")  // not the background
        fills.push_back(call);
    EXPECT_EQ(fills, c.fills);
    // The brush goes back to the recorded clear style after each fill.
    EXPECT_EQ(target.calls.back(), "brushstyle 1");
  }
}

TEST(Playback, HalvingAveragesFourDots) {
  // 4 × 2 source: two 2 × 2 blocks.
  uint32_t src[8] = {0x000000, 0xFFFFFF, 0x102030, 0x102030,  //
                     0xFFFFFF, 0x000000, 0x102030, 0x102030};
  uint32_t dst[4] = {7, 7, 7, 7};  // 2 × 2: the second row has no source
  HalveBitmap({dst, 2, 2, 2}, {src, 4, 2, 4}, 0);
  EXPECT_EQ(dst[0] & 0xFFFFFF, 0x7E7E7Eu);  // (0xFC × 2) / 4 per channel
  EXPECT_EQ(dst[1] & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(dst[2], 7u);
  EXPECT_EQ(dst[3], 7u);
  uint32_t shifted[4] = {7, 7, 7, 7};
  HalveBitmap({shifted, 2, 2, 2}, {src, 4, 2, 4}, 1);  // row 0 would read row -2
  EXPECT_EQ(shifted[0], 7u);
  EXPECT_EQ(shifted[2] & 0xFFFFFF, 0x7E7E7Eu);
}

}  // namespace
}  // namespace zarvel::drawing
