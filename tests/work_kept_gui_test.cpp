// The window keeps the user's work against name clashes, a second copy of the program, changes
// on disk, damaged files and keys that went nowhere.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QLockFile>
#include <QMenuBar>
#include <QPageSize>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "app/history.h"
#include "app/main_window.h"
#include "app/message.h"
#include "app/qt_text.h"
#include "base/app_info.h"
#include "base/cp932.h"
#include "base/numbers.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

using run::JobField;
using testing::ReadBytes;

class KeptWorkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::make_unique<testing::TempDir>("zarvel5-kept");
    qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(dir->File("settings")));
    SetMessageHandler([this](const std::string& m) { messages.push_back(Utf8(m)); });
    window = NewWindow();
  }
  void TearDown() override {
    for (auto* w : {window.get(), other.get()})
      if (w != nullptr) w->SetDataModified(false);
    other.reset();
    window.reset();
    SetMessageHandler(nullptr);
  }
  static std::string Utf8(const std::string& cp932) { return base::Cp932ToUtf8(cp932); }

  // A window whose questions are answered by the test.
  std::unique_ptr<MainWindow> NewWindow() {
    auto w = std::make_unique<MainWindow>(*records);
    w->ask_save_changes = [] { return QMessageBox::No; };
    w->Guard().ask_open_locked = [this](const QString& text) {
      asked.push_back(text);
      return locked_answer;
    };
    w->Guard().ask_before_save = [this](const QString& text) {
      asked.push_back(text);
      return save_answer;
    };
    w->Guard().ask_replace = [this](const QString& text) {
      asked.push_back(text);
      return replace_answer;
    };
    w->show();
    w->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
    return w;
  }
  QString File(const std::string& name) const { return QString::fromStdString(dir->File(name)); }
  QString SaveAs(MainWindow& w, const QString& path) {
    w.ask_save_path = [path](const QString&) { return path; };
    w.SaveAs();
    return w.CurrentFile();
  }
  void Write(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
  }

  std::unique_ptr<testing::TempDir> dir;
  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<MainWindow> other;  // a second copy of the program
  std::vector<std::string> messages;
  QStringList asked;
  JobGuard::Claim locked_answer = JobGuard::Claim::kCancel;
  JobGuard::SaveChoice save_answer = JobGuard::SaveChoice::kCancel;
  bool replace_answer = false;
};

TEST_F(KeptWorkTest, SaveAsKeepsADecimalNameAndAsksBeforeReplacingAnotherJob) {
  window->Edit(JobField::kProjectName)->SetText(base::Lit("（仮称）北町物流センター新築工事"));
  window->Edit(JobField::kMemberName)->SetText(base::Lit("H-200×100×5.5×8 小梁・間柱"));
  QString proposed;
  window->ask_save_path = [&](const QString& p) {
    proposed = p;
    return File("") + QFileInfo(p).fileName();
  };
  window->SaveAs();
  const QString beams = window->CurrentFile();
  EXPECT_EQ(QFileInfo(beams).fileName(),
            QStringLiteral("（仮称）北町物流センター新築工事：H-200×100×5.5×8 小梁・間柱.zv5"));
  EXPECT_TRUE(QFileInfo::exists(beams));
  EXPECT_TRUE(asked.isEmpty());
  const std::string saved = ReadBytes(beams.toStdString());

  // Another job saved under that name: asked first; refused, the file stays.
  window->NewJob();
  window->Edit(JobField::kKerf)->SetText("  9");
  const struct {
    bool replace;
    bool replaced;
  } answers[] = {{false, false}, {true, true}};
  for (const auto& a : answers) {
    asked.clear();
    replace_answer = a.replace;
    SaveAs(*window, beams);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("既に有ります"))) << asked[0].toStdString();
    EXPECT_EQ(ReadBytes(beams.toStdString()) != saved, a.replaced);
    EXPECT_EQ(window->CurrentFile() == beams, a.replaced);
  }
  // The job's own file is saved over without a question.
  asked.clear();
  window->Edit(JobField::kKerf)->SetText("  8");
  SaveAs(*window, beams);
  EXPECT_TRUE(asked.isEmpty());
  EXPECT_NE(ReadBytes(beams.toStdString()).find("edSiro =   8"), std::string::npos);
}

TEST_F(KeptWorkTest, ASecondCopySaysWhoHasTheJobAndOpensItReadOnly) {
  const QString job = SaveAs(*window, File("shared.zv5"));
  ASSERT_TRUE(QFileInfo::exists(JobGuard::LockPath(job)));
  other = NewWindow();
  locked_answer = JobGuard::Claim::kCancel;
  EXPECT_FALSE(other->OpenAndShow(job));
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].contains(QString::number(QCoreApplication::applicationPid())))
      << asked[0].toStdString();
  EXPECT_TRUE(other->CurrentFile().isEmpty());

  locked_answer = JobGuard::Claim::kReadOnly;
  ASSERT_TRUE(other->OpenAndShow(job));
  EXPECT_EQ(other->CurrentFile(), job);
  EXPECT_FALSE(other->ReadOnlyLabel()->isHidden());
  // Ctrl+S of the read-only copy never writes the job: it asks for another name.
  const std::string before = ReadBytes(job.toStdString());
  other->Edit(JobField::kKerf)->SetText("  7");
  int save_as = 0;
  other->ask_save_path = [&](const QString&) {
    ++save_as;
    return QString();
  };
  other->Save();
  EXPECT_EQ(save_as, 1);
  EXPECT_EQ(ReadBytes(job.toStdString()), before);
  // ... and may not take its name either while the first copy has it, nor reopen it writable.
  asked.clear();
  SaveAs(*other, job);
  EXPECT_EQ(asked.size(), 1);
  EXPECT_EQ(ReadBytes(job.toStdString()), before);
  locked_answer = JobGuard::Claim::kCancel;
  EXPECT_FALSE(other->OpenAndShow(job));
  EXPECT_EQ(asked.size(), 2);

  // The first copy closes the job: the lock goes with it.
  window->NewJob();
  EXPECT_FALSE(QFileInfo::exists(JobGuard::LockPath(job)));
}

TEST_F(KeptWorkTest, ALockLeftByACrashIsTakenOver) {
  const QString job = SaveAs(*window, File("crashed.zv5"));
  window->NewJob();
  // What a copy killed while it had the job open leaves: a lock naming a process that is gone.
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  Write(JobGuard::LockPath(job), std::to_string(gone) + "\n" +
                                     QCoreApplication::applicationName().toStdString() + "\n" +
                                     QSysInfo::machineHostName().toStdString() + "\n" +
                                     QSysInfo::machineUniqueId().toStdString() + "\n");
  EXPECT_TRUE(window->OpenAndShow(job));
  EXPECT_TRUE(asked.isEmpty());
  EXPECT_TRUE(window->ReadOnlyLabel()->isHidden());
}

TEST_F(KeptWorkTest, AFileChangedOnDiskIsNotOverwrittenWithoutAsking) {
  const QString job = SaveAs(*window, File("changed.zv5"));
  // Unchanged on disk: saved without a question.
  window->Edit(JobField::kKerf)->SetText("  4");
  window->Save();
  EXPECT_TRUE(asked.isEmpty());

  const std::string outside = ReadBytes(job.toStdString()) + "\r\n";
  const struct {
    JobGuard::SaveChoice answer;
    bool written;
    int save_as;
  } cases[] = {{JobGuard::SaveChoice::kCancel, false, 0},
               {JobGuard::SaveChoice::kSaveAs, false, 1},
               {JobGuard::SaveChoice::kOverwrite, true, 0}};
  for (const auto& c : cases) {
    Write(job, outside);  // another program's save
    asked.clear();
    save_answer = c.answer;
    int save_as = 0;
    window->ask_save_path = [&](const QString&) {
      ++save_as;
      return QString();
    };
    window->Edit(JobField::kKerf)->SetText("  5");
    window->SetDataModified(true);
    window->Save();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("変更されています"))) << asked[0].toStdString();
    EXPECT_EQ(ReadBytes(job.toStdString()) != outside, c.written);
    EXPECT_EQ(window->DataModified(), !c.written);
    EXPECT_EQ(save_as, c.save_as);
  }
  // Touched without a change of its bytes: no question.
  asked.clear();
  const std::string same = ReadBytes(job.toStdString());
  Write(job, same);
  window->Save();
  EXPECT_TRUE(asked.isEmpty());
  // Save As onto the job's own file is a save over it.
  Write(job, outside);
  save_answer = JobGuard::SaveChoice::kCancel;
  SaveAs(*window, job);
  EXPECT_EQ(asked.size(), 1);
  EXPECT_EQ(ReadBytes(job.toStdString()), outside);
}

TEST_F(KeptWorkTest, ATruncatedJobNamesItsListsAndIsNotSavedOverSilently) {
  // The cut list's rows stop after its seventh: the file ends there.
  std::string fresh = ReadBytes(ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5");
  std::size_t at = 0;
  for (int line = 0; line < 38; ++line) at = fresh.find("\r\n", at) + 2;
  const QString job = File("cut.zv5");
  Write(job, fresh.substr(0, at));
  ASSERT_TRUE(window->OpenAndShow(job));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("途中で切れていたリスト"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("切断リスト"), std::string::npos);
  EXPECT_TRUE(window->DataModified());
  save_answer = JobGuard::SaveChoice::kCancel;
  window->Save();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(ReadBytes(job.toStdString()), fresh.substr(0, at));
  save_answer = JobGuard::SaveChoice::kOverwrite;
  window->Save();
  // The whole job again, every line after the lists too; the next save asks no more.
  EXPECT_NE(ReadBytes(job.toStdString()).find("CbMeisaiB = "), std::string::npos);
  asked.clear();
  window->Save();
  EXPECT_TRUE(asked.isEmpty());
}

TEST_F(KeptWorkTest, EnterOnThePrecisionMovesOnToThePriorityLength) {
  QAbstractButton* checked = nullptr;
  for (QRadioButton* b : window->Precision()->findChildren<QRadioButton*>())
    if (b->isChecked()) checked = b;
  ASSERT_NE(checked, nullptr);
  window->activateWindow();
  checked->setFocus(Qt::TabFocusReason);
  QTest::keyClick(checked, Qt::Key_Return);
  NumEdit* priority = window->Edit(JobField::kPriorityLength);
  ASSERT_EQ(window->focusWidget(), priority);
  QTest::keyClicks(window->focusWidget(), QStringLiteral("4500"));
  EXPECT_EQ(base::TrimBlanks(priority->Text()), "4500");
}

TEST_F(KeptWorkTest, ImpossibleDatesAreRefusedKeyByKey) {
  const struct {
    JobField field;
    const char* keys;
    const char* shown;
  } cases[] = {
      {JobField::kMonth, "25", " 5"},  {JobField::kMonth, "12", "12"},
      {JobField::kMonth, "013", " 3"}, {JobField::kDay, "45", " 5"},
      {JobField::kDay, "31", "31"},    {JobField::kDay, "0", "12"},  // dropped: 12 stays
  };
  for (const auto& c : cases) {
    window->Edit(JobField::kYear)->SetText("26");
    window->Edit(JobField::kMonth)->SetText("10");
    window->Edit(JobField::kDay)->SetText("12");
    NumEdit* e = window->Edit(c.field);
    window->Edit(JobField::kProjectName)->setFocus(Qt::TabFocusReason);  // entry starts afresh
    e->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(e, QString::fromLatin1(c.keys));
    EXPECT_EQ(e->Text(), c.shown) << c.keys;
  }
  // February of 2026 has 28 days.
  window->Edit(JobField::kMonth)->SetText(" 2");
  NumEdit* day = window->Edit(JobField::kDay);
  day->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(day, QStringLiteral("29"));
  EXPECT_EQ(day->Text(), " 9");

  // A file's impossible date is shown as it is, and named.
  const QString job = SaveAs(*window, File("date.zv5"));
  std::string bytes = ReadBytes(job.toStdString());
  const std::size_t month = bytes.find("edMM =  2");
  ASSERT_NE(month, std::string::npos);
  bytes.replace(month, 9, "edMM = 25");
  window->NewJob();
  Write(job, bytes);
  messages.clear();
  ASSERT_TRUE(window->OpenAndShow(job));
  EXPECT_EQ(window->Edit(JobField::kMonth)->Text(), "25");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("ありえない日付"), std::string::npos) << messages[0];
  EXPECT_FALSE(window->DataModified());
}

TEST_F(KeptWorkTest, AFieldReachedByTheKeyboardIsTypedOver) {
  NumEdit* kname = window->Edit(JobField::kProjectName);
  NumEdit* bname = window->Edit(JobField::kMemberName);
  window->activateWindow();
  kname->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(kname, Qt::Key_Tab);
  ASSERT_EQ(window->focusWidget(), bname);
  EXPECT_EQ(bname->selectedText(), QStringLiteral("<部材名>"));
  QTest::keyClicks(bname, QStringLiteral("H-300x150"));
  EXPECT_EQ(bname->Text(), "H-300x150");
  // Enter from the member name's neighbour, backwards by Up: the same.
  QTest::keyClick(bname, Qt::Key_Up);
  EXPECT_EQ(window->focusWidget(), kname);
  EXPECT_EQ(kname->selectedText(), QStringLiteral("<工事名>"));
}

TEST_F(KeptWorkTest, DroppedListsAreReadOnceAgreedAndOtherFilesSayWhy) {
  const QString csv = File("list.csv");
  Write(csv, "2700,4\r\n");
  const struct {
    bool agree;
    const char* first_cell;
  } cases[] = {{false, ""}, {true, " 2700.  4"}};
  for (const auto& c : cases) {
    window->ask_read_list = [&](const QString&) { return c.agree; };
    window->DropFiles({QUrl::fromLocalFile(csv)});
    EXPECT_EQ(window->Grid2()->Cell(1, 1), c.first_cell);
    EXPECT_EQ(window->DataModified(), c.agree);
  }
  EXPECT_TRUE(messages.empty());
  const QString picture = File("plan.png");
  Write(picture, "PNG");
  window->DropFiles({QUrl::fromLocalFile(picture)});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("plan.png"), std::string::npos);
  EXPECT_NE(messages[0].find(".zv5"), std::string::npos);
}

TEST_F(KeptWorkTest, WithoutABrowserTheAddressIsShown) {
  window->open_url = [](const QString&) { return false; };
  QAction* check = nullptr;
  for (QAction* a : window->menuBar()->actions())
    if (a->text() == QStringLiteral("最新バージョンのチェック")) check = a;
  ASSERT_NE(check, nullptr);
  check->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(kProductPage), std::string::npos) << messages[0];
}

TEST_F(KeptWorkTest, AfterNewTheGridsStartAtTheirFirstCell) {
  window->Grid2()->setFocus(Qt::TabFocusReason);
  window->Grid2()->SelectCell({3, 9});
  window->NewJob();
  EXPECT_EQ(window->Grid2()->Current(), (job::CellPos{1, 1}));
  EXPECT_EQ(window->Grid1()->Current(), (job::CellPos{1, 1}));
}

TEST_F(KeptWorkTest, MiddleClickPastesTheSelectionIntoAGrid) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard->supportsSelection()) GTEST_SKIP() << "no X11 selection on this platform";
  clipboard->setText(QStringLiteral("2700\t4"), QClipboard::Selection);
  QTest::mouseClick(window->Grid2(), Qt::MiddleButton, Qt::NoModifier, QPoint(90, 40));
  EXPECT_EQ(window->Grid2()->Cell(1, 1), " 2700.  4");
  EXPECT_TRUE(window->DataModified());
}

TEST(KeptWorkTexts, NoEnglishWordInPaperNamesOrTheHistoryWindow) {
  // Every paper size the print dialog may list: Japanese words, or the standard's own letters.
  const QRegularExpression english(QStringLiteral("[A-Za-z]{3,}"));
  const QRegularExpression allowed(QStringLiteral("^(ANSI|JIS|ISO|DIN|PRC)$"));
  QStringList left;
  for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
    const QString name = QPageSize(static_cast<QPageSize::PageSizeId>(id)).name();
    for (auto m = english.globalMatch(name); m.hasNext();)
      if (!allowed.match(m.next().captured()).hasMatch()) left << name;
  }
  EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char('|')).toStdString();

  HistoryWindow history;
  history.ShowHistory();
  EXPECT_TRUE(history.windowTitle().startsWith(QStringLiteral("変更履歴")));
  const QString text = history.Memo()->toPlainText();
  for (const char* screen :
       {"在庫", "ラベル", "切断指示書", "部材データ読み込み", "規格鋼材の候補"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(screen))) << screen;
  history.close();
}

}  // namespace
}  // namespace zarvel::app
