#include "app/preview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QTest>
#include <QWheelEvent>

#include "app/main_window.h"
#include "app/message.h"
#include "optimiser/search.h"
#include "tests/search_test_util.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

// A plan of 60 single bars: with table A, three report pages.
std::unique_ptr<optimiser::OptimiserRecords> ThreePageJob() {
  testing::JobLists job{{}, {}, 0, 0, 0};
  for (int i = 0; i < 60; ++i) job.stock.push_back({3000 + 10 * i, 1});
  for (int i = 0; i < 60; ++i) job.cut.push_back({3000 + 10 * i, 1});
  auto r = testing::MakeRecords(job);
  EXPECT_EQ(optimiser::RunSearch(*r, {}, 10), 0);
  return r;
}

// A halved one-dot black line is about half as dark as the paper around it.
bool Dark(QRgb c) {
  return qGray(c) < 160;
}
bool PanelColour(QRgb c) {
  return (c & 0xFFFFFF) == 0xF0F0E0;
}

class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    preview.TableA()->setChecked(true);
    preview.Rebuild();
    QApplication::processEvents();
  }
  void ScrollTo(int position) {
    preview.ScrollBar()->setValue(position);
    QApplication::processEvents();
  }
  const QImage& Display() { return preview.Display(); }

  std::unique_ptr<optimiser::OptimiserRecords> records = ThreePageJob();
  PreviewWindow preview{*records};
};

TEST_F(PreviewTest, ThreePagesScrollTo50) {
  ASSERT_EQ(preview.PageCount(), 3);
  EXPECT_EQ(preview.ScrollBar()->maximum(), 50);
  EXPECT_EQ(Display().size(), QSize(900, 1350));
  ScrollTo(10);
  if (const char* out = std::getenv("ZARVEL5_PREVIEW_WINDOW_PNG"))
    preview.grab().save(QString::fromUtf8(out));
}

TEST_F(PreviewTest, PositionsShowPagesAndHalves) {
  const int h = Display().height();
  // Position 0: page 1 from the top, its frame starting 2 mm down, the band over the top rows.
  ScrollTo(0);
  EXPECT_TRUE(PanelColour(Display().pixel(400, 2)));
  EXPECT_TRUE(Dark(Display().pixel(0, h / 2)));
  bool top_edge = false;  // the frame's top edge, 2 mm below the page's top
  for (int y = 8; y <= 11; ++y) top_edge |= Dark(Display().pixel(450, y));
  EXPECT_TRUE(top_edge);
  EXPECT_FALSE(Dark(Display().pixel(450, 20)));
  // Position 10: the lower half of page 1, the band, then the upper half of page 2.
  ScrollTo(10);
  EXPECT_TRUE(PanelColour(Display().pixel(400, h / 2 + 2)));
  EXPECT_TRUE(Dark(Display().pixel(0, h / 4)));
  EXPECT_TRUE(Dark(Display().pixel(0, h * 3 / 4)));
  // Position 40: page 3. Position 50: its lower half above an empty area without a frame.
  ScrollTo(40);
  EXPECT_TRUE(Dark(Display().pixel(0, h / 2)));
  ScrollTo(50);
  EXPECT_TRUE(Dark(Display().pixel(0, h / 4)));
  EXPECT_FALSE(Dark(Display().pixel(0, h * 3 / 4)));
  if (const char* out = std::getenv("ZARVEL5_PREVIEW_PNG")) Display().save(QString::fromUtf8(out));
}

TEST_F(PreviewTest, PageDownRendersOnlyTheNewPage) {
  ScrollTo(20);
  const int before = preview.Renders();
  preview.ScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  QApplication::processEvents();
  EXPECT_EQ(preview.ScrollBar()->value(), 40);
  EXPECT_EQ(preview.Renders() - before, 1);
}

TEST_F(PreviewTest, WheelMovesOneUnit) {
  ScrollTo(5);
  QWheelEvent towards(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&preview, &towards);
  EXPECT_EQ(preview.ScrollBar()->value(), 6);
  QWheelEvent away(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&preview, &away);
  EXPECT_EQ(preview.ScrollBar()->value(), 5);
}

TEST_F(PreviewTest, NarrowWindowNarrowsThePages) {
  preview.resize(640, 720);
  QApplication::processEvents();
  const int w = Display().width();
  EXPECT_LT(w, 900);
  EXPECT_EQ(w, preview.PagePanel()->width() - 8);
  EXPECT_EQ(Display().height(), w * 1350 / 900);
}

TEST_F(PreviewTest, TickingATableRebuildsAndKeepsThePosition) {
  ScrollTo(10);
  const int pages = preview.PageCount();
  preview.TableB()->setChecked(true);
  QApplication::processEvents();
  EXPECT_GT(preview.PageCount(), pages);
  EXPECT_EQ(preview.ScrollBar()->value(), 10);
}

TEST_F(PreviewTest, PrintingToAPdfFile) {
  testing::TempDir dir("zarvel5-print");
  const QString pdf = QString::fromStdString(dir.File("out.pdf"));
  preview.ask_print = [&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    return true;
  };
  preview.PrintAll();
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                bytes.count("/Type /Page>") + bytes.count("/Type /Page "),
            3);

  preview.ask_print = [](QPrinter&) { return false; };  // cancelled: nothing printed
  QFile::remove(pdf);
  preview.PrintAll();
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST(PreviewRun, PrecisionReRunsOnlyWithThePreviewOpen) {
  testing::TempDir dir("zarvel5-prevrun");
  qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(dir.File("s")));
  SetMessageHandler([](const std::string&) {});
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  MainWindow window(*records);
  window.show();
  window.Grid1()->SetCell(1, 1, "5500.10");
  window.Grid2()->SetCell(1, 1, "2700.4");
  window.RunClicked(true);
  ASSERT_TRUE(window.Preview()->isVisible());
  records->best.pattern_count = 0;
  window.Precision()->SetItemIndex(0);
  EXPECT_EQ(records->best.pattern_count, 1);  // ran again
  window.Preview()->hide();
  records->best.pattern_count = 0;
  window.Precision()->SetItemIndex(2);
  EXPECT_EQ(records->best.pattern_count, 0);  // closed: nothing ran
  SetMessageHandler(nullptr);
}

}  // namespace
}  // namespace zarvel::app
