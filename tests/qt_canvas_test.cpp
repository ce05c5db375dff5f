#include "platform/qt_canvas.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <memory>

#include "base/cp932.h"
#include "drawing/font.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "drawing/primitives.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "report/report.h"
#include "run/run_command.h"
#include "tests/fake_canvas.h"
#include "tests/temp_dir.h"

namespace zarvel::platform {
namespace {

using namespace zarvel::drawing;

// A small page: a frame of thick lines, a thin cross, a dashed line and some text.
void RecordSamplePage() {
  testing::FakeCanvas surface;
  BeginPageDrawing(surface, 0, kRecordingWidth, kRecordingHeight);
  ResetPages();
  SetRecording(true);
  SelectPage(11);
  SetLineColour(0x000000);
  SetLineWeight(1);
  DrawSheetLine(10, 10, 170, 10, 0, 1);
  DrawSheetLine(170, 10, 170, 260, 0, 1);
  DrawSheetLine(170, 260, 10, 260, 0, 1);
  DrawSheetLine(10, 260, 10, 10, 0, 1);
  SetLineWeight(0);
  DrawSheetLine(20, 100, 160, 100, 0, 1);
  DrawSheetLine(20, 120, 160, 120, 1, 1);
  CanvasSetFont(surface, 60, 30, 0, 0);
  CanvasFontColour(surface, 0x000000);
  const std::string title = base::Lit("棒材Zarvel５ 切断計画");
  float x = SheetToDotX(20);
  for (std::size_t i = 0; i < title.size();) {
    const std::size_t n = base::CharLength(title, i);
    CanvasText(surface, x, SheetToDotY(30), title.substr(i, n));
    x += 30.0f * n;
    i += n;
  }
  CanvasSetFont(surface, 40, 20, 900, 1);
  CanvasText(surface, SheetToDotX(30), SheetToDotY(200), "A");
  SetRecording(false);
}

bool IsDark(QRgb c) {
  return qGray(c) < 128;
}

TEST(QtCanvas, FontsAreInstalled) {
  const QStringList families = QFontDatabase::families();
  for (const char* f : {"IPAGothic", "IPAMincho", "IPAPGothic", "IPAPMincho", "IPAexGothic"})
    EXPECT_TRUE(families.contains(QString::fromLatin1(f))) << f;
  EXPECT_EQ(FamilyForFace(QStringLiteral("ＭＳ 明朝")), QStringLiteral("IPAMincho"));
  EXPECT_EQ(FamilyForFace(QStringLiteral("Arial")), QStringLiteral("Arial"));
}

TEST(QtCanvas, PagePlaysOntoABitmap) {
  RecordSamplePage();
  QImage image(kRecordingWidth, kRecordingHeight, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    QtCanvas canvas(painter, image.rect());
    PlayReportPage(BitmapTarget(image, canvas), 1, kRecordingWidth, kRecordingHeight, 0xE0F0F0);
  }
  // Background in the paper colour (0xE0F0F0 is blue E0, green F0, red F0).
  EXPECT_EQ(image.pixel(5, 5) & 0xFFFFFF, 0xF0F0E0u);  // QRgb is 0xRRGGBB
  // The thick frame at y = 100 dots (10 mm), a 2-dot pen on even dots.
  EXPECT_TRUE(IsDark(image.pixel(900, 100)));
  EXPECT_FALSE(IsDark(image.pixel(900, 96)));
  EXPECT_TRUE(IsDark(image.pixel(100, 1300)));
  // The thin line at 100 mm, on odd dot 1001.
  EXPECT_TRUE(IsDark(image.pixel(900, 1001)));
  EXPECT_FALSE(IsDark(image.pixel(900, 1004)));
  // The dashed line has gaps.
  int dark = 0;
  for (int x = 200; x < 1600; ++x) dark += IsDark(image.pixel(x, 1201)) ? 1 : 0;
  EXPECT_GT(dark, 300);
  EXPECT_LT(dark, 1100);
  // Some ink in the title's cells, none above them.
  int ink = 0;
  for (int y = 300; y < 360; ++y)
    for (int x = 200; x < 800; ++x) ink += IsDark(image.pixel(x, y)) ? 1 : 0;
  EXPECT_GT(ink, 2000);
  int above = 0;
  for (int x = 200; x < 800; ++x) above += IsDark(image.pixel(x, 295)) ? 1 : 0;
  EXPECT_EQ(above, 0);

  const char* out = std::getenv("ZARVEL5_PNG_OUT");
  if (out != nullptr) image.save(QString::fromUtf8(out));
}

TEST(QtCanvas, HalvedPreviewKeepsTheLines) {
  RecordSamplePage();
  QImage big(kRecordingWidth, kRecordingHeight, QImage::Format_RGB32);
  {
    QPainter painter(&big);
    QtCanvas canvas(painter, big.rect());
    PlayReportPage(BitmapTarget(big, canvas), 1, kRecordingWidth, kRecordingHeight, 0xFFFFFF);
  }
  QImage small(kRecordingWidth / 2, kRecordingHeight / 2, QImage::Format_RGB32);
  small.fill(Qt::red);
  HalveBitmap(ViewOf(small), ViewOf(big), 0);
  EXPECT_TRUE(IsDark(small.pixel(450, 50)));
  EXPECT_EQ(qRed(small.pixel(3, 3)), 0xFC);  // white with the two low bits cleared
  EXPECT_EQ(qAlpha(small.pixel(3, 3)), 0xFF);
}

TEST(QtCanvas, TextCellHeightAndWidth) {
  QImage image(400, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    QtCanvas canvas(painter, image.rect());
    canvas.SetFont(MakeLogicalFont(100, 50, 0, 0));
    canvas.SetFontColour(0x000000);
    canvas.TextOut(10, 50, "HHHH");  // four half-width characters, 200 dots
  }
  int left = 400, right = -1, top = 200, bottom = -1;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 400; ++x)
      if (IsDark(image.pixel(x, y))) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_GE(left, 10);
  EXPECT_LE(right, 215);
  EXPECT_GE(right, 170);
  EXPECT_GE(top, 50);      // nothing above the cell's top
  EXPECT_LE(bottom, 150);  // nor below its bottom
}

TEST(QtCanvas, PrinterGeometryAndPdf) {
  testing::TempDir dir("zarvel5-pdf");
  RecordSamplePage();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(dir.File("page.pdf")));
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setResolution(600);
  {
    QPainter painter(&printer);
    QtCanvas canvas(painter, printer.pageRect(QPrinter::DevicePixel).toRect());
    const PlayTarget t = PrinterTarget(printer, canvas);
    EXPECT_EQ(t.log_pixels_x, 600);
    const PlayGeometry g = GeometryFor(t, kRecordingWidth, kRecordingHeight);
    EXPECT_NEAR(g.sx, 2.3622, 1e-4);
    PlayReportPage(t, 1, kRecordingWidth, kRecordingHeight, 0xFFFFFF);
  }
  QFile pdf(QString::fromStdString(dir.File("page.pdf")));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");
  EXPECT_GT(pdf.size(), 1000);
}

// The report's templates with their fields filled, as the summary page shows them.
TEST(QtCanvas, SummaryPageStaysOnThePage) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  ASSERT_TRUE(job::OpenJobFile(form, ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5"));
  run::RunHost host;
  ASSERT_EQ(run::RunCommand(*records, form, host, true), run::RunOutcome::kPlanned);
  report::RecordingSurface surface;
  ASSERT_EQ(report::RebuildPages(surface, *records, {}).pages, 1);
  QImage image(kRecordingWidth, kRecordingHeight, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    QtCanvas canvas(painter, image.rect());
    PlayReportPage(BitmapTarget(image, canvas), 1, kRecordingWidth, kRecordingHeight, 0xFFFFFF);
  }
  if (const char* out = std::getenv("ZARVEL5_REPORT_PNG")) image.save(QString::fromUtf8(out));
  // Ink in the heading, the two grids and the totals; none in the last millimetre of the
  // page's right edge (the tables end well inside it).
  auto ink = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += IsDark(image.pixel(x, y)) ? 1 : 0;
    return n;
  };
  EXPECT_GT(ink(100, 50, 1700, 160), 1000);   // project and member lines
  EXPECT_GT(ink(100, 240, 1700, 380), 1000);  // the stock grid
  EXPECT_GT(ink(100, 440, 1700, 820), 3000);  // the cut grid
  EXPECT_GT(ink(100, 830, 1700, 960), 1000);  // the totals
  EXPECT_EQ(ink(1790, 0, 1800, 2600), 0);
}

}  // namespace
}  // namespace zarvel::platform
