#include "cli/yard_command.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sstream>

#include "base/cp932.h"
#include "cli/order_command.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/temp_dir.h"

namespace zarvel::cli {
namespace {

class YardCommandTest : public ::testing::Test {
 protected:
  testing::TempDir temp{"zarvel5-yard-cli"};
  std::string yard = temp.File("yard.sqlite");

  int Yard(std::vector<std::string> args) {
    args.insert(args.begin(), {"--yard", yard});
    out.str("");
    err.str("");
    return RunYardCommand(args, out, err);
  }
  int Plan(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return RunPlanCommand(args, out, err);
  }
  // A job for the section with the given cut cells and stock cells.
  std::string Job(const std::vector<std::string>& cut, const std::vector<std::string>& stock = {}) {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    for (std::size_t i = 0; i < stock.size(); ++i)
      form.StockGrid().SetCell(1, static_cast<int>(i) + 1, stock[i]);
    form.SetFieldText(run::JobField::kMemberName, base::Lit("H-200×100×5.5×8 小梁"));
    for (std::size_t i = 0; i < cut.size(); ++i)
      form.CutGrid().SetCell(1, static_cast<int>(i) + 1, cut[i]);
    const std::string path = temp.File("job.zv5");
    EXPECT_TRUE(job::WriteJobFile(form, path));
    return path;
  }

  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(YardCommandTest, AnOffcutIsMeasuredAStandardBarHasItsMargin) {
  // A piece 20 mm longer than the bar fits a standard bar (margin 20), never an offcut.
  struct Case {
    std::vector<std::string> add;
    int exit;
  } cases[] = {{{"add", "H200x100x5.5x8", "3000", "1"}, kExitPlanned},
               {{"add", "H200x100x5.5x8", "3000", "1", "--offcut"}, kExitRunMessage}};
  for (const Case& c : cases) {
    std::filesystem::remove(yard);
    ASSERT_EQ(Yard(c.add), kExitPlanned) << err.str();
    EXPECT_EQ(Plan({Job({"3020.1"}), "--from-yard", "--yard", yard}), c.exit) << err.str();
  }
}

TEST_F(YardCommandTest, AMillLengthKeepsItsMarginBesideAnOffcutOfTheSameLength) {
  ASSERT_EQ(Yard({"add", "H200x100x5.5x8", "3000", "2"}), kExitPlanned);
  ASSERT_EQ(Yard({"add", "H200x100x5.5x8", "3000", "1", "--offcut"}), kExitPlanned);
  EXPECT_EQ(Plan({Job({"3015.2"}), "--from-yard", "--yard", yard}), kExitPlanned) << err.str();
  // Three pieces need a third mill bar, which is what the shortage asks for; once bought, it
  // plans.
  EXPECT_EQ(Plan({Job({"3015.3"}), "--from-yard", "--yard", yard, "--json"}), kExitRunMessage);
  EXPECT_NE(out.str().find("\"shortage\": [{\"stock_length\": 3000, \"bars\": 1}]"),
            std::string::npos)
      << out.str();
  ASSERT_EQ(Yard({"add", "H200x100x5.5x8", "3000", "5"}), kExitPlanned);
  EXPECT_EQ(Plan({Job({"3015.3"}), "--from-yard", "--yard", yard, "--commit"}), kExitPlanned)
      << err.str();
  ASSERT_EQ(Yard({"list", "--json"}), kExitPlanned);
  EXPECT_NE(out.str().find("\"length\": 3000, \"count\": 1, \"offcut\": true"),
            std::string::npos)
      << out.str();  // the offcut was not cut: the pieces need the margin
}

TEST_F(YardCommandTest, TheOrderNeverBuysAnOffcutLength) {
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "3000", "1", "--offcut"}), kExitPlanned);
  const std::string job = Job({"2900.4"}, {"6000.1"});
  out.str("");
  EXPECT_EQ(RunOrderCommand({job, "--from-yard", "--yard", yard, "--json"}, out, err),
            kExitRunMessage);
  EXPECT_NE(out.str().find("\"shortage\": [{\"stock_length\": 6000, \"bars\": 1}]"),
            std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().find("\"stock_length\": 3000"), std::string::npos) << out.str();
}

TEST_F(YardCommandTest, HistoryIsInLocalTimeAndNamesWhatMoved) {
  const char* was = std::getenv("TZ");
  const std::string zone = was != nullptr ? was : "";
  setenv("TZ", "JST-9", 1);
  tzset();
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "6000", "5", "--location", "A-1", "--lot", "L7"}),
            kExitPlanned);
  ASSERT_EQ(Yard({"take", "1", "2"}), kExitPlanned);
  ASSERT_EQ(Yard({"undo", "2"}), kExitPlanned);
  ASSERT_EQ(Yard({"history", "--json"}), kExitPlanned);
  const std::string json = out.str();
  const std::size_t at = json.find("\"time\": \"") + 9;
  const std::string utc = json.substr(at, 20);
  ASSERT_EQ(Yard({"history"}), kExitPlanned);
  const std::string t = out.str();
  EXPECT_NE(t.find("記録 1  " + yard::LocalTimeText(utc) + "  追加\n"), std::string::npos) << t;
  EXPECT_NE(t.find("    H-200×100×5.5×8 6000 mm 定尺 置場 A-1 ロット L7 +5 本\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("取り消し（記録 2 "), std::string::npos) << t;
  EXPECT_NE(t.find(" 取り出し の取り消し）"), std::string::npos) << t;
  EXPECT_EQ(t.find("T"), std::string::npos) << t;  // no stored UTC text is shown
  if (was != nullptr)
    setenv("TZ", zone.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST_F(YardCommandTest, ACountChangedBehindTheYardsBackIsRepairedOnlyWhenConfirmed) {
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "6000", "13"}), kExitPlanned);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(yard.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE items SET count = 93", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  EXPECT_EQ(Yard({"take", "1", "1"}), kExitRunMessage);
  EXPECT_NE(err.str().find("在庫 ID 1（93 本、記録では 13 本）"), std::string::npos) << err.str();
  EXPECT_EQ(Yard({"check", "--json"}), kExitRunMessage);
  EXPECT_NE(out.str().find("\"status\": \"yard-mismatch\""), std::string::npos) << out.str();
  EXPECT_EQ(Yard({"repair"}), kExitRunMessage);
  EXPECT_NE(out.str().find("repair --yes"), std::string::npos) << out.str();
  EXPECT_EQ(Yard({"take", "1", "1"}), kExitRunMessage);  // nothing was written yet
  ASSERT_EQ(Yard({"repair", "--yes"}), kExitPlanned) << err.str();
  EXPECT_EQ(Yard({"take", "1", "1"}), kExitPlanned) << err.str();
  EXPECT_EQ(Yard({"check"}), kExitPlanned);
}

TEST_F(YardCommandTest, ABackupIsRestoredAndTheRestoreIsInTheHistory) {
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "6000", "4"}), kExitPlanned);
  const std::string copy = temp.File("friday.bak");
  ASSERT_EQ(Yard({"backup", copy}), kExitPlanned) << err.str();
  ASSERT_EQ(Yard({"take", "1", "3"}), kExitPlanned);
  ASSERT_EQ(Yard({"restore", copy}), kExitPlanned) << err.str();
  EXPECT_NE(out.str().find("戻す前の在庫ファイルを控えました"), std::string::npos) << out.str();
  ASSERT_EQ(Yard({"list"}), kExitPlanned);
  EXPECT_NE(out.str().find("6000 × 4"), std::string::npos) << out.str();
  ASSERT_EQ(Yard({"history"}), kExitPlanned);
  EXPECT_NE(out.str().find("控えから復元  friday.bak"), std::string::npos) << out.str();
}

TEST_F(YardCommandTest, JsonAlwaysGivesAnObjectWithTheYardsOwnStatus) {
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "6000", "4"}), kExitPlanned);
  const std::string job = Job({"2500.2"});
  std::filesystem::permissions(yard, std::filesystem::perms::owner_read);
  EXPECT_EQ(Plan({job, "--from-yard", "--yard", yard, "--commit", "--json"}), kExitRunMessage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"yard-read-only\", \"message\": \"", 0), 0u)
      << out.str();
  std::filesystem::permissions(yard, std::filesystem::perms::owner_all);
  for (const char* extra : {"-wal", "-shm"}) std::filesystem::remove(yard + extra);
  testing::WriteBytes(yard, "");
  EXPECT_EQ(Yard({"list", "--json"}), kExitUsage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"yard-damaged\", \"message\": \"", 0), 0u) << out.str();
  EXPECT_EQ(Plan({job, "--from-yard", "--yard", yard, "--json"}), kExitUsage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"yard-damaged\"", 0), 0u) << out.str();
  out.str("");
  EXPECT_EQ(RunOrderCommand({job, "--from-yard", "--yard", yard, "--json"}, out, err), kExitUsage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"yard-damaged\"", 0), 0u) << out.str();
  EXPECT_EQ(testing::ReadBytes(yard), "");
  // A wait (a busy file, a slow server) is said on stderr, and the command keeps waiting.
  std::ostringstream said;
  ASSERT_TRUE(YardOptions(said).waiting("在庫を待っています"));
  EXPECT_EQ(said.str(), "zarvel5: 在庫を待っています\n");
}

TEST_F(YardCommandTest, TheJobRemembersItsMeasuredStock) {
  ASSERT_EQ(Yard({"add", "H200x100x5.5x8", "3000", "1", "--offcut"}), kExitPlanned);
  ASSERT_EQ(Yard({"add", "H200x100x5.5x8", "6000", "1"}), kExitPlanned);
  const std::string saved = temp.File("saved.zv5");
  ASSERT_EQ(Plan({Job({"2990.1"}), "--from-yard", "--yard", yard, "--save-job", saved}),
            kExitPlanned);
  const std::string bytes = testing::ReadBytes(saved);
  EXPECT_NE(bytes.find("\r\nYardSection = " + base::Lit("H-200×100×5.5×8") +
                       "\r\nYardMeasured = 3000*1\r\n"),
            std::string::npos)
      << bytes;
  // Opened again, 3000 is still an offcut: 3010 fits it only once the note is gone.
  for (const bool typed_by_hand : {false, true}) {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    ASSERT_TRUE(job::OpenJobFile(form, saved));
    EXPECT_EQ(form.yard_stock.measured, (std::vector<optimiser::MeasuredBars>{{3000, 1}}));
    if (typed_by_hand) form.yard_stock = {};
    form.StockGrid().SetCell(1, 2, "");
    form.CutGrid().SetCell(1, 1, " 3010.  1");
    ASSERT_TRUE(job::WriteJobFile(form, saved));
    EXPECT_EQ(Plan({saved}), typed_by_hand ? kExitPlanned : kExitRunMessage) << typed_by_hand;
  }
}

TEST_F(YardCommandTest, ACommittedPlanTakesItsBarsAndKeepsItsRemnantsThenUndoes) {
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "6000", "5"}), kExitPlanned);
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "4000", "1", "--offcut"}), kExitPlanned);
  // 2500 × 3: the offcut takes one (remnant 1497), a 6000 bar two (remnant 994).
  const std::string job = Job({"2500.3"});
  ASSERT_EQ(Plan({job, "--from-yard", "--yard", yard, "--commit", "--json", "--keep", "900"}),
            kExitPlanned)
      << err.str();
  EXPECT_NE(out.str().find("\"stock_used\": [[4000, 1], [6000, 1]],\n"), std::string::npos);
  EXPECT_NE(out.str().find("]}],\n \"commit\": 3}\n"), std::string::npos) << out.str();
  ASSERT_EQ(Yard({"list", "--json"}), kExitPlanned);
  const std::string listed = out.str();
  EXPECT_NE(listed.find("\"length\": 6000, \"count\": 4"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("\"length\": 4000"), std::string::npos) << listed;
  EXPECT_NE(listed.find("\"length\": 1497, \"count\": 1, \"offcut\": true"), std::string::npos);
  EXPECT_NE(listed.find("\"length\": 994, \"count\": 1, \"offcut\": true"), std::string::npos);
  ASSERT_EQ(Yard({"undo", "3"}), kExitPlanned) << err.str();
  ASSERT_EQ(Yard({"list", "--csv"}), kExitPlanned);
  EXPECT_EQ(out.str(),
            "id,section,length,count,offcut,location,lot,source,grade\r\n"
            "1,H-200×100×5.5×8,6000,5,0,,,購入,\r\n"
            "2,H-200×100×5.5×8,4000,1,1,,,購入,\r\n");
}

TEST_F(YardCommandTest, TheOrderTakesTheYardsBarsBeforeItBuys) {
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "6000", "2"}), kExitPlanned);
  const std::string job = Job({"2500.6"}, {"6000.10"});
  out.str("");
  ASSERT_EQ(RunOrderCommand({job, "--from-yard", "--yard", yard, "--json"}, out, err), kExitPlanned)
      << err.str();
  EXPECT_NE(out.str().find("\"rack\": false, \"bars\": 1,"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\"rack\": true, \"bars\": 2,"), std::string::npos) << out.str();
}

TEST_F(YardCommandTest, BadWordsGetTheirReasonAndTheYardKeepsItsItems) {
  ASSERT_EQ(Yard({"add", "L-65x65x6", "5500", "2"}), kExitPlanned);
  struct Case {
    std::vector<std::string> args;
    int exit;
    const char* words;
  } cases[] = {
      {{"add", "L-65x65x6", "5500", "-3"}, kExitUsage, "本数は 1〜99999"},
      {{"add", "L-65x65x6", "99999999999999999999", "1"}, kExitUsage, "長さは 2〜99998"},
      {{"take", "1", "3"}, kExitUsage, "2 本しか"},
      {{"take", "7", "1"}, kExitUsage, "在庫 ID 7 はありません"},
      {{"undo", "9"}, kExitUsage, "記録 9 はありません"},
      {{"list", "--frob"}, kExitUsage, "知らないオプション"},
      {{"shuffle"}, kExitUsage, "知らない操作"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Yard(c.args), c.exit) << c.words;
    EXPECT_NE(err.str().find(c.words), std::string::npos) << err.str();
  }
  ASSERT_EQ(Yard({"list"}), kExitPlanned);
  EXPECT_NE(out.str().find("5500 × 2"), std::string::npos) << out.str();
}

TEST_F(YardCommandTest, ImportAddsOrReplacesTheSectionsItNames) {
  testing::WriteBytes(temp.File("count.csv"),
                      "鋼材名,長さ,本数,端材,置場,材質\r\nH-200x100x5.5x8,6000,3,0,A,ss400\r\n"
                      "\"IPE 300\",12000,1,,B,\r\n");
  ASSERT_EQ(Yard({"add", "H-200x100x5.5x8", "9000", "2"}), kExitPlanned);
  ASSERT_EQ(Yard({"import", temp.File("count.csv")}), kExitPlanned) << err.str();
  ASSERT_EQ(Yard({"import", temp.File("count.csv"), "--replace"}), kExitPlanned) << err.str();
  ASSERT_EQ(Yard({"list"}), kExitPlanned);
  // The 9000 bars are gone, the 6000 counted once, not twice.
  EXPECT_EQ(out.str().find("9000"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("H-200×100×5.5×8 SS400 / 6000 × 3  定尺  A"), std::string::npos)
      << out.str();
  for (const char* bad : {"H-200x100x5.5x8,long,1\n", "H-200x100x5.5x8,6000,-4\n"}) {
    testing::WriteBytes(temp.File("bad.csv"), std::string("H-200x100x5.5x8,6000,3\n") + bad);
    EXPECT_EQ(Yard({"import", temp.File("bad.csv")}), kExitUsage);
    EXPECT_NE(err.str().find("2 行目"), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace zarvel::cli
