#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTest>

#include "app/history.h"
#include "app/main_window.h"
#include "app/message.h"
#include "app/qt_text.h"
#include "text/app_info.h"
#include "text/cp932.h"

namespace zarvel::app {
namespace {

using optimiser::JobField;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageHandler([this](const std::string& m) { messages.push_back(m); });
    window = std::make_unique<MainWindow>(*records);
    window->ask_save_changes = [this] {
      ++prompts;
      return answer;
    };
    window->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    window->SetDataModified(false);
    window.reset();
    SetMessageHandler(nullptr);
  }

  std::string Shown(JobField f) { return window->Edit(f)->Text(); }
  void Focus(QWidget* w) {
    w->setFocus();
    QApplication::processEvents();
  }
  // Sends a character the way an input method delivers a full-width one.
  void TypeChar(QWidget* w, const QString& ch) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ch);
    QApplication::sendEvent(w, &press);
  }

  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  std::unique_ptr<MainWindow> window;
  std::vector<std::string> messages;
  int prompts = 0;
  QMessageBox::StandardButton answer = QMessageBox::No;
};

TEST_F(WindowTest, CaptionComesFromTheHistory) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("棒材Zarvel５ (2025.04.01版) "));
}

TEST_F(WindowTest, OdometerKeys) {
  NumEdit* yoyu = window->Edit(JobField::kMargin);
  Focus(yoyu);
  QTest::keyClick(yoyu, Qt::Key_2);
  EXPECT_EQ(yoyu->Text(), "  2");
  QTest::keyClick(yoyu, Qt::Key_5);
  EXPECT_EQ(yoyu->Text(), " 25");
  Focus(window->Edit(JobField::kKerf));
  Focus(yoyu);
  QTest::keyClicks(yoyu, "1234");
  EXPECT_EQ(yoyu->Text(), "234");

  NumEdit* lsaki = window->Edit(JobField::kPriorityLength);
  Focus(lsaki);
  QTest::keyClick(lsaki, Qt::Key_Backspace);
  EXPECT_EQ(lsaki->Text(), "   500");
  QTest::keyClick(lsaki, Qt::Key_Backspace);
  EXPECT_EQ(lsaki->Text(), "    50");
  QTest::keyClick(lsaki, Qt::Key_Escape);
  EXPECT_EQ(lsaki->Text(), "  5000");
  QTest::keyClick(lsaki, Qt::Key_Escape);  // Escape first changes nothing
  EXPECT_EQ(lsaki->Text(), "  5000");

  NumEdit* wunit = window->Edit(JobField::kUnitWeight);
  Focus(wunit);
  QTest::keyClicks(wunit, "74.5");
  EXPECT_EQ(wunit->Text(), "    74.5");
  QTest::keyClick(wunit, Qt::Key_Return);  // reformats and moves on one control
  EXPECT_EQ(wunit->Text(), "   74.50");
  EXPECT_TRUE(window->Edit(JobField::kYear)->hasFocus());

  NumEdit* month = window->Edit(JobField::kMonth);
  Focus(month);
  TypeChar(month, QStringLiteral("１"));
  TypeChar(month, QStringLiteral("２"));
  EXPECT_EQ(month->Text(), "12");
  TypeChar(month, QStringLiteral("漢"));
  EXPECT_EQ(month->Text(), "12");

  NumEdit* siro = window->Edit(JobField::kKerf);
  Focus(siro);
  QTest::keyClick(siro, Qt::Key_X);
  EXPECT_EQ(siro->Text(), "  x");
  Focus(yoyu);
  EXPECT_EQ(siro->Text(), "  0");
  EXPECT_TRUE(window->DataModified());
}

TEST_F(WindowTest, UpAndDownMoveTheFocus) {
  NumEdit* bname = window->Edit(JobField::kMemberName);
  Focus(bname);
  QTest::keyClick(bname, Qt::Key_Down);
  EXPECT_TRUE(window->Edit(JobField::kUnitWeight)->hasFocus());
  QTest::keyClick(window->Edit(JobField::kUnitWeight), Qt::Key_Up);
  EXPECT_TRUE(bname->hasFocus());
}

TEST_F(WindowTest, GridEntryWithEnter) {
  CellGrid* g = window->Grid1();
  Focus(g);
  QTest::keyClicks(g, "5500.3");
  EXPECT_EQ(g->Cell(1, 1), "       5500.3");  // right-aligned in 13
  QTest::keyClick(g, Qt::Key_Return);
  EXPECT_EQ(g->Cell(1, 1), " 5500.  3");
  EXPECT_EQ(g->Current(), (job::CellPos{1, 2}));  // vertical order by default
  QTest::keyClicks(g, "6000.5");
  QTest::keyClick(g, Qt::Key_Return);
  EXPECT_EQ(g->Cell(1, 2), " 6000.  5");
  EXPECT_TRUE(window->DataModified());

  g->SelectCell({1, 18});
  QTest::keyClick(g, Qt::Key_Return);
  EXPECT_EQ(g->Current(), (job::CellPos{2, 1}));
  g->SelectCell({2, 18});
  QTest::keyClick(g, Qt::Key_Return);
  EXPECT_EQ(g->Current(), (job::CellPos{1, 1}));

  window->Vertical()->setChecked(false);
  CellGrid* cut = window->Grid2();
  Focus(cut);
  cut->SelectCell({6, 17});
  QTest::keyClick(cut, Qt::Key_Return);
  EXPECT_EQ(cut->Current(), (job::CellPos{1, 1}));
  QTest::keyClicks(cut, "12");
  QTest::keyClick(cut, Qt::Key_Delete);
  EXPECT_EQ(cut->Cell(1, 1), "");
}

TEST_F(WindowTest, PasteClearAndTheModifiedFlag) {
  QGuiApplication::clipboard()->setText(QStringLiteral("6000\t4\n\n5000\nabc\t3\n"));
  CellGrid* cut = window->Grid2();
  cut->SelectCell({5, 17});
  window->PasteButton()->click();
  EXPECT_EQ(cut->Cell(5, 17), " 6000.  4");
  EXPECT_EQ(cut->Cell(6, 17), "5000.1");  // current: normalised when left
  EXPECT_FALSE(window->DataModified());

  window->Grid1()->SetCell(1, 1, " 6000.  2");
  window->ClearStockButton()->click();
  EXPECT_EQ(window->Grid1()->Cell(1, 1), "");
  EXPECT_EQ(cut->Cell(5, 17), " 6000.  4");  // the other grid untouched
  EXPECT_FALSE(window->DataModified());
}

TEST_F(WindowTest, DateLabel) {
  window->SetToday("2026/12/06");
  EXPECT_EQ(Shown(JobField::kYear), "26");
  EXPECT_EQ(Shown(JobField::kMonth), "12");
  EXPECT_EQ(Shown(JobField::kDay), " 6");
  EXPECT_FALSE(window->DataModified());
}

TEST_F(WindowTest, ClosePromptsOnlyWhenModified) {
  window->close();
  EXPECT_EQ(prompts, 0);
  window->show();
  NumEdit* yy = window->Edit(JobField::kYear);
  Focus(yy);
  QTest::keyClick(yy, Qt::Key_1);
  answer = QMessageBox::Cancel;
  window->close();
  EXPECT_EQ(prompts, 1);
  EXPECT_TRUE(window->isVisible());
  answer = QMessageBox::No;
  window->close();
  EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, RunMessages) {
  window->RunButton()->click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], text::Lit("[#×]素材が未入力です。"));
  window->Grid1()->SetCell(1, 1, "5500.10");
  window->Grid2()->SetCell(1, 1, "2700.4");
  window->RunButton()->click();
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(window->ProgressLabel()->text(), QStringLiteral("(100)   1.709 %"));
  EXPECT_EQ(records->best.pattern_count, 1);
}

TEST(MessageDialogTest, MarkersLinesAndCopy) {
  MessageDialog d;
  d.Prepare(text::Lit("[#×]素材が未入力です。"));
  EXPECT_FALSE(d.Cross()->isHidden());
  EXPECT_TRUE(d.CopyButton()->isHidden());
  EXPECT_GT(d.Label(0)->x(), d.Cross()->x() + d.Cross()->width());
  EXPECT_EQ(d.Label(0)->text(), QStringLiteral(" 素材が未入力です。"));

  d.Prepare(text::Lit("[#COPY][#×]一行目\n二行目"));
  EXPECT_FALSE(d.Cross()->isHidden());
  EXPECT_FALSE(d.CopyButton()->isHidden());
  d.CopyButton()->click();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("一行目\r\n二行目\r\n"));

  d.Prepare("[#copy][#XYZ]Hello");
  EXPECT_TRUE(d.Cross()->isHidden());
  EXPECT_FALSE(d.CopyButton()->isHidden());
  EXPECT_EQ(d.Label(0)->text(), QStringLiteral(" Hello"));
  EXPECT_GE(d.width(), 300);

  d.Prepare("a\n$total");
  EXPECT_EQ(d.Label(1)->text(), QStringLiteral(" total"));
  EXPECT_EQ(d.Label(1)->y() - d.Label(0)->y(), 22 + 9);

  std::string sixty;
  for (int i = 1; i <= 60; ++i) sixty += "line" + std::to_string(i) + "\n";
  d.Prepare("[#COPY]" + sixty);
  int visible = 0;
  for (int i = 0; i < kMessageLabels; ++i) visible += d.Label(i)->isHidden() ? 0 : 1;
  EXPECT_EQ(visible, 50);
  d.CopyButton()->click();
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(QStringLiteral("line60\r\n")));
}

TEST(HistoryWindowTest, ReadOnlyMemo) {
  HistoryWindow h;
  h.ShowHistory();
  EXPECT_TRUE(h.Memo()->isReadOnly());
  EXPECT_TRUE(h.Memo()->toPlainText().startsWith(QString(90, QLatin1Char('-'))));
  EXPECT_TRUE(h.isVisible());
  EXPECT_FALSE(h.isModal());
}

TEST_F(WindowTest, Screenshot) {
  const char* out = std::getenv("ZARVEL5_SCREENSHOT");
  ASSERT_TRUE(window->OpenJob(QStringLiteral(ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5")));
  window->SetCurrentFile(QStringLiteral(ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5"));
  QApplication::processEvents();
  const QImage shot = window->grab().toImage();
  EXPECT_EQ(window->centralWidget()->size(), QSize(1264, 632));
  EXPECT_EQ(window->Grid1()->width(), 36 + 2 * 108 + 3 + 2);
  if (out != nullptr) shot.save(QString::fromUtf8(out));
}

}  // namespace
}  // namespace zarvel::app
