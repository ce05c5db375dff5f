#include "app/preview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include "app/main_window.h"
#include "app/message.h"
#include "optimiser/search.h"
#include "tests/page_reader.h"
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
    // The size it opens with on a usual screen (the offscreen one is 800 × 600).
    preview.resize(960, 720);
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

// The first opening: centred within the screen (800 × 600 offscreen, smaller than the window).
TEST(PreviewPlacement, CentredWithinTheScreenWhenItFirstOpens) {
  auto records = ThreePageJob();
  PreviewWindow preview(*records);
  preview.Rebuild();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.contains(preview.geometry()));
  const QPoint centre = preview.geometry().center();
  EXPECT_LE(std::abs(centre.x() - screen.center().x()), 2);  // rounding of odd sizes
  EXPECT_LE(std::abs(centre.y() - screen.center().y()), 2);
}

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

TEST_F(PreviewTest, LabelSheetsFollowTheSheetChosen) {
  const int pages = preview.PageCount();
  preview.Labels()->setChecked(true);  // 60 pieces, no offcut: five sheets of 12
  QApplication::processEvents();
  EXPECT_EQ(preview.PageCount(), pages + 5);
  preview.LabelSheet()->SetItemIndex(2);  // 44 a sheet: two
  QApplication::processEvents();
  EXPECT_EQ(preview.PageCount(), pages + 2);
  ScrollTo(pages * PreviewWindow::kLargeChange);  // the first sheet at the top
  // The sheet's left edge in the display's first column, and the die-cut grid in grey.
  EXPECT_TRUE(Dark(Display().pixel(0, Display().height() / 2)));
  const int grid_y = static_cast<int>(8.8 / 210 * Display().width());
  int grey = 0;
  for (int y = grid_y - 1; y <= grid_y + 1; ++y) {
    const QRgb c = Display().pixel(Display().width() / 3, y);
    grey += qGray(c) > 150 && qGray(c) < 220 ? 1 : 0;
  }
  EXPECT_GT(grey, 0);
}

TEST_F(PreviewTest, ShrinkingReportKeepsAPageInView) {
  preview.TableB()->setChecked(true);
  QApplication::processEvents();
  ASSERT_GT(preview.PageCount(), 3);
  ScrollTo(preview.ScrollBar()->maximum());  // End
  preview.TableB()->setChecked(false);       // back to three pages
  QApplication::processEvents();
  EXPECT_EQ(preview.ScrollBar()->maximum(), 50);
  EXPECT_EQ(preview.ScrollBar()->value(), 50);
  // Position 50: the lower half of page 3 with its frame, drawn at once.
  const int h = Display().height();
  EXPECT_TRUE(Dark(Display().pixel(0, h / 4)));
}

TEST_F(PreviewTest, WheelOverTheScrollBarMovesOneUnitToo) {
  ScrollTo(5);
  QWheelEvent towards(QPointF(5, 50), QPointF(5, 50), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(preview.ScrollBar(), &towards);
  EXPECT_EQ(preview.ScrollBar()->value(), 6);
  QWheelEvent away(QPointF(5, 50), QPointF(5, 50), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(preview.ScrollBar(), &away);
  EXPECT_EQ(preview.ScrollBar()->value(), 5);
}

TEST_F(PreviewTest, ListsReadAfterTheRunDoNotReachThePages) {
  // The window re-reads its lists (vertical order, another job) while the preview is open.
  const std::string before = testing::PageTextOfReport(preview.PageCount());
  for (int k = 1; k <= records->stock.count; ++k) records->stock.entries[k].length = 1234;
  for (int j = 1; j <= records->cut.count; ++j) records->cut.entries[j].length = 4321;
  records->cut.count = 1;
  preview.TableB()->setChecked(true);  // a rebuild from the plan and lists of the run
  QApplication::processEvents();
  preview.TableB()->setChecked(false);
  QApplication::processEvents();
  EXPECT_EQ(testing::PageTextOfReport(preview.PageCount()), before);
  EXPECT_EQ(before.find("1234"), std::string::npos);
}

TEST_F(PreviewTest, ShiftRuleHoldsForCheckBoxRebuilds) {
  // Shift held while a table box is ticked keeps the heading style for the values.
  struct Shift final : optimiser::KeyState {
    bool IsKeyDown(int key) const override { return key == optimiser::kKeyShift; }
  } shift;
  auto fonts = [] {
    std::vector<std::string> all;
    for (int p = 1; p <= 3; ++p) {
      for (const std::string& c : testing::PageCommands(p + drawing::kFirstReportSlot, "font "))
        all.push_back(c);
    }
    return all;
  };
  const auto normal = fonts();
  EXPECT_NE(std::find(normal.begin(), normal.end(), "font 36 20 0 0"), normal.end());
  preview.keys = &shift;
  preview.TableB()->setChecked(true);
  QApplication::processEvents();
  const auto held = fonts();
  EXPECT_EQ(std::find(held.begin(), held.end(), "font 36 20 0 0"), held.end());
  preview.keys = nullptr;  // the keyboard itself, with no key held
  preview.TableB()->setChecked(false);
  QApplication::processEvents();
  EXPECT_EQ(fonts(), normal);
}

TEST(PreviewCaption, PageLimitNoteFollowsThePagesShown) {
  // 40 000 single bars in table B need more pages than the table holds.
  testing::JobLists job{{{3000, 40000}}, {{2990, 40000}}, 0, 0, 0};
  auto records = testing::MakeRecords(job);
  ASSERT_EQ(optimiser::RunSearch(*records, {}, 10), 0);
  PreviewWindow preview(*records);
  preview.SetCaption(QStringLiteral("棒材Zarvel５ (2025.04.01版) 印刷プレビュー"));
  preview.TableB()->setChecked(true);
  preview.Rebuild();
  QApplication::processEvents();
  ASSERT_TRUE(preview.Truncated());
  EXPECT_EQ(
      preview.windowTitle(),
      QStringLiteral("棒材Zarvel５ (2025.04.01版) 印刷プレビュー（ページ数の上限で打ち切り）"));
  preview.TableB()->setChecked(false);  // the summary alone: nothing cut off any more
  QApplication::processEvents();
  EXPECT_FALSE(preview.Truncated());
  EXPECT_EQ(preview.windowTitle(), QStringLiteral("棒材Zarvel５ (2025.04.01版) 印刷プレビュー"));
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

TEST(PrintChoice, RangeCurrentPageAndCopies) {
  using R = PrintChoice::Range;
  const struct {
    PrintChoice choice;
    std::vector<int> pages;
  } cases[] = {
      {{}, {1, 2, 3, 4}},
      {{R::kPages, 2, 3}, {2, 3}},
      {{R::kPages, 3, 9}, {3, 4}},  // clamped to the report
      {{R::kPages, 0, 0}, {1, 2, 3, 4}},
      {{R::kCurrent, 0, 0, 3}, {3}},
      {{R::kPages, 1, 2, 1, 2, true}, {1, 2, 1, 2}},
      {{R::kPages, 1, 2, 1, 2, false}, {1, 1, 2, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintedPages(4, c.choice), c.pages);
}

TEST_F(PreviewTest, PrintingHonoursTheRangeAndCopies) {
  testing::TempDir dir("zarvel5-print");
  const QString pdf = QString::fromStdString(dir.File("out.pdf"));
  preview.ask_print = [&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    p.setPrintRange(QPrinter::PageRange);
    p.setFromTo(2, 3);
    p.setCopyCount(3);
    return true;
  };
  preview.PrintAll();
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                bytes.count("/Type /Page>") + bytes.count("/Type /Page "),
            6);
}

// The main window after a run of a one-pattern job, with its preview open.
class PreviewRun : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(dir.File("s")));
    SetMessageHandler([](const std::string&) {});
    window = std::make_unique<MainWindow>(*records);
    window->show();
    window->Grid1()->SetCell(1, 1, "5500.10");
    window->Grid2()->SetCell(1, 1, "2700.4");
    window->RunClicked(true);
  }
  void TearDown() override { SetMessageHandler(nullptr); }

  testing::TempDir dir{"zarvel5-prevrun"};
  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  std::unique_ptr<MainWindow> window;
};

TEST_F(PreviewRun, ShiftHeldAtACheckBoxKeepsTheHeadingStyle) {
  PreviewWindow* preview = window->Preview();
  ASSERT_TRUE(preview->isVisible());
  auto value_style = [] {
    const auto fonts = testing::PageCommands(1 + drawing::kFirstReportSlot, "font ");
    return std::find(fonts.begin(), fonts.end(), "font 36 20 0 0") != fonts.end();
  };
  EXPECT_TRUE(value_style());
  // Shift held (as the window system reports it) while table A is ticked after the run.
  QTest::keyPress(preview->windowHandle(), Qt::Key_Shift, Qt::ShiftModifier);
  QApplication::processEvents();
  preview->TableA()->setChecked(true);
  QApplication::processEvents();
  EXPECT_FALSE(value_style());
  QTest::keyRelease(preview->windowHandle(), Qt::Key_Shift, Qt::NoModifier);
  QApplication::processEvents();
  preview->TableA()->setChecked(false);
  QApplication::processEvents();
  EXPECT_TRUE(value_style());
}

TEST_F(PreviewRun, PrecisionReRunsOnlyWithThePreviewOpen) {
  ASSERT_TRUE(window->Preview()->isVisible());
  records->best.pattern_count = 0;
  window->Precision()->SetItemIndex(0);
  EXPECT_EQ(records->best.pattern_count, 1);  // ran again
  window->Preview()->hide();
  records->best.pattern_count = 0;
  window->Precision()->SetItemIndex(2);
  EXPECT_EQ(records->best.pattern_count, 0);  // closed: nothing ran
}

}  // namespace
}  // namespace zarvel::app
