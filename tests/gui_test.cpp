#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/history.h"
#include "app/main_window.h"
#include "app/message.h"
#include "app/preview.h"
#include "app/qt_text.h"
#include "app/translations.h"
#include "base/app_info.h"
#include "base/cp932.h"
#include "base/lines.h"
#include "drawing/playback.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "job/settings.h"
#include "tests/fake_files.h"
#include "tests/page_reader.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

using run::JobField;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = std::make_unique<testing::TempDir>("zarvel5-gui");
    qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(settings->File("settings")));
    SetMessageHandler([this](const std::string& m) { messages.push_back(m); });
    window = std::make_unique<MainWindow>(*records);
    window->ask_save_changes = [this] {
      ++prompts;
      return answer;
    };
    window->show();
    // The start-up timer re-lays out the grids once; on a busy machine it could otherwise do so
    // in the middle of a test's typing.
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->StartupDone(); }, 10000));
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

  // A window as the program starts it: shown, then the recent list and the last job.
  void Restart() {
    window->SetDataModified(false);
    window = std::make_unique<MainWindow>(*records);
    window->ask_save_changes = [this] {
      ++prompts;
      return answer;
    };
    window->show();
    window->StartUp();
  }
  QString SaveAsTo(const std::string& name) {
    const QString path = QString::fromStdString(settings->File(name));
    window->ask_save_path = [path](const QString&) { return path; };
    window->SaveAs();
    return path;
  }

  std::unique_ptr<testing::TempDir> settings;
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

// The widget the next key goes to, and that key.
QWidget* KeysTo() {
  return QApplication::focusWidget();
}

TEST_F(WindowTest, PasteFillsFreeCellsOrNothingAndKeepsTheKeyboard) {
  CellGrid* cut = window->Grid2();
  window->Vertical()->setChecked(false);  // row by row
  cut->SetCell(1, 1, " 2995.  8");
  window->SetDataModified(false);
  Focus(window->Grid1());
  QGuiApplication::clipboard()->setText(QStringLiteral("6000\t4\n\n5000\nabc\t3\n"));
  window->PasteButton()->click();
  EXPECT_EQ(cut->Cell(1, 1), " 2995.  8");  // never overwritten
  EXPECT_EQ(cut->Cell(2, 1), " 6000.  4");
  EXPECT_EQ(cut->Cell(3, 1), " 5000.  1");
  EXPECT_EQ(messages.size(), 1u);  // the line it could not read is named
  EXPECT_TRUE(window->DataModified());
  // The next key starts the first free cell of the grid pasted into.
  ASSERT_EQ(KeysTo(), cut);
  EXPECT_EQ(cut->Current(), (job::CellPos{4, 1}));
  QTest::keyClicks(KeysTo(), "700.2");
  QTest::keyClick(KeysTo(), Qt::Key_Return);
  EXPECT_EQ(cut->Cell(4, 1), "  700.  2");

  // More lines than free cells (Ctrl+V in the grid): nothing changes, the user is told.
  QGuiApplication::clipboard()->setText(QStringLiteral("1000\n").repeated(100));
  QTest::keyClick(cut, Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(base::Cp932ToUtf8(messages[1]).find("2 行が入らないため、何も貼り付けていません"),
            std::string::npos);
  EXPECT_EQ(cut->Cell(5, 1), "");

  // [ｸﾘｱ] empties its own grid, counts as a change, and the next key goes into its first cell.
  window->Grid1()->SetCell(1, 1, " 6000.  2");
  window->SetDataModified(false);
  window->ClearStockButton()->click();
  EXPECT_TRUE(window->DataModified());
  EXPECT_EQ(cut->Cell(1, 1), " 2995.  8");
  ASSERT_EQ(KeysTo(), window->Grid1());
  QTest::keyClicks(KeysTo(), "5500");
  QTest::keyClick(KeysTo(), Qt::Key_Return);
  EXPECT_EQ(window->Grid1()->Cell(1, 1), " 5500.  1");
}

TEST_F(WindowTest, EveryChangeOfWhatTheFileSavesCounts) {
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"date", [&] { window->SetToday("2026/12/06"); }},
      {"precision", [&] { window->Precision()->findChildren<QRadioButton*>()[2]->click(); }},
      {"vertical order", [&] { window->Vertical()->click(); }},
      {"preview table", [&] { window->TableB()->click(); }},
      {"menu New is not", [&] { window->NewJob(); }},
  };
  for (const auto& [name, change] : changes) {
    window->SetDataModified(false);
    change();
    EXPECT_EQ(window->DataModified(), std::string(name) != "menu New is not") << name;
  }
}

TEST_F(WindowTest, DateLabel) {
  window->SetToday("2026/12/06");
  EXPECT_EQ(Shown(JobField::kYear), "26");
  EXPECT_EQ(Shown(JobField::kMonth), "12");
  EXPECT_EQ(Shown(JobField::kDay), " 6");
  EXPECT_TRUE(window->DataModified());
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
  EXPECT_EQ(messages[0], base::Lit("[#×]素材が未入力です。"));
  window->Grid1()->SetCell(1, 1, "5500.10");
  window->Grid2()->SetCell(1, 1, "2700.4");
  window->RunButton()->click();
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(window->ProgressLabel()->text(), QStringLiteral("(100)   1.709 %"));
  EXPECT_EQ(records->best.pattern_count, 1);
}

TEST_F(WindowTest, CellsThatReadOtherThanTheyLookAreAskedAboutBeforeARun) {
  std::vector<std::string> questions;
  bool go_on = false;
  window->ask_go_on = [&](const std::string& q) {
    questions.push_back(base::Cp932ToUtf8(q));
    return go_on;
  };
  Focus(window->Grid1());
  QTest::keyClicks(window->Grid1(), "6000,1");
  QTest::keyClick(window->Grid1(), Qt::Key_Return);  // left, and shown as it reads
  window->Grid2()->SetCell(1, 1, "2700.4");
  window->RunButton()->click();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].find("\n素材リスト  6000,1 → 60001 × 1 本\n"), std::string::npos);
  EXPECT_EQ(window->ProgressLabel()->text(), QStringLiteral("・・・・・"));  // went back
  go_on = true;
  window->RunButton()->click();
  EXPECT_EQ(records->best.pattern_count, 1);  // the run as ever
}

// The File-menu command with this caption.
QAction* FileCommand(MainWindow& w, const QString& caption) {
  for (QAction* a : w.findChildren<QAction*>())
    if (a->text() == caption) return a;
  return nullptr;
}

TEST_F(WindowTest, CutListFromCsvAndPlanAsCsv) {
  // Before a run there is no plan to write: the user is told to run first.
  int asked = 0;
  window->ask_plan_csv_path = [&](const QString&) {
    ++asked;
    return QString();
  };
  QAction* write_csv = FileCommand(*window, QStringLiteral("CSV出力…"));
  ASSERT_NE(write_csv, nullptr);
  write_csv->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(base::Cp932ToUtf8(messages[0]).find("先に「Zarvel実行」"), std::string::npos);
  EXPECT_EQ(asked, 0);

  // A CSV cut list replaces the cut grid and marks the job modified.
  const std::string csv = settings->File("cut.csv");
  {
    QFile f(QString::fromStdString(csv));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBF長さ\t本数\r\n2700\t4\r\n1500\t7\r\n");  // UTF-8 with a BOM, TABs
  }
  window->Grid2()->SetCell(3, 5, "  999.  9");
  window->ask_cut_csv_path = [&](const QString&) { return QString::fromStdString(csv); };
  QAction* read_csv = FileCommand(*window, QStringLiteral("切断リスト読み込み…"));
  ASSERT_NE(read_csv, nullptr);
  EXPECT_FALSE(window->DataModified());
  read_csv->trigger();
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(window->Grid2()->Cell(1, 1), " 1500.  7");  // sorted, as after every load
  EXPECT_EQ(window->Grid2()->Cell(1, 2), " 2700.  4");
  EXPECT_EQ(window->Grid2()->Cell(3, 5), "");
  EXPECT_TRUE(window->DataModified());

  // A bad line: the message names it and the grid stays as it was.
  {
    QFile f(QString::fromStdString(csv));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("2700,4\n1500,x\n");
  }
  read_csv->trigger();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(base::Cp932ToUtf8(messages[1]).find("2 行目：本数が読めません「x」"),
            std::string::npos);
  EXPECT_EQ(window->Grid2()->Cell(1, 1), " 1500.  7");
  EXPECT_EQ(window->Grid2()->Cell(1, 2), " 2700.  4");

  // After a run the plan is written; a name without an extension gets ".csv".
  window->Grid1()->SetCell(1, 1, "5500.10");
  window->RunButton()->click();
  ASSERT_GT(records->best.pattern_count, 0);
  const QString out = QString::fromStdString(settings->File("plan"));
  window->ask_plan_csv_path = [&](const QString&) { return out; };
  write_csv->trigger();
  EXPECT_EQ(messages.size(), 2u);
  QFile written(out + QStringLiteral(".csv"));
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_TRUE(
      written.readAll().startsWith(QByteArray::fromStdString(base::Lit("番号,素材長,本数"))));
}

TEST_F(WindowTest, CutDiagramBoxIsSavedWithTheJob) {
  CheckBox* diagrams = window->Preview()->TableC();
  EXPECT_EQ(diagrams->text(), QStringLiteral("切断図"));
  EXPECT_FALSE(diagrams->isChecked());
  diagrams->setChecked(true);
  const QString path = SaveAsTo("diagrams.zv5");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = f.readAll().split('\n');
  ASSERT_GE(lines.size(), 55);
  EXPECT_EQ(lines[53], QByteArray("CbMeisaiB = 0\r"));
  EXPECT_EQ(lines[54], QByteArray("CbMeisaiC = 1\r"));

  // A job from before the box loads with it clear; the saved job brings it back.
  ASSERT_TRUE(window->OpenJob(QStringLiteral(ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5")));
  EXPECT_FALSE(diagrams->isChecked());
  ASSERT_TRUE(window->OpenJob(path));
  EXPECT_TRUE(diagrams->isChecked());

  // With the preview open, the box adds the diagrams at once.
  window->Grid1()->SetCell(1, 1, "5500.30");
  window->Grid2()->SetCell(1, 1, "2700.40");
  diagrams->setChecked(false);
  window->RunButton()->click();
  ASSERT_TRUE(window->Preview()->isVisible());
  auto has_title = [&] {
    for (int p = 1; p <= window->Preview()->PageCount(); ++p)
      if (testing::PageText(p + drawing::kFirstReportSlot).find(base::Lit("≪切断図≫")) !=
          std::string::npos)
        return true;
    return false;
  };
  EXPECT_FALSE(has_title());
  diagrams->setChecked(true);
  QApplication::processEvents();
  EXPECT_TRUE(has_title());
  window->Preview()->hide();
}

TEST_F(WindowTest, LabelSwitchesAndSheetAreSavedWithTheJob) {
  PreviewWindow* preview = window->Preview();
  EXPECT_EQ(preview->Labels()->text(), QStringLiteral("ラベル"));
  preview->Labels()->setChecked(true);
  preview->LabelSheet()->SetItemIndex(1);
  EXPECT_TRUE(window->DataModified());
  QFile f(SaveAsTo("labels.zv5"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().endsWith("CbMeisaiL = 1\r\nRgLabelSheet = 1\r\nCbMeisaiS = 0\r\n"));
}

TEST(MessageDialogTest, MarkersLinesAndCopy) {
  MessageDialog d;
  d.Prepare(base::Lit("[#×]素材が未入力です。"));
  EXPECT_FALSE(d.Cross()->isHidden());
  EXPECT_TRUE(d.CopyButton()->isHidden());
  EXPECT_GT(d.Label(0)->x(), d.Cross()->x() + d.Cross()->width());
  EXPECT_EQ(d.Label(0)->text(), QStringLiteral(" 素材が未入力です。"));

  d.Prepare(base::Lit("[#COPY][#×]一行目\n二行目"));
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

TEST(MessageDialogTest, TextIsShownAsItIs) {
  MessageDialog d;
  d.Prepare("[#×]/home/a/<b>x  y</b>/&amp;.zv5");
  EXPECT_EQ(d.Label(0)->textFormat(), Qt::PlainText);
  EXPECT_EQ(d.Label(0)->text(), QStringLiteral(" /home/a/<b>x  y</b>/&amp;.zv5"));
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

TEST_F(WindowTest, SaveThenOpenRestoresTheJob) {
  window->Edit(JobField::kProjectName)->SetText(base::Lit("Ａ棟"));
  window->Grid2()->SetCell(1, 1, " 2700.  4");
  window->SetDataModified(true);
  const QString path = SaveAsTo("job.zv5");
  EXPECT_EQ(window->CurrentFile(), path);
  EXPECT_FALSE(window->DataModified());
  EXPECT_EQ(window->Recent().Items()[0], path.toStdString());

  window->Edit(JobField::kProjectName)->SetText("changed");
  window->SetDataModified(true);
  answer = QMessageBox::No;
  window->ask_open_path = [&](const QString&) { return path; };
  window->Open();
  EXPECT_EQ(window->Edit(JobField::kProjectName)->Text(), base::Lit("Ａ棟"));
  EXPECT_EQ(window->Grid2()->Cell(1, 1), " 2700.  4");
  EXPECT_FALSE(window->DataModified());
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The window and the headless form are built from one table: they must write the same file.
TEST_F(WindowTest, WindowAndHeadlessFormSaveTheSameBytes) {
  auto form_records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*form_records);
  const std::string window_fresh = settings->File("window_fresh.zv5");
  const std::string form_fresh = settings->File("form_fresh.zv5");
  ASSERT_TRUE(job::WriteJobFile(*window, window_fresh));
  ASSERT_TRUE(job::WriteJobFile(form, form_fresh));
  const std::string golden =
      FileBytes(ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5") +
      "CbMeisaiC = 0\r\nCbMeisaiL = 0\r\nRgLabelSheet = 0\r\nCbMeisaiS = 0\r\n";
  EXPECT_EQ(FileBytes(window_fresh), golden);
  EXPECT_EQ(FileBytes(form_fresh), golden);

  const std::string example = ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5";
  ASSERT_TRUE(window->OpenJob(QString::fromStdString(example)));
  ASSERT_TRUE(job::OpenJobFile(form, example));
  const std::string window_saved = settings->File("window_example.zv5");
  const std::string form_saved = settings->File("form_example.zv5");
  ASSERT_TRUE(job::WriteJobFile(*window, window_saved));
  ASSERT_TRUE(job::WriteJobFile(form, form_saved));
  const std::string bytes = FileBytes(window_saved);
  EXPECT_EQ(bytes, FileBytes(form_saved));
  EXPECT_NE(bytes, golden);
  // What was loaded comes back: every line of the example is in the saved job.
  for (const std::string& line : base::SplitLines(FileBytes(example)))
    EXPECT_NE(bytes.find(line + "\r\n"), std::string::npos) << line;
}

// The window's controls follow the table: names, kinds, edit tags and the tab chain.
TEST_F(WindowTest, ControlsFollowTheTable) {
  const std::vector<job::SavedControl*> controls = window->PersistentControls();
  ASSERT_EQ(controls.size(), job::kJobControls.size());
  std::vector<QWidget*> chain;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const job::ControlEntry& entry = job::kJobControls[i];
    SCOPED_TRACE(entry.key);
    EXPECT_EQ(controls[i]->Name(), entry.key);
    EXPECT_EQ(controls[i]->Kind(), entry.kind);
    auto* widget = dynamic_cast<QWidget*>(controls[i]);
    ASSERT_NE(widget, nullptr);
    if (entry.field) {
      EXPECT_EQ(widget, window->Edit(*entry.field));
      EXPECT_EQ(window->Edit(*entry.field)->Tag(), entry.tag);
    }
    if (entry.tab >= 0) {
      if (chain.size() <= static_cast<std::size_t>(entry.tab))
        chain.resize(static_cast<std::size_t>(entry.tab) + 1);
      chain[static_cast<std::size_t>(entry.tab)] = widget;
    }
  }
  ASSERT_EQ(chain.size(), 13u);
  // Tab leaves a control (past its own children) for the next that takes the focus by Tab.
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    QWidget* next = chain[i]->nextInFocusChain();
    while (next != chain[i] &&
           (chain[i]->isAncestorOf(next) || (next->focusPolicy() & Qt::TabFocus) == 0))
      next = next->nextInFocusChain();
    // The precision group passes the focus on to its checked button.
    EXPECT_TRUE(next == chain[i + 1] || chain[i + 1]->isAncestorOf(next)) << i;
  }
  EXPECT_EQ(chain.front(), window->Edit(JobField::kProjectName));
  EXPECT_EQ(chain[6], window->Grid1());
  EXPECT_EQ(chain[10], window->Precision());
  EXPECT_EQ(chain.back(), window->Vertical());
}

// Keys held down as a test says, in place of the keyboard.
class HeldKeys final : public optimiser::KeyState {
 public:
  bool IsKeyDown(int key) const override { return down.count(key) != 0; }
  std::set<int> down;
};

QLabel* LabelWithText(QWidget* parent, const QString& text) {
  for (QLabel* l : parent->findChildren<QLabel*>())
    if (l->text() == text) return l;
  return nullptr;
}

// A double click on a list's caption fills sample lengths only while Ctrl is held.
TEST_F(WindowTest, CtrlDoubleClickOnACaptionFillsSamples) {
  HeldKeys held;
  window->keys = &held;
  QLabel* stock = LabelWithText(window.get(), QStringLiteral("素材リスト(㎜)"));
  QLabel* cut = LabelWithText(window.get(), QStringLiteral("切断リスト(㎜)"));
  ASSERT_NE(stock, nullptr);
  ASSERT_NE(cut, nullptr);
  QTest::mouseDClick(stock, Qt::LeftButton);
  QTest::mouseDClick(cut, Qt::LeftButton);
  EXPECT_EQ(window->Grid1()->Cell(1, 1), "");
  EXPECT_EQ(window->Grid2()->Cell(1, 1), "");

  held.down.insert(optimiser::kKeyControl);
  QTest::mouseDClick(stock, Qt::LeftButton);
  EXPECT_EQ(window->Grid1()->Cell(1, 1), "5000.99");
  EXPECT_EQ(window->Grid1()->Cell(2, 1), "5500.99");
  EXPECT_EQ(window->Grid2()->Cell(1, 1), "");
  QTest::mouseDClick(cut, Qt::LeftButton);
  EXPECT_EQ(window->Grid2()->Cell(1, 1), "500.20");
  EXPECT_EQ(window->Grid2()->Cell(2, 1), "600.20");
  window->keys = nullptr;
}

TEST_F(WindowTest, OpeningForcesTheExtension) {
  window->ask_open_path = [&](const QString&) {
    return QString::fromStdString(settings->File("job.txt"));
  };
  window->Open();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(base::Cp932ToUtf8(messages[0]),
            "[×]" + settings->path().string() +
                "/\njob.zv5\nは読み込めません\nファイルまたはフォルダが見つかりません");
  EXPECT_TRUE(window->CurrentFile().isEmpty());
}

TEST_F(WindowTest, UnwritableTargetKeepsTheJobUnsaved) {
  window->SetDataModified(true);
  SaveAsTo("no/such/folder/job.zv5");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(base::Cp932ToUtf8(messages[0]).find("には書き込めません"), std::string::npos);
  EXPECT_TRUE(window->DataModified());
  EXPECT_TRUE(window->CurrentFile().isEmpty());

  // A name CP932 cannot hold is refused before anything is written.
  SaveAsTo("job\xF0\x9F\x94\xA9.zv5");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(base::Cp932ToUtf8(messages[1]).find("保存できない文字"), std::string::npos);
  EXPECT_TRUE(window->CurrentFile().isEmpty());
}

TEST_F(WindowTest, RecentListKeepsTheTenNewest) {
  std::vector<QString> paths;
  for (int i = 0; i < 11; ++i) paths.push_back(SaveAsTo("job" + std::to_string(i) + ".zv5"));
  const auto& items = window->Recent().Items();
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(items[static_cast<std::size_t>(i)],
              paths[static_cast<std::size_t>(10 - i)].toStdString());
  EXPECT_TRUE(window->RecentItem(9)->isVisible());

  window->Reopen(4);  // the fifth: job6
  EXPECT_EQ(window->Recent().Items()[0], paths[6].toStdString());
  EXPECT_EQ(window->Recent().Items()[1], paths[10].toStdString());
  EXPECT_EQ(window->Recent().Items()[4], paths[7].toStdString());
  EXPECT_EQ(window->CurrentFile(), paths[6]);

  // The list file holds the same, newest first.
  QFile list(QString::fromStdString(job::RecentListPath()));
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_TRUE(list.readLine().trimmed() == paths[6].toUtf8());
}

TEST_F(WindowTest, CaseVariantsDeletedFilesAndClearing) {
  const QString lower = SaveAsTo("a.zv5");
  const QString upper = SaveAsTo("A.zv5");
  EXPECT_EQ(window->Recent().Items()[0], upper.toStdString());
  EXPECT_EQ(window->Recent().Items()[1], lower.toStdString());  // compared exactly

  QFile::remove(lower);
  window->SetCurrentFile(QString());  // nothing to reopen, so the start changes no list
  window->close();
  Restart();
  EXPECT_FALSE(window->RecentItem(1)->isVisible());  // hidden, not yet removed from the list
  QFile list(QString::fromStdString(job::RecentListPath()));
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_EQ(list.readAll().count('\n'), 2);
  list.close();
  window->UpdateRecentFiles(QString());
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_EQ(list.readAll().count('\n'), 1);
  list.close();

  window->ClearHistory();
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(window->RecentItem(i)->isVisible());
  EXPECT_EQ(window->RecentWork()->text(), QStringLiteral("（なし）"));
  EXPECT_FALSE(window->RecentWork()->isSeparator());
  EXPECT_FALSE(window->RecentClear()->isVisible());
  window->SetCurrentFile(upper);
  window->ClearHistory();
  EXPECT_EQ(window->CurrentFile(), upper);  // the current job is not touched
}

TEST_F(WindowTest, RecentSeparatorCarriesNoText) {
  // Empty at the start, and with entries: a plain separator line, never a "-" beside it.
  EXPECT_TRUE(window->RecentWork()->isSeparator());
  EXPECT_TRUE(window->RecentWork()->text().isEmpty());
  SaveAsTo("a.zv5");
  EXPECT_TRUE(window->RecentWork()->isSeparator());
  EXPECT_TRUE(window->RecentWork()->text().isEmpty());
  window->ClearHistory();
  EXPECT_EQ(window->RecentWork()->text(), QStringLiteral("（なし）"));
}

TEST_F(WindowTest, LastFileOpensAtTheNextStart) {
  const QString path = SaveAsTo("last.zv5");
  window->close();
  Restart();
  EXPECT_EQ(window->CurrentFile(), path);

  // Closing with no current file: nothing opens next time.
  window->SetCurrentFile(QString());
  window->close();
  EXPECT_EQ(job::ReadLastFile(), "");
  Restart();
  EXPECT_TRUE(window->CurrentFile().isEmpty());
}

TEST_F(WindowTest, DroppedFiles) {
  const QString first = SaveAsTo("first.zv5");
  const QString second = SaveAsTo("second.zv5");
  window->SetCurrentFile(QString());
  window->DropFiles({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
  EXPECT_EQ(window->CurrentFile(), first);

  QFile::copy(first, QString::fromStdString(settings->File("UPPER.ZV5")));
  window->DropFiles({QUrl::fromLocalFile(QString::fromStdString(settings->File("UPPER.ZV5")))});
  EXPECT_EQ(window->CurrentFile(), QString::fromStdString(settings->File("UPPER.ZV5")));

  QFile text(QString::fromStdString(settings->File("notes.txt")));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("hello");
  text.close();
  // A text file is offered as a cut list; declined, nothing changes.
  window->ask_read_list = [](const QString&) { return false; };
  window->DropFiles({QUrl::fromLocalFile(text.fileName())});
  EXPECT_EQ(window->CurrentFile(), QString::fromStdString(settings->File("UPPER.ZV5")));
  EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, YesKeepsTheJobWhenTheSaveDoesNotHappen) {
  window->SetDataModified(true);
  int asked = 0;
  window->ask_save_path = [&](const QString& proposed) {
    ++asked;
    EXPECT_TRUE(proposed.endsWith(QStringLiteral("<工事名>：<部材名>")));
    return QString();  // cancelled
  };
  int opened = 0;
  window->ask_open_path = [&](const QString&) {
    ++opened;
    return QString();
  };
  answer = QMessageBox::Yes;
  window->close();
  window->Open();
  window->NewJob();
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(opened, 0);  // Open went no further
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->DataModified());

  // A file that cannot be written: the message, and the window stays with the job.
  SaveAsTo("job.zv5");
  window->Edit(JobField::kProjectName)->SetText("unsaved");
  window->SetDataModified(true);
  testing::FakeFiles files;
  testing::UseFiles use(files);
  files.FailOn(testing::FakeFiles::Fail::kSync, EIO);
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(window->Edit(JobField::kProjectName)->Text(), "unsaved");
}

TEST_F(WindowTest, NewAnotherJobAndTheOldResults) {
  window->Grid1()->SetCell(1, 1, "5500.10");
  window->Grid2()->SetCell(1, 1, "2700.4");
  window->RunButton()->click();
  ASSERT_TRUE(window->Preview()->isVisible());
  // An edit after the run: CSV出力 says the plan is older than the job.
  window->ask_plan_csv_path = [&](const QString&) { return QString(); };
  // (The first key starts the field's entry, the second enters: the kerf is 5 now.)
  QTest::keyClick(window->Edit(JobField::kKerf), Qt::Key_5);
  QTest::keyClick(window->Edit(JobField::kKerf), Qt::Key_5);
  ASSERT_EQ(window->PlanFreshness(), session::Freshness::kOutdated);
  EXPECT_FALSE(window->ProgressLabel()->isEnabled());  // greyed, its text kept
  FileCommand(*window, QStringLiteral("CSV出力…"))->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(base::Cp932ToUtf8(messages[0]).find("古い"), std::string::npos);
  // The open preview says so too, and prints nothing.
  EXPECT_TRUE(window->Preview()->Outdated());
  bool dialog = false;
  window->Preview()->ask_print = [&](QPrinter&) { return dialog = true, false; };
  window->Preview()->PrintAll();
  EXPECT_FALSE(dialog);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(base::Cp932ToUtf8(messages[1]).find("印刷して下さい"), std::string::npos);
  messages.erase(messages.begin() + 1);

  // Ctrl+N (asks first) gives a fresh job without the old plan.
  QAction* fresh = FileCommand(*window, QStringLiteral("新規(&N)"));
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->shortcut(), QKeySequence(QKeySequence::New));
  // The items users know keep their places and access letters; 新規 comes below them.
  QStringList items;
  for (QMenu* m : window->menuBar()->findChildren<QMenu*>())
    if (m->title() == QStringLiteral("ファイル(&F)"))
      for (QAction* a : m->actions()) items << a->text();
  EXPECT_EQ(items.mid(0, 7),
            (QStringList{QStringLiteral("開く(&O)"), QStringLiteral("開き直す"), QString(),
                         QStringLiteral("上書き保存(&S)"), QStringLiteral("名前を付けて保存(&A)"),
                         QString(), QStringLiteral("新規(&N)")}));
  answer = QMessageBox::No;
  fresh->trigger();
  EXPECT_EQ(prompts, 1);
  EXPECT_FALSE(window->Preview()->isVisible());
  EXPECT_EQ(window->ProgressLabel()->text(), QStringLiteral("・・・・・"));
  EXPECT_EQ(window->Grid1()->Cell(1, 1), "");
  EXPECT_EQ(Shown(JobField::kKerf), "  3");
  FileCommand(*window, QStringLiteral("CSV出力…"))->trigger();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(base::Cp932ToUtf8(messages[1]).find("先に「Zarvel実行」"), std::string::npos);
}

// ---- What the user types or saves is never lost ----

// Remembers the reasons of the focus changes a widget receives.
class FocusReasons final : public QObject {
 public:
  explicit FocusReasons(QWidget* w) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::FocusOut) out.push_back(static_cast<QFocusEvent*>(e)->reason());
    if (e->type() == QEvent::FocusIn) in.push_back(static_cast<QFocusEvent*>(e)->reason());
    return false;
  }
  std::vector<Qt::FocusReason> out, in;
};

// A key as an X server delivers it, with its text.
void SendKey(QWidget* w, Qt::Key key, const QString& text, Qt::KeyboardModifiers mods = {}) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(w, &release);
}

// Text committed by the input method (how Japanese is typed).
void Commit(QWidget* w, const QString& text) {
  QInputMethodEvent preedit(text, {});
  QApplication::sendEvent(w, &preedit);
  QInputMethodEvent commit(QString(), {});
  commit.setCommitString(text);
  QApplication::sendEvent(w, &commit);
}

// Text dropped on a widget; answers whether the drop was taken.
bool Drop(QWidget* w, const QString& text) {
  QMimeData data;
  data.setText(text);
  const QPoint at = w->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &drop);
  return enter.isAccepted() || drop.isAccepted();
}

std::size_t Cp932Size(const std::string& cp932) {
  return cp932.size();
}

bool WholeCp932(const std::string& cp932) {
  return base::Cp932ToUtf8(cp932).find("\xEF\xBF\xBD") == std::string::npos;
}

class EntryTest : public WindowTest {
 protected:
  // Another window becomes active, then this one again.
  void SwitchWindows() {
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::processEvents();
    QApplication::setActiveWindow(window.get());
    QApplication::processEvents();
  }
  // The File menu opened and closed again, as with the mouse.
  void OpenAndCloseFileMenu() {
    QMenu* file = window->menuBar()->actions().value(0)->menu();
    file->popup(window->mapToGlobal(QPoint(10, 10)));
    QApplication::processEvents();
    file->close();
    QApplication::processEvents();
  }
};

TEST_F(EntryTest, WindowSwitchesAndMenusDoNotEndTheEntry) {
  QApplication::setActiveWindow(window.get());
  CellGrid* g = window->Grid1();
  Focus(g);
  FocusReasons grid_focus(g);
  QTest::keyClicks(g, "5500.");
  SwitchWindows();
  ASSERT_FALSE(grid_focus.out.empty());  // the switch did take the focus away
  EXPECT_EQ(grid_focus.out.back(), Qt::ActiveWindowFocusReason);
  QTest::keyClick(g, Qt::Key_3);
  QTest::keyClick(g, Qt::Key_Return);
  EXPECT_EQ(g->Cell(1, 1), " 5500.  3");
  QTest::keyClicks(g, "6000.");
  OpenAndCloseFileMenu();
  EXPECT_EQ(grid_focus.out.back(), Qt::PopupFocusReason);
  QTest::keyClick(g, Qt::Key_2);
  QTest::keyClick(g, Qt::Key_Return);
  EXPECT_EQ(g->Cell(1, 2), " 6000.  2");

  NumEdit* wunit = window->Edit(JobField::kUnitWeight);
  Focus(wunit);
  QTest::keyClicks(wunit, "74.");
  SwitchWindows();
  EXPECT_EQ(wunit->Text(), "     74.");  // not reformatted while the user is away
  QTest::keyClick(wunit, Qt::Key_5);
  QTest::keyClick(wunit, Qt::Key_Return);
  EXPECT_EQ(wunit->Text(), "   74.50");
  NumEdit* yoyu = window->Edit(JobField::kMargin);
  Focus(yoyu);
  QTest::keyClick(yoyu, Qt::Key_1);
  OpenAndCloseFileMenu();
  QTest::keyClick(yoyu, Qt::Key_5);
  EXPECT_EQ(yoyu->Text(), " 15");
  QTest::keyClick(yoyu, Qt::Key_Escape);  // still the same entry: back to what it held before
  EXPECT_EQ(yoyu->Text(), " 20");

  // Entering another field does end it.
  QTest::keyClick(yoyu, Qt::Key_7);
  Focus(window->Edit(JobField::kKerf));
  Focus(yoyu);
  QTest::keyClick(yoyu, Qt::Key_8);
  EXPECT_EQ(yoyu->Text(), "  8");
}

TEST_F(EntryTest, DeleteIsNoCharacter) {
  const QString del(QChar(0x7F));  // X11's text for Delete
  NumEdit* siro = window->Edit(JobField::kKerf);
  Focus(siro);
  SendKey(siro, Qt::Key_Delete, del);
  EXPECT_EQ(siro->Text(), "  3");
  EXPECT_FALSE(window->DataModified());
  QTest::keyClicks(siro, "25");
  QTest::keyClick(siro, Qt::Key_Return);
  EXPECT_EQ(siro->Text(), " 25");

  window->SetDataModified(false);
  NumEdit* kname = window->Edit(JobField::kProjectName);
  Focus(kname);
  kname->home(false);
  SendKey(kname, Qt::Key_Delete, del);
  EXPECT_EQ(kname->Text(), base::Lit("工事名>"));  // not typing, but a change of the job
  EXPECT_TRUE(window->DataModified());
  window->SetDataModified(false);
  CellGrid* g = window->Grid2();
  Focus(g);
  SendKey(g, Qt::Key_Delete, del);  // an empty cell stays as it was
  EXPECT_FALSE(window->DataModified());
  g->SetCell(1, 1, " 700.  2");
  SendKey(g, Qt::Key_Delete, del);
  EXPECT_EQ(g->Cell(1, 1), "");
  EXPECT_TRUE(window->DataModified());
}

TEST_F(EntryTest, DeleteInAGridIsUndoneByEscape) {
  CellGrid* g = window->Grid1();
  g->SetCell(1, 1, " 5500.  3");
  Focus(g);
  SendKey(g, Qt::Key_Delete, QString(QChar(0x7F)));
  EXPECT_EQ(g->Cell(1, 1), "");
  QTest::keyClick(g, Qt::Key_7);
  EXPECT_EQ(g->Cell(1, 1), std::string(12, ' ') + "7");
  QTest::keyClick(g, Qt::Key_Escape);
  EXPECT_EQ(g->Cell(1, 1), " 5500.  3");
  SendKey(g, Qt::Key_Delete, QString(QChar(0x7F)));
  QTest::keyClick(g, Qt::Key_Escape);
  EXPECT_EQ(g->Cell(1, 1), " 5500.  3");
}

TEST_F(EntryTest, InputMethodAndPastesInNamesAreTyping) {
  NumEdit* kname = window->Edit(JobField::kProjectName);
  NumEdit* bname = window->Edit(JobField::kMemberName);
  const QString long_name = QStringLiteral("北町物流センター新築工事第二期工区");  // 34 bytes
  const std::size_t limit = NumEdit::kFreeTextMaxBytes;

  Focus(kname);
  Commit(kname, QStringLiteral("Ａ棟"));
  EXPECT_EQ(kname->Text(), base::Lit("<工事名>Ａ棟"));
  EXPECT_TRUE(window->DataModified());
  Commit(kname, long_name);  // 12 bytes there: 20 more fit, ten characters
  EXPECT_EQ(kname->Text(), base::Lit("<工事名>Ａ棟北町物流センター新築"));
  EXPECT_EQ(Cp932Size(kname->Text()), limit);

  // An odd number of bytes left: a two-byte character that does not fit is left out whole.
  kname->SetText("A");
  Focus(bname);
  Focus(kname);
  Commit(kname, long_name);
  EXPECT_EQ(Cp932Size(kname->Text()), limit - 1);
  EXPECT_TRUE(WholeCp932(kname->Text()));

  struct Paste {
    const char* how;
    std::function<void()> paste;
  };
  const std::vector<Paste> pastes = {
      {"Ctrl+V", [&] { QTest::keyClick(bname, Qt::Key_V, Qt::ControlModifier); }},
      {"Shift+Insert", [&] { QTest::keyClick(bname, Qt::Key_Insert, Qt::ShiftModifier); }},
      {"context menu",
       [&] {
         std::unique_ptr<QMenu> menu(bname->createStandardContextMenu());
         for (QAction* a : menu->actions())
           if (a->text().startsWith(QStringLiteral("貼り付け"))) a->trigger();
       }},
      {"drop", [&] { EXPECT_TRUE(Drop(bname, QGuiApplication::clipboard()->text())); }},
  };
  for (const Paste& p : pastes) {
    bname->SetText(base::Lit("梁"));
    window->SetDataModified(false);
    Focus(bname);
    QGuiApplication::clipboard()->setText(long_name);
    p.paste();
    EXPECT_TRUE(window->DataModified()) << p.how;
    EXPECT_EQ(bname->Text(), base::Lit("梁北町物流センター新築工事第二期")) << p.how;
  }
  // Closing now asks first.
  answer = QMessageBox::Cancel;
  window->close();
  EXPECT_EQ(prompts, 1);

  // A text the program sets is not cut.
  kname->SetText(std::string(40, 'x'));
  EXPECT_EQ(kname->Text().size(), 40u);
}

TEST_F(EntryTest, MiddleClickPastesIntoNamesButNeverIntoNumbers) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
    ASSERT_TRUE(clipboard->supportsSelection());
  }
  const bool selection = clipboard->supportsSelection();
  NumEdit* wunit = window->Edit(JobField::kUnitWeight);
  wunit->SetText("   21.30");
  window->SetDataModified(false);
  if (selection) clipboard->setText(QStringLiteral("2.00"), QClipboard::Selection);
  QTest::mouseClick(wunit, Qt::MiddleButton);
  EXPECT_EQ(wunit->Text(), "   21.30");
  EXPECT_FALSE(Drop(wunit, QStringLiteral("2.00")));
  EXPECT_EQ(wunit->Text(), "   21.30");
  clipboard->setText(QStringLiteral("2.00"));
  Focus(wunit);
  QTest::keyClick(wunit, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(wunit, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(wunit->Text(), "   21.30");
  EXPECT_FALSE(window->DataModified());

  if (!selection) return;  // the offscreen platform has no X11 selection
  NumEdit* kname = window->Edit(JobField::kProjectName);
  clipboard->setText(QStringLiteral("北町物流センター新築工事第二期工区\n次の行"),
                     QClipboard::Selection);
  kname->SetText("");
  QTest::mouseClick(kname, Qt::MiddleButton);
  EXPECT_EQ(kname->Text(), base::Lit("北町物流センター新築工事第二期工"));
  EXPECT_TRUE(window->DataModified());
}

TEST_F(EntryTest, PastedLineBreaksNeverReachTheFile) {
  window->Grid1()->SetCell(1, 1, " 6000.  4");
  NumEdit* kname = window->Edit(JobField::kProjectName);
  Focus(kname);
  kname->selectAll();
  QGuiApplication::clipboard()->setText(QStringLiteral("ABC\n[memo]\r\nedSiro = 99"));
  QTest::keyClick(kname, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(kname->Text(), "ABC [memo]  edSiro = 99");
  window->Edit(JobField::kMemberName)->SetText("set\nby the program");
  const QString path = SaveAsTo("breaks.zv5");
  std::ifstream in(path.toStdString(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(base::SplitLines(bytes).size(), 58u);  // 54 as before, and the boxes added since

  window->Grid1()->SetCell(1, 1, "");
  window->Edit(JobField::kMargin)->SetText(" 77");
  ASSERT_TRUE(window->OpenJob(path));
  EXPECT_EQ(window->Edit(JobField::kKerf)->Text(), "  3");
  EXPECT_EQ(window->Edit(JobField::kMargin)->Text(), " 20");  // the conditions were read
  EXPECT_EQ(window->Grid1()->Cell(1, 1), " 6000.  4");        // and the grids
}

TEST_F(EntryTest, InputMethodHintsAndFocusIntoThePrecision) {
  const auto hints = [](QWidget* w) {
    return Qt::InputMethodHints(w->inputMethodQuery(Qt::ImHints).toInt());
  };
  EXPECT_TRUE(hints(window->Edit(JobField::kMemberName)) & Qt::ImhLatinOnly);
  EXPECT_FALSE(hints(window->Edit(JobField::kProjectName)) & Qt::ImhLatinOnly);
  EXPECT_FALSE(window->Edit(JobField::kKerf)->testAttribute(Qt::WA_InputMethodEnabled));

  window->Precision()->SetItemIndex(2);
  QRadioButton* high = window->Precision()->findChildren<QRadioButton*>().value(2);
  ASSERT_NE(high, nullptr);
  ASSERT_TRUE(high->isChecked());
  Focus(window->Edit(JobField::kKerf));
  QTest::keyClick(window->Edit(JobField::kKerf), Qt::Key_Down);
  EXPECT_TRUE(high->hasFocus());
  Focus(window->Edit(JobField::kPriorityLength));
  QTest::keyClick(window->Edit(JobField::kPriorityLength), Qt::Key_Up);
  EXPECT_TRUE(high->hasFocus());
}

TEST_F(EntryTest, QtsOwnTextsAreJapanese) {
  ASSERT_TRUE(InstallQtTranslations());
  const std::unique_ptr<QMessageBox> prompt = SavePrompt(window.get());
  EXPECT_EQ(prompt->text(), QStringLiteral("データが変更されています、保存しますか？"));
  EXPECT_EQ(prompt->button(QMessageBox::Yes)->text(), QStringLiteral("はい"));
  EXPECT_EQ(prompt->button(QMessageBox::No)->text(), QStringLiteral("いいえ"));
  EXPECT_EQ(prompt->button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));

  std::unique_ptr<QMenu> menu(window->Edit(JobField::kProjectName)->createStandardContextMenu());
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  EXPECT_TRUE(texts.join(QLatin1Char('|')).contains(QStringLiteral("貼り付け")))
      << texts.join(QLatin1Char(' ')).toStdString();

  QFileDialog dialog(window.get());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  QStringList buttons;
  for (const QPushButton* b : dialog.findChildren<QPushButton*>()) buttons << b->text();
  EXPECT_TRUE(buttons.contains(QStringLiteral("キャンセル")))
      << buttons.join(QLatin1Char(' ')).toStdString();

  // The print dialog, its options shown: no English word left (a printer's name aside).
  QPrinter printer;
  QPrintDialog print(&printer, window.get());
  QStringList shown;
  for (const QAbstractButton* b : print.findChildren<QAbstractButton*>()) shown << b->text();
  for (const QLabel* l : print.findChildren<QLabel*>()) shown << l->text();
  for (const QGroupBox* g : print.findChildren<QGroupBox*>()) shown << g->title();
  for (const QComboBox* c : print.findChildren<QComboBox*>())
    if (c->objectName() != QStringLiteral("printers"))
      for (int i = 0; i < c->count(); ++i) shown << c->itemText(i);
  const QRegularExpression english(QStringLiteral("[A-Za-z]{4,}"));
  EXPECT_TRUE(shown.filter(english).isEmpty())
      << shown.filter(english).join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("両面印刷")))
      << shown.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(QCoreApplication::translate("QPageSize", "A4 Extra"), QStringLiteral("A4 エクストラ"));
}

TEST_F(EntryTest, ACommandLineJobIsRememberedByItsAbsolutePath) {
  const QString saved = SaveAsTo("cmdline.zv5");
  window->SetCurrentFile(QString());
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(settings->path());
  window->OpenFromCommandLine(QStringLiteral("cmdline.zv5"));
  std::filesystem::current_path(before);
  EXPECT_EQ(window->CurrentFile(), saved);
  EXPECT_TRUE(QFileInfo(window->CurrentFile()).isAbsolute());
  EXPECT_EQ(window->Recent().Items()[0], saved.toStdString());
  window->close();
  EXPECT_EQ(job::ReadLastFile(), saved.toStdString());
}

TEST_F(EntryTest, SaveAsWithoutAFileStartsAtHome) {
  const QByteArray home = qgetenv("HOME");
  const QByteArray config = qgetenv("XDG_CONFIG_HOME");
  const std::string new_home = settings->File("home");
  std::filesystem::create_directories(new_home);
  qputenv("HOME", QByteArray::fromStdString(new_home));
  qunsetenv("XDG_CONFIG_HOME");
  QString proposed;
  window->ask_save_path = [&](const QString& p) {
    proposed = p;
    return QString();
  };
  window->SaveAs();
  EXPECT_EQ(QFileInfo(proposed).path(), QString::fromStdString(new_home));
  EXPECT_EQ(QFileInfo(proposed).fileName(), QStringLiteral("<工事名>：<部材名>"));
  std::filesystem::create_directories(new_home + "/Documents");
  window->SaveAs();
  EXPECT_EQ(QFileInfo(proposed).path(), QString::fromStdString(new_home + "/Documents"));
  qputenv("HOME", home);
  if (!config.isEmpty()) qputenv("XDG_CONFIG_HOME", config);
  // With a current file, its folder.
  const QString path = SaveAsTo("here.zv5");
  window->ask_save_path = [&](const QString& p) {
    proposed = p;
    return QString();
  };
  window->SaveAs();
  EXPECT_EQ(QFileInfo(proposed).path(), QFileInfo(path).path());
}

TEST_F(EntryTest, UpperCaseExtensionIsKept) {
  const QString upper = SaveAsTo("JOB.ZV5");
  EXPECT_TRUE(QFileInfo::exists(upper));
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(settings->File("JOB.zv5"))));
  EXPECT_EQ(window->CurrentFile(), upper);
  window->Edit(JobField::kProjectName)->SetText("again");
  window->Save();
  EXPECT_EQ(window->CurrentFile(), upper);
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(settings->File("JOB.zv5"))));
  window->Edit(JobField::kProjectName)->SetText("changed");
  window->ask_open_path = [&](const QString&) { return upper; };
  window->Open();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(window->Edit(JobField::kProjectName)->Text(), "again");
}

TEST_F(EntryTest, AFileNeverGrowsAGrid) {
  const std::string path = settings->File("rows.zv5");
  {
    std::ofstream out(path, std::ios::binary);
    out << "[FmUnit1]\r\nGrid2 = 99999999\r\n,a,b\r\n1,700.2\r\n";
    for (int i = 0; i < 100000; ++i) out << "2,900.1\r\n";
  }
  ASSERT_TRUE(window->OpenJob(QString::fromStdString(path)));
  EXPECT_EQ(window->Grid2()->RowCount(), job::kCutGridRows);
  EXPECT_EQ(window->Grid2()->Cell(1, 1), "  700.  2");
  window->Grid2()->SetRowCount(1000000);  // what a count in a file asks for
  EXPECT_EQ(window->Grid2()->RowCount(), job::kCutGridRows);
}

TEST_F(EntryTest, UnreadableOrUnwritableJobsSayWhy) {
  const QString path = SaveAsTo("job.zv5");
  testing::FakeFiles files;
  testing::UseFiles use(files);
  files.FailOn(testing::FakeFiles::Fail::kOpen, EACCES, path.toStdString());
  const std::string unreadable = "[×]" + settings->path().string() +
                                 "/\njob.zv5\nは読み込めません\nアクセスが許可されていません";
  window->Edit(JobField::kProjectName)->SetText("unsaved");
  window->SetDataModified(true);
  answer = QMessageBox::No;
  window->Reopen(0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(base::Cp932ToUtf8(messages[0]), unreadable);
  EXPECT_TRUE(window->DataModified());  // what is in the window is still not saved
  EXPECT_EQ(window->Edit(JobField::kProjectName)->Text(), "unsaved");
  window->DropFiles({QUrl::fromLocalFile(path)});
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(base::Cp932ToUtf8(messages[1]), unreadable);

  files.FailOn(testing::FakeFiles::Fail::kSync, EIO);
  window->Save();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(base::Cp932ToUtf8(messages[2]),
            "[×]" + settings->path().string() +
                "/\njob.zv5\nには書き込めません\n入出力エラーが起きました");
  EXPECT_TRUE(window->DataModified());
}

TEST_F(EntryTest, ADamagedFileIsRefusedAndAnIncompleteOneSaysSo) {
  window->Grid2()->SetCell(1, 1, "  700.  2");
  const QString good = SaveAsTo("good.zv5");
  const std::string bad = settings->File("bad.zv5");
  window->ask_open_path = [&](const QString&) { return QString::fromStdString(bad); };
  // Random bytes, then the first 20 lines of a job.
  const std::string job = testing::ReadBytes(good.toStdString());
  for (const std::string& bytes :
       {std::string("\x89PNG\r\n\0\x01\xff", 9), job.substr(0, job.find("\r\n11,") + 2)}) {
    testing::WriteBytes(bad, bytes);
    messages.clear();
    window->Open();
    ASSERT_EQ(messages.size(), 1u);
    const bool refused = bytes[0] != job[0];
    EXPECT_NE(
        base::Cp932ToUtf8(messages[0])
            .find(refused ? "仕事のファイルではありません" : "一部が欠けた仕事のファイルです"),
        std::string::npos);
    // Refused: nothing changed. Incomplete: opened, what it lacked is a fresh job's.
    EXPECT_EQ(window->CurrentFile().toStdString(), refused ? good.toStdString() : bad);
    EXPECT_EQ(window->RecentItem(0)->text(), window->CurrentFile());
    EXPECT_EQ(window->Grid2()->Cell(1, 1), refused ? "  700.  2" : "");
    EXPECT_EQ(window->DataModified(), !refused);
  }
}

}  // namespace
}  // namespace zarvel::app
