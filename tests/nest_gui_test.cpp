#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "app/message.h"
#include "app/nest_dialog.h"
#include "app/preview.h"
#include "base/cp932.h"
#include "base/format.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/temp_dir.h"
#include "yard/yard.h"

namespace zarvel::app {
namespace {

// Shift held for the whole run, or never.
class HeldShift final : public optimiser::KeyState {
 public:
  explicit HeldShift(bool held) : held_(held) {}
  bool IsKeyDown(int key) const override { return held_ && key == optimiser::kKeyShift; }

 private:
  bool held_;
};

class NestGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(temp.File("settings")));
    qputenv("ZARVEL5_YARD", QByteArray::fromStdString(temp.File("yard.sqlite")));
    SetMessageHandler([this](const std::string& m) { messages.push_back(base::Cp932ToUtf8(m)); });
    window = std::make_unique<MainWindow>(*records);
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->StartupDone(); }, 10000));
  }
  void TearDown() override {
    window->SetDataModified(false);
    window.reset();
    SetMessageHandler(nullptr);
    qunsetenv("ZARVEL5_YARD");
  }

  // A job of `lengths` lengths of 1 to 3 pieces, on bars of 6000 mm, written into the folder.
  std::string WriteJob(const std::string& name, const char* member, int lengths, int first) {
    auto r = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*r);
    form.SetFieldText(run::JobField::kMemberName, base::Utf8ToCp932(member));
    form.SetFieldText(run::JobField::kKerf, "3");
    form.SetPrecisionItem(2);
    form.StockGrid().SetCell(1, 1, " 6000. 80");
    for (int k = 0; k < lengths; ++k)
      form.CutGrid().SetCell(k % 6 + 1, k / 6 + 1,
                             base::Format("%5d.%3d", first + 37 * k, 1 + k % 3));
    form.MarkList()->push_back({"G1", first, 1});
    const std::string path = temp.File("jobs/" + name);
    EXPECT_TRUE(job::WriteJobFile(form, path));
    return path;
  }
  void WriteJobs() {
    QDir().mkpath(QString::fromStdString(temp.File("jobs")));
    WriteJob("a.zv5", "大梁 C-100×50×5×7.5", 24, 900);
    WriteJob("b.zv5", "小梁 C-100×50×5×7.5", 24, 917);
    WriteJob("c.zv5", "柱 H-200×100×5.5×8", 12, 1500);
    QFile bad(QString::fromStdString(temp.File("jobs/bad.zv5")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("\x01\x02 not a job");
  }
  void Stock() {
    yard::Status s;
    auto y = yard::OpenYard(temp.File("yard.sqlite"), s);
    ASSERT_NE(y, nullptr);
    yard::Change c;
    c.reason = "add";
    c.adds.push_back({"C-100x50x5x7.5", 6000, 60, false, "", "", "購入", ""});
    c.adds.push_back({"H-200x100x5.5x8", 6000, 30, false, "", "", "購入", ""});
    int64_t entry = 0;
    ASSERT_TRUE(y->Apply(c, entry));
  }
  int64_t YardBars() {
    yard::Status s;
    std::vector<yard::Item> items;
    if (auto y = yard::OpenYard(temp.File("yard.sqlite"), s)) y->List("", items);
    int64_t bars = 0;
    for (const yard::Item& i : items) bars += i.offcut ? 0 : i.count;
    return bars;
  }
  // Opens ファイル → まとめて計画… and runs `drive` on the dialog once it is shown; the dialog is
  // closed after it.
  void Drive(const std::function<void(NestDialog&)>& drive) {
    bool driven = false;
    window->on_nest_dialog = [&](NestDialog& d) {
      QTimer::singleShot(0, &d, [&] {
        drive(d);
        driven = true;
        d.reject();
      });
    };
    QAction* action = nullptr;
    for (QAction* a : window->findChildren<QAction*>())
      if (a->text() == QStringLiteral("まとめて計画…")) action = a;
    ASSERT_NE(action, nullptr);
    action->trigger();
    EXPECT_TRUE(driven);
  }
  QString Cell(NestDialog& d, int row, int column) {
    const QTableWidgetItem* item = d.Groups()->item(row, column);
    return item != nullptr ? item->text() : QString();
  }

  testing::TempDir temp{"zarvel5-nest-gui"};
  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  std::unique_ptr<MainWindow> window;
  std::vector<std::string> messages;
};

// A folder's jobs grouped per material, the unreadable one named; 計画 runs with the dialog
// locked and its progress shown; a group's pages open in the preview with its jobs listed.
TEST_F(NestGuiTest, GroupsAFolderPlansItLockedAndPreviewsAGroup) {
  WriteJobs();
  Drive([&](NestDialog& d) {
    d.pick_folder = [&] { return QString::fromStdString(temp.File("jobs")); };
    d.AddFolderButton()->click();
    ASSERT_EQ(d.Groups()->rowCount(), 2);
    EXPECT_EQ(Cell(d, 0, NestDialog::kSectionColumn), QStringLiteral("[-100×50×5×7.5"));
    EXPECT_EQ(Cell(d, 0, NestDialog::kJobsColumn),
              QStringLiteral("大梁 C-100×50×5×7.5、小梁 C-100×50×5×7.5"));
    EXPECT_EQ(Cell(d, 0, NestDialog::kLengthsColumn), QStringLiteral("48"));
    EXPECT_EQ(Cell(d, 1, NestDialog::kStatusColumn), QStringLiteral("未計画"));
    EXPECT_TRUE(d.Notes()->text().contains(QStringLiteral("読めない仕事")));
    EXPECT_TRUE(d.Notes()->text().contains(QStringLiteral("bad.zv5")));
    EXPECT_FALSE(d.PreviewButton()->isEnabled());
    EXPECT_FALSE(d.CommitButton()->isEnabled());  // not from the yard
    int seen_running = 0, seen_locked = 0;
    d.on_running = [&] {
      ++seen_running;
      seen_locked += !d.PlanButton()->isEnabled() && !d.Groups()->isEnabled() &&
                     !d.AddFilesButton()->isEnabled() && d.Running();
    };
    QTest::mouseClick(d.PlanButton(), Qt::LeftButton);
    EXPECT_FALSE(d.Running());
    EXPECT_GT(seen_running, 0);
    EXPECT_EQ(seen_locked, seen_running);
    EXPECT_TRUE(d.PlanButton()->isEnabled());
    for (int row = 0; row < 2; ++row)
      EXPECT_EQ(Cell(d, row, NestDialog::kStatusColumn), QStringLiteral("計画済み"))
          << d.Notes()->text().toStdString();
    EXPECT_EQ(d.Progress()->text(), QStringLiteral("2 鋼材のうち 2 鋼材を計画しました。"));
    d.Groups()->selectRow(0);
    ASSERT_TRUE(d.PreviewButton()->isEnabled());
    QTest::mouseClick(d.PreviewButton(), Qt::LeftButton);
    ASSERT_NE(d.Preview(), nullptr);
    EXPECT_TRUE(d.Preview()->isVisible());
    EXPECT_GT(d.Preview()->PageCount(), 0);
    EXPECT_EQ(d.Preview()->jobs.size(), 2u);
    EXPECT_TRUE(d.Preview()->windowTitle().startsWith(QStringLiteral("[-100×50×5×7.5")));
  });
}

// Shift held: every group's search ends early, each still planned.
TEST_F(NestGuiTest, ShiftStopsEachGroupsSearchEarly) {
  WriteJobs();
  for (const bool shift : {false, true}) {
    int attempts = 0;
    HeldShift keys(shift);
    Drive([&](NestDialog& d) {
      d.keys = &keys;
      d.AddPaths({QString::fromStdString(temp.File("jobs/a.zv5")),
                  QString::fromStdString(temp.File("jobs/b.zv5"))});
      d.Plan();
      ASSERT_EQ(d.Result().groups.size(), 1u);
      ASSERT_TRUE(d.Result().groups[0].Planned());
      attempts = d.Result().groups[0].run.records->attempts_made;
    });
    if (shift)
      EXPECT_LE(attempts, 51);
    else
      EXPECT_GT(attempts, 51);
  }
}

// 在庫に確定 asks first; a no changes nothing; a yes takes both groups' bars in one entry; a
// second commit of the same plans is refused.
TEST_F(NestGuiTest, CommitsEveryGroupOnceAfterAsking) {
  WriteJobs();
  Stock();
  const int64_t before = YardBars();
  Drive([&](NestDialog& d) {
    d.pick_files = [&] {
      return QStringList{QString::fromStdString(temp.File("jobs/a.zv5")),
                         QString::fromStdString(temp.File("jobs/b.zv5")),
                         QString::fromStdString(temp.File("jobs/c.zv5"))};
    };
    d.AddFilesButton()->click();
    d.FromYard()->setChecked(true);
    d.Plan();
    ASSERT_EQ(d.Result().groups.size(), 2u);
    for (const session::NestGroup& g : d.Result().groups) ASSERT_TRUE(g.Planned()) << g.message;
    ASSERT_TRUE(d.CommitButton()->isEnabled());
    QStringList asked;
    d.ask = [&](const QString& q) {
      asked << q;
      return asked.size() > 1;
    };
    d.CommitButton()->click();
    EXPECT_EQ(YardBars(), before);
    d.CommitButton()->click();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[1].contains(QStringLiteral("H-200×100×5.5×8"))) << asked[1].toStdString();
    int64_t used = 0;
    for (const session::NestGroup& g : d.Result().groups)
      for (int p = 1; p <= g.run.records->best.pattern_count; ++p)
        used += g.run.records->best.patterns[p].repeat_count;
    EXPECT_EQ(YardBars(), before - used);
    EXPECT_FALSE(d.CommitButton()->isEnabled());
    d.Commit();  // as a second click would
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(YardBars(), before - used);
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find("もう在庫に確定"), std::string::npos);
  });
}

}  // namespace
}  // namespace zarvel::app
