#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>

#include "app/main_window.h"
#include "app/message.h"
#include "app/qt_text.h"
#include "app/section_assist.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

using optimiser::JobField;

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
  std::string Member() { return text::Cp932ToUtf8(member->Text()); }
  std::string Weight() { return text::Cp932ToUtf8(weight->Text()); }

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

}  // namespace
}  // namespace zarvel::app
