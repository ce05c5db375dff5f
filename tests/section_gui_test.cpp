#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/import_dialog.h"
#include "app/main_window.h"
#include "app/message.h"
#include "app/qt_text.h"
#include "app/section_assist.h"
#include "base/cell_text.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

using run::JobField;

class SectionFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = std::make_unique<testing::TempDir>("zarvel5-sections");
    qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(settings->File("settings")));
    SetMessageHandler([](const std::string&) {});
    window = std::make_unique<MainWindow>(records);
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->StartupDone(); }, 10000));
    assist = window->Sections();
    assist->ask_replace = [this](const QString&) {
      ++asked;
      return replace;
    };
    member = window->Edit(JobField::kMemberName);
    weight = window->Edit(JobField::kUnitWeight);
    member->setFocus();
    member->selectAll();
    QTest::keyClick(member, Qt::Key_Delete);
  }
  void TearDown() override {
    window->SetDataModified(false);
    window.reset();
    SetMessageHandler(nullptr);
  }
  QAbstractItemView* Popup() { return assist->Completer()->popup(); }
  // Picks the first completion offered for what is typed, as a user does: Down, then Enter on
  // the list, which holds the keyboard while it is open.
  void TypeAndPick(const char* usage, const char* typed) {
    if (*usage) {  // Japanese arrives as an input method's commit
      QInputMethodEvent commit;
      commit.setCommitString(QString::fromUtf8(usage));
      QApplication::sendEvent(member, &commit);
    }
    QTest::keyClicks(member, QString::fromUtf8(typed));
    ASSERT_TRUE(Popup()->isVisible()) << typed;
    QTest::keyClick(Popup(), Qt::Key_Down);
    QTest::keyClick(Popup(), Qt::Key_Return);
  }
  std::string Member() { return base::Cp932ToUtf8(member->Text()); }
  std::string Weight() { return base::Cp932ToUtf8(weight->Text()); }

  std::unique_ptr<testing::TempDir> settings;
  optimiser::OptimiserRecords records;
  std::unique_ptr<MainWindow> window;
  SectionAssist* assist = nullptr;
  NumEdit* member = nullptr;
  NumEdit* weight = nullptr;
  int asked = 0;
  bool replace = false;
};

TEST_F(SectionFieldTest, ChoosingFillsAFreshWeightAndEnterStaysWithTheList) {
  window->SetDataModified(false);
  TypeAndPick("小梁 ", "h-250x125");
  EXPECT_EQ(Member(), "小梁 H-250×125×6×9");
  EXPECT_EQ(Weight(), "   29.00");  // the fresh job's 74.12 is replaced without a question
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(window->DataModified());
  EXPECT_EQ(QApplication::focusWidget(), member);  // Enter took the completion only
  EXPECT_FALSE(assist->Note()->isVisible());
  // Without a list shown, Enter moves on as ever.
  QTest::keyClick(member, Qt::Key_Return);
  EXPECT_FALSE(Popup()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), weight);
}

TEST_F(SectionFieldTest, ATypedWeightIsKeptUnlessTheUserAgreesAndIsNoted) {
  weight->SetNumEditText("21.3");
  for (const bool answer : {false, true}) {
    member->selectAll();
    QTest::keyClick(member, Qt::Key_Delete);
    replace = answer;
    TypeAndPick("", "H-200x100x5");
    EXPECT_EQ(Member(), "H-200×100×5.5×8");
    EXPECT_EQ(Weight(), answer ? "   20.90" : "   21.30");
    EXPECT_EQ(assist->Note()->isVisible(), !answer);
  }
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(assist->Note()->text().contains(QStringLiteral("20.90")));
  // A name no table holds: no list, no note.
  member->selectAll();
  QTest::keyClick(member, Qt::Key_Delete);
  QTest::keyClicks(member, QStringLiteral("HEB400"));
  EXPECT_FALSE(Popup()->isVisible());
  EXPECT_FALSE(assist->Note()->isVisible());
}

TEST_F(SectionFieldTest, PartsDialogLoadsOneSectionWithItsMarks) {
  const std::string folder = settings->File("parts");
  std::filesystem::create_directories(folder);
  const auto part = [&](const char* name, const char* mark, const char* count, const char* profile,
                        const char* length) {
    std::ofstream(folder + "/" + name, std::ios::binary)
        << "ST\r\n  P1\r\n  D1\r\n  1\r\n  " << mark << "\r\n  SS400\r\n  " << count << "\r\n  "
        << profile << "\r\n  I\r\n  " << length << "\r\nEN\r\n";
  };
  part("a.nc1", "G1", "2", "H200X100X5.5X8", "3500");
  part("b.nc1", "G2", "1", "H-200x100x5.5x8", "2400");
  part("c.nc1", "C1", "4", "I-100x75x5x8", "1200");
  int rows = 0;
  window->on_import_dialog = [&](ImportDialog& dialog) {
    dialog.AddPaths({QString::fromStdString(folder)});
    rows = dialog.Sections()->rowCount();
    dialog.Sections()->selectRow(0);
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.LoadButton()->click(); });
  };
  window->SetDataModified(false);
  window->ImportParts();
  EXPECT_EQ(rows, 2);  // two sections, the H typed two ways being one
  auto* grid = static_cast<CellGrid*>(window->findChild<QWidget*>(QStringLiteral("Grid2")));
  ASSERT_NE(grid, nullptr);
  std::set<int32_t> lengths;
  for (int row = 1; row < grid->RowCount(); ++row)
    for (int col = 1; col < grid->ColCount(); ++col)
      if (const int32_t length = base::ParseCellText(grid->Cell(col, row)).length)
        lengths.insert(length);
  EXPECT_EQ(lengths, (std::set<int32_t>{2400, 3500}));
  EXPECT_EQ(*window->MarkList(),
            (std::vector<optimiser::PieceMark>{{"G1", 3500, 2}, {"G2", 2400, 1}}));
  EXPECT_TRUE(window->DataModified());
}

// The dialog writes with the window's values as they stand, asks before another section comes
// into the job, and stays within the screen however many files it names.
TEST_F(SectionFieldTest, PartsDialogWorksWithTheWindowAsItStands) {
  const std::string folder = settings->File("parts2");
  std::filesystem::create_directories(folder);
  const auto part = [&](const std::string& name, const char* grade, const char* profile,
                        const char* code) {
    std::ofstream(folder + "/" + name, std::ios::binary)
        << "ST\r\n  P1\r\n  D1\r\n  1\r\n  " << name << "\r\n  " << grade << "\r\n  2\r\n  "
        << profile << "\r\n  " << code << "\r\n  3000\r\nEN\r\n";
  };
  part("a.nc1", "SS400", "L-65x65x6", "L");
  for (int i = 0; i < 200; ++i) part("p" + std::to_string(i) + ".nc1", "SS400", "PL9*100", "B");
  // On screen only, never saved: the stock and the margin the written jobs must take.
  window->Grid1()->SetCell(1, 1, " 7777.  3");
  window->RelayoutGrids();
  member->SetText(base::Utf8ToCp932("H-200×100×5.5×8"));
  weight->SetText("   21.30");
  const std::string out = settings->File("out");
  std::filesystem::create_directories(out);
  struct Answer {
    bool load;
    QString member, weight;
    std::string grade;
  };
  for (const Answer& answer :
       {Answer{false, QStringLiteral("H-200×100×5.5×8"), QStringLiteral("21.30"), ""},
        Answer{true, QStringLiteral("L-65×65×6"), QStringLiteral("5.91"), "SS400"}}) {
    QStringList questions;
    bool fits = false;
    window->on_import_dialog = [&](ImportDialog& dialog) {
      dialog.pick_out_folder = [&] { return QString::fromStdString(out); };
      dialog.ask = [&](const QString& q) {
        questions << q;
        return answer.load;
      };
      dialog.AddPaths({QString::fromStdString(folder)});
      dialog.show();
      const QRect screen = dialog.screen()->availableGeometry();
      fits = dialog.frameGeometry().height() <= screen.height() &&
             dialog.LoadButton()->isVisible() &&
             dialog.LoadButton()->mapTo(&dialog, QPoint(0, dialog.LoadButton()->height())).y() <=
                 dialog.height();
      QTest::mouseClick(dialog.WriteAllButton(), Qt::LeftButton);
      dialog.Sections()->selectRow(0);
      QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::mouseClick(dialog.LoadButton(), Qt::LeftButton);
        if (dialog.isVisible()) dialog.reject();  // the answer was no
      });
    };
    window->ImportParts();
    EXPECT_TRUE(fits);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("部材名を L-65×65×6")))
        << questions[0].toStdString();
    EXPECT_EQ(Qs(member->Text()), answer.member);
    EXPECT_EQ(Qs(weight->Text()).trimmed(), answer.weight);
    EXPECT_EQ(window->grade, answer.grade);
  }
  const std::string job = testing::ReadBytes(out + "/L-65×65×6 SS400.zv5");
  EXPECT_NE(job.find(" 7777.  3"), std::string::npos) << job;
  EXPECT_NE(job.find("Grade = SS400"), std::string::npos);
}

}  // namespace
}  // namespace zarvel::app
