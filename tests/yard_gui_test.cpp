#include <gtest/gtest.h>

#include <QTest>

#include "app/main_window.h"
#include "app/message.h"
#include "app/preview.h"
#include "app/yard_window.h"
#include "session/plan_state.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

class YardGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(temp.File("settings")));
    qputenv("ZARVEL5_YARD", QByteArray::fromStdString(temp.File("yard.sqlite")));
    SetMessageHandler([this](const std::string& m) { messages.push_back(base::Cp932ToUtf8(m)); });
    window = std::make_unique<MainWindow>(*records);
    link = std::make_unique<YardLink>(*window, *records);
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->StartupDone(); }, 10000));
  }
  void TearDown() override {
    window->SetDataModified(false);
    if (window->Preview() != nullptr) window->Preview()->close();
    link.reset();
    window.reset();
    SetMessageHandler(nullptr);
    qunsetenv("ZARVEL5_YARD");
  }
  std::vector<yard::Item> Items() {
    yard::Status s;
    std::vector<yard::Item> items;
    if (auto y = yard::OpenYard(temp.File("yard.sqlite"), s)) y->List("", items);
    return items;
  }

  testing::TempDir temp{"zarvel5-yard-gui"};
  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<YardLink> link;
  std::vector<std::string> messages;
};

TEST_F(YardGuiTest, FillRunCommitAndUndo) {
  {
    yard::Status s;
    auto y = yard::OpenYard(temp.File("yard.sqlite"), s);
    yard::Change c;
    c.reason = "add";
    c.adds.push_back({"C-100x50x5x7.5", 6000, 4, false, "", "", "購入"});
    c.adds.push_back({"C-100x50x5x7.5", 2600, 1, true, "", "", "購入"});
    int64_t entry = 0;
    ASSERT_TRUE(y->Apply(c, entry));
  }
  window->Edit(run::JobField::kMemberName)->SetText(base::Lit("C-100×50×5×7.5 胴縁"));
  link->FillButton()->click();
  EXPECT_EQ(window->Grid1()->Cell(1, 1), " 2600.  1");
  EXPECT_EQ(window->Grid1()->Cell(window->VerticalOrder() ? 1 : 2, window->VerticalOrder() ? 2 : 1),
            " 6000.  4");
  EXPECT_EQ(window->yard_stock.measured, std::vector<int32_t>{2600});
  window->Grid2()->SetCell(1, 1, " 2590.  3");  // one on the offcut, two on a 6000 bar
  window->RunButton()->click();
  ASSERT_TRUE(window->Planned());
  QString asked;
  link->ask_commit = [&](const QString& summary) {
    asked = summary;
    return true;
  };
  link->CommitPlan();
  EXPECT_TRUE(asked.contains(QStringLiteral("取り出す素材: 2600×1 6000×1"))) << asked.toStdString();
  ASSERT_NE(link->LastCommit(), 0);
  std::vector<yard::Item> items = Items();
  ASSERT_EQ(items.size(), 1u);  // the 6000 bars left; the remnant (807) is below the keep length
  EXPECT_EQ(items[0].count, 3);
  link->UndoLastCommit();
  items = Items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].count, 4);
  EXPECT_EQ(items[1].count, 1);
}

// A plan is committed once, and never after the job changed under it: both refused with their
// reason, and the yard and its ledger stay as they were.
TEST_F(YardGuiTest, ACommitTwiceOrOfAnOlderPlanIsRefused) {
  {
    yard::Status s;
    auto y = yard::OpenYard(temp.File("yard.sqlite"), s);
    yard::Change c;
    c.reason = "add";
    c.adds.push_back({"C-100x50x5x7.5", 6000, 4, false, "", "", "購入"});
    c.adds.push_back({"C-100x50x5x7.5", 3000, 1, true, "", "", "購入"});
    int64_t entry = 0;
    ASSERT_TRUE(y->Apply(c, entry));
  }
  auto ledger = [&] {
    yard::Status s;
    std::vector<yard::Entry> entries;
    if (auto y = yard::OpenYard(temp.File("yard.sqlite"), s)) y->History(entries);
    return entries.size();
  };
  window->Edit(run::JobField::kMemberName)->SetText(base::Lit("C-100×50×5×7.5 胴縁"));
  link->FillButton()->click();
  window->Grid2()->SetCell(1, 1, " 2990.  1");
  window->RunButton()->click();
  ASSERT_TRUE(window->Planned());
  int asked = 0;
  link->ask_commit = [&](const QString&) { return ++asked, true; };
  link->UpdateActions();
  EXPECT_TRUE(link->CommitAction()->isEnabled());
  EXPECT_FALSE(link->UndoAction()->isEnabled());
  link->CommitPlan();
  ASSERT_NE(link->LastCommit(), 0);
  const std::size_t after_commit = ledger();
  const std::vector<yard::Item> committed = Items();
  // The same plan again: offered no more, and refused when asked anyway.
  link->UpdateActions();
  EXPECT_FALSE(link->CommitAction()->isEnabled());
  EXPECT_TRUE(link->UndoAction()->isEnabled());
  messages.clear();
  link->CommitPlan();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("確定済み"), std::string::npos) << messages[0];
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ledger(), after_commit);
  EXPECT_EQ(Items().size(), committed.size());

  // Undone, then the cut list edited: the plan is older than the job and is not committed.
  link->UndoLastCommit();
  const std::size_t after_undo = ledger();
  window->Grid2()->SetCell(1, 1, " 2400.  1");
  EXPECT_EQ(window->PlanFreshness(), session::Freshness::kOutdated);
  messages.clear();
  link->CommitPlan();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("古い"), std::string::npos) << messages[0];
  EXPECT_EQ(ledger(), after_undo);
  // 在庫から after the run, the same: the stock list is not what the plan was made from.
  window->Grid2()->SetCell(1, 1, " 2990.  1");
  EXPECT_EQ(window->PlanFreshness(), session::Freshness::kCurrent);
  window->Grid1()->SetCell(1, 1, " 5000.  9");
  EXPECT_EQ(window->PlanFreshness(), session::Freshness::kOutdated);
  link->FillButton()->click();
  EXPECT_EQ(window->PlanFreshness(), session::Freshness::kCurrent);  // the same stock again
  // A bar the plan relied on taken meanwhile: "在庫が変わりました".
  {
    yard::Status s;
    auto y = yard::OpenYard(temp.File("yard.sqlite"), s);
    std::vector<yard::Item> items;
    y->List("", items);
    yard::Change c;
    c.reason = "take";
    for (const yard::Item& i : items)
      if (i.offcut) c.takes.push_back({i.id, 1, -1});
    int64_t entry = 0;
    ASSERT_TRUE(y->Apply(c, entry));
  }
  const std::size_t before = ledger();
  messages.clear();
  link->CommitPlan();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(yard::kChangedMessage), std::string::npos) << messages[0];
  EXPECT_EQ(ledger(), before);
  EXPECT_EQ(asked, 1);
}

TEST_F(YardGuiTest, TheYardWindowAddsTakesPlacesAndFilters) {
  YardWindow w;
  for (const char* section : {"H200x100x5.5x8", "IPE 300"}) {
    w.ask_new_item = [&] {
      return std::optional<yard::NewItem>({section, 6000, 5, false, "", "", "購入"});
    };
    w.AddItem();
  }
  ASSERT_EQ(w.Items()->rowCount(), 2);
  EXPECT_EQ(w.Items()->item(0, 1)->text(), QStringLiteral("H-200×100×5.5×8"));
  w.Items()->setCurrentCell(0, 0);
  w.ask_take = [](const yard::Item&) { return std::optional<int64_t>(2); };
  w.TakeSelected();
  w.Items()->setCurrentCell(0, 0);
  w.ask_place = [](const yard::Item&) {
    return std::optional<std::pair<std::string, std::string>>({"B-2", "K77"});
  };
  w.EditPlace();
  EXPECT_EQ(w.Items()->item(0, 3)->text(), QStringLiteral("3"));
  EXPECT_EQ(w.Items()->item(0, 5)->text(), QStringLiteral("B-2"));
  EXPECT_EQ(w.Items()->item(0, 6)->text(), QStringLiteral("K77"));
  ASSERT_EQ(w.Ledger()->rowCount(), 3);  // the take first: the newest on top
  EXPECT_EQ(w.Ledger()->item(0, 4)->text(), QStringLiteral("1 -2"));
  w.Filter()->setText(QStringLiteral("ＩＰＥ"));  // no part of a name: nothing listed
  EXPECT_EQ(w.Items()->rowCount(), 0);
  w.Filter()->setText(QStringLiteral("H-200x100x5.5x8"));
  EXPECT_EQ(w.Items()->rowCount(), 1);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace zarvel::app
