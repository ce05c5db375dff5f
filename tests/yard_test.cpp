#include "yard/yard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "optimiser/exact.h"
#include "optimiser/search.h"
#include "tests/search_test_util.h"
#include "tests/temp_dir.h"
#include "yard/stock.h"

namespace zarvel::yard {
namespace {

namespace fs = std::filesystem;
using Code = Status::Code;

NewItem Bars(const std::string& section, int32_t length, int64_t count, bool offcut = false) {
  NewItem n;
  n.section = section;
  n.length = length;
  n.count = count;
  n.offcut = offcut;
  n.source = "購入";
  return n;
}
Change Adding(const NewItem& n) {
  Change c;
  c.reason = "add";
  c.adds.push_back(n);
  return c;
}
Change Taking(const std::string& reason, Take t) {
  Change c;
  c.reason = reason;
  c.takes.push_back(t);
  return c;
}

class YardTest : public ::testing::Test {
 protected:
  testing::TempDir temp{"zarvel5-yard"};
  std::string path = temp.File("yard.sqlite");

  std::unique_ptr<Yard> Open() {
    Status s;
    auto y = OpenYard(path, s);
    EXPECT_TRUE(s.Ok()) << s.message;
    return y;
  }
  static int64_t Add(Yard& y, const std::string& section, int32_t length, int64_t count,
                     bool offcut = false) {
    int64_t entry = 0;
    EXPECT_TRUE(y.Apply(Adding(Bars(section, length, count, offcut)), entry).Ok());
    std::vector<Item> items;
    y.List(section, items);
    return items.empty() ? 0 : items.back().id;
  }
  static int64_t CountOf(Yard& y, int64_t id) {
    Item item;
    return y.Get(id, item) ? item.count : -1;
  }
  // Every item's count against the sum of its moves, straight from the file.
  static bool CountsMatchLedger(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT count(*) FROM items WHERE count < 0 OR count <> (SELECT "
                       "coalesce(sum(delta), 0) FROM moves WHERE moves.item = items.id)",
                       -1, &s, nullptr);
    const bool ok = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) == 0;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return ok;
  }
};

TEST_F(YardTest, SectionsAreStoredUnderTheirCanonicalName) {
  auto y = Open();
  Add(*y, "H200x100x5.5x8", 6000, 3);
  Add(*y, "Ｈ－２００×１００×５．５×８", 6000, 2);
  Add(*y, "  IPE   300 ", 12000, 1);
  std::vector<Item> items;
  ASSERT_TRUE(y->List("H-200x100x5.5x8", items));
  ASSERT_EQ(items.size(), 1u);  // the same bars join one item
  EXPECT_EQ(items[0].section, "H-200×100×5.5×8");
  EXPECT_EQ(items[0].count, 5);
  ASSERT_TRUE(y->List("IPE 300", items));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].section, "IPE 300");
}

TEST_F(YardTest, BadValuesAreRefusedWithTheirReason) {
  auto y = Open();
  const int64_t id = Add(*y, "L65x65x6", 5500, 2);
  struct Case {
    Change change;
    Code code;
    const char* words;
  } cases[] = {
      {Adding(Bars("L65x65x6", -300, 1)), Code::kInvalid, "長さ -300"},
      {Adding(Bars("L65x65x6", 500000, 1)), Code::kInvalid, "長さ 500000"},
      {Adding(Bars("L65x65x6", 5500, 0)), Code::kInvalid, "本数 0"},
      {Adding(Bars("  ", 5500, 1)), Code::kInvalid, "鋼材名"},
      {Taking("take", {id, 3}), Code::kInvalid, "2 本しか"},
      {Taking("take", {id, -1}), Code::kInvalid, "本数 -1"},
      {Taking("take", {id + 99, 1}), Code::kInvalid, "ID"},
      {Taking("commit", {id, 1, 5}), Code::kChanged, kChangedMessage},
  };
  for (const Case& c : cases) {
    int64_t entry = 0;
    const Status s = y->Apply(c.change, entry);
    EXPECT_EQ(s.code, c.code) << c.words;
    EXPECT_NE(s.message.find(c.words), std::string::npos) << s.message;
  }
  EXPECT_EQ(CountOf(*y, id), 2);  // nothing was lost
  std::vector<Entry> history;
  ASSERT_TRUE(y->History(history));
  EXPECT_EQ(history.size(), 1u);
}

TEST_F(YardTest, CommitTakesThePlansBarsAndKeepsItsRemnantsUndoRestores) {
  auto y = Open();
  Add(*y, "H-200x100x5.5x8", 6000, 10);
  Add(*y, "H-200x100x5.5x8", 4000, 3, true);
  std::vector<Item> items;
  ASSERT_TRUE(y->List("H-200x100x5.5x8", items));
  const StockFill fill = FillFromItems("H-200x100x5.5x8", items);
  EXPECT_EQ(fill.Measured(), (std::vector<optimiser::MeasuredBars>{{4000, 3}}));
  // The offcuts first; 1900 × 8: three 4000 bars of two (remnant 194), one 6000 bar of two.
  auto r = testing::MakeRecords({{{4000, 3}, {6000, 10}}, {{1900, 8}}});
  r->stock.entries[1].measured = true;
  ASSERT_EQ(optimiser::RunSearch(*r, {}, 30), optimiser::kSearchPlanned);
  Change change;
  std::string message;
  ASSERT_TRUE(CommitChange(*r, fill, 1000, "job.zv5", "2026-12-07", change, message));
  int64_t commit = 0;
  ASSERT_TRUE(y->Apply(change, commit));
  ASSERT_TRUE(y->List("H-200x100x5.5x8", items));
  long long bars_6000 = 0, bars_4000 = 0, kept = 0;
  for (const Item& i : items) {
    if (i.length == 6000) bars_6000 += i.count;
    if (i.length == 4000) bars_4000 += i.count;
    if (i.source.find("job.zv5") != std::string::npos) kept += i.count;
  }
  long long used_6000 = 0, remnants = 0;
  for (const auto& u : optimiser::StockUsed(*r))
    if (u.length == 6000) used_6000 = u.bars;
  for (int p = 1; p <= r->best.pattern_count; ++p)
    if (r->best.patterns[p].remnant >= 1000) remnants += r->best.patterns[p].repeat_count;
  EXPECT_EQ(bars_4000, 0);
  EXPECT_EQ(bars_6000, 10 - used_6000);
  EXPECT_EQ(kept, remnants);
  EXPECT_GT(remnants, 0);
  // Undo gives the yard back; a second undo, or undoing the undo, is refused.
  int64_t undo = 0;
  ASSERT_TRUE(y->Undo(commit, undo));
  ASSERT_TRUE(y->List("H-200x100x5.5x8", items));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].count, 10);
  EXPECT_EQ(items[1].count, 3);
  EXPECT_EQ(y->Undo(commit, undo).code, Code::kRefused);
  EXPECT_EQ(y->Undo(undo, undo).code, Code::kRefused);
  EXPECT_TRUE(CountsMatchLedger(path));
  // Every change raised the revision; a refused one and a place edit leave it.
  int64_t revision = 0;
  ASSERT_TRUE(y->Revision(revision));
  EXPECT_EQ(revision, undo);
  ASSERT_TRUE(y->SetPlace(items[0].id, "A-1", "L7"));
  int64_t after = 0;
  ASSERT_TRUE(y->Revision(after));
  EXPECT_EQ(after, revision);
  Add(*y, "H-200x100x5.5x8", 6000, 1);
  ASSERT_TRUE(y->Revision(after));
  EXPECT_GT(after, revision);
}

TEST_F(YardTest, UndoIsRefusedOnceTheAddedOffcutsWereUsed) {
  auto y = Open();
  const int64_t id = Add(*y, "FB-9x50", 2500, 1, true);
  int64_t add = 0, take = 0;
  std::vector<Entry> history;
  ASSERT_TRUE(y->History(history));
  add = history.back().id;
  ASSERT_TRUE(y->Apply(Taking("take", {id, 1}), take));
  int64_t undo = 0;
  const Status s = y->Undo(add, undo);
  EXPECT_EQ(s.code, Code::kRefused);
  EXPECT_NE(s.message.find("使われた"), std::string::npos);
  EXPECT_EQ(CountOf(*y, id), 0);
}

Item Stocked(int64_t id, int32_t length, int64_t count, bool offcut, std::string lot = {},
             std::string grade = {}) {
  return {id, "FB-9x50", length, count, offcut, "", std::move(lot), "", std::move(grade)};
}

TEST(StockFillTest, BeyondTheGridOffcutsThePiecesCannotUseGoFirstThenTheShortest) {
  std::vector<Item> items;
  for (int i = 0; i < 40; ++i) items.push_back(Stocked(i + 1, 1000 + 100 * i, 1, true));
  items.push_back(Stocked(99, 6000, 4, false));
  items.push_back(Stocked(100, 1000, 2, false));  // standard bars: 1000 stays
  struct Case {
    int32_t shortest_piece;
    std::vector<int32_t> left_out;
    const char* named;
  } cases[] = {
      {0, {1100, 1200, 1300, 1400, 1500}, "1500×1、1400×1、1300×1、1200×1、1100×1"},
      {1000, {1100, 1200, 1300, 1400, 1500}, "1500×1、1400×1、1300×1、1200×1、1100×1"},
      // 1000 can give no piece: it goes before offcuts that can, standard bars or not.
      {1050, {1000, 1100, 1200, 1300, 1400}, "1400×1、1300×1、1200×1、1100×1、1000×3"},
      {4500, {1000, 1100, 1200, 1300, 1400}, "1400×1、1300×1、1200×1、1100×1、1000×3"},
  };
  for (const Case& c : cases) {
    FillWants wants;
    wants.shortest_piece = c.shortest_piece;
    const StockFill fill = FillFromItems("FB-9x50", items, wants);
    ASSERT_EQ(fill.lengths.size(), 36u);
    std::vector<int32_t> left_out;
    for (const StockLength& l : fill.left_out) left_out.push_back(l.length);
    EXPECT_EQ(left_out, c.left_out) << c.shortest_piece;
    EXPECT_EQ(fill.lengths.back().length, 6000);
    const StockLength& mixed =
        fill.left_out.front().length == 1000 ? fill.left_out.front() : fill.lengths.front();
    EXPECT_EQ(mixed.length, 1000);
    EXPECT_EQ(mixed.count, 3);
    EXPECT_EQ(mixed.offcut_bars, 1);
    EXPECT_FALSE(mixed.offcut);
    const std::string message = LeftOutMessage(fill);
    EXPECT_NE(message.find("36 枠"), std::string::npos) << message;
    EXPECT_NE(message.find(c.named), std::string::npos) << message;
  }
}

// Mill 3000 × 2 and an offcut 3000 × 1, margin 20: the mill bars keep their margin.
TEST(MarginPerBarTest, OnlyTheMeasuredBarsOfALengthLoseTheMargin) {
  struct Case {
    std::vector<optimiser::MeasuredBars> measured;
    int pieces_3015;
    bool planned;
  } cases[] = {
      {{{3000, 1}}, 2, true}, {{{3000, 1}}, 3, false}, {{{3000, 3}}, 1, false},
      {{}, 3, true},          {{{3000, 9}}, 1, false}, {{{2000, 1}}, 3, true},
  };
  for (const Case& c : cases) {
    auto r = testing::MakeRecords({{{3000, 3}}, {{3015, c.pieces_3015}}, 20, 0});
    optimiser::MarkMeasured(r->stock, c.measured);
    EXPECT_EQ(optimiser::RunSearch(*r, {}, 30) == optimiser::kSearchPlanned, c.planned)
        << c.pieces_3015;
  }
  // What is bought is never an offcut: the least addition is a mill length.
  auto r = testing::MakeRecords({{{3000, 1}, {6000, 1}}, {{2900, 4}}, 0, 0});
  optimiser::MarkMeasured(r->stock, {{3000, 1}});
  ASSERT_NE(optimiser::RunSearch(*r, {}, 30), optimiser::kSearchPlanned);
  const optimiser::Shortage shortage = optimiser::LeastAddition(*r, {});
  ASSERT_TRUE(shortage.found);
  EXPECT_EQ(shortage.bars, (std::vector<optimiser::StockBarsUsed>{{6000, 1}}));
}

TEST(StockCommitTest, MeasuredBarsComeFromOffcutsAndRemnantsKeepTheirLotAndGrade) {
  const std::vector<Item> items = {
      {1, "FB-9x50", 6000, 2, false, "A-1", "M-1", "購入", "SS400"},
      {2, "FB-9x50", 6000, 1, true, "B-2", "R-9", "残材", "SS400"},
      {3, "FB-9x50", 6000, 5, false, "A-1", "M-2", "購入", "SN490B"},
  };
  FillWants wants;
  wants.grade = "ss400";
  const StockFill fill = FillFromItems("FB-9x50", items, wants);
  ASSERT_EQ(fill.lengths.size(), 1u);
  EXPECT_EQ(fill.lengths[0].count, 3);  // the SN490B bars are not this job's
  EXPECT_EQ(fill.Measured(), (std::vector<optimiser::MeasuredBars>{{6000, 1}}));
  EXPECT_EQ(FillFromItems("FB-9x50", items).lengths[0].count, 8);  // no grade: any
  // 6010 fits a mill bar only; 2000 goes on the offcut, whose 4000 remnant keeps lot R-9.
  auto r = testing::MakeRecords({{{6000, 3}}, {{6010, 2}, {2000, 1}}, 20, 0});
  optimiser::MarkMeasured(r->stock, fill.Measured());
  ASSERT_EQ(optimiser::RunSearch(*r, {}, 30), optimiser::kSearchPlanned);
  Change change;
  std::string message;
  ASSERT_TRUE(CommitChange(*r, fill, 1000, "job.zv5", "2026-12-07", change, message)) << message;
  ASSERT_EQ(change.takes.size(), 2u);  // offcuts first, as the fill lists them
  EXPECT_EQ(change.takes[0].item, 2);
  EXPECT_EQ(change.takes[0].count, 1);
  EXPECT_EQ(change.takes[1].item, 1);
  EXPECT_EQ(change.takes[1].count, 2);
  ASSERT_EQ(change.adds.size(), 1u);
  EXPECT_EQ(change.adds[0].length, 4000);
  EXPECT_EQ(change.adds[0].lot, "R-9");
  EXPECT_EQ(change.adds[0].grade, "SS400");
  // The confirmation names where each bar lies and its lot.
  const std::string summary = ChangeSummary(change, fill);
  EXPECT_NE(summary.find("6000 mm × 2 本（定尺、置場 A-1、ロット M-1）"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("6000 mm × 1 本（端材、置場 B-2、ロット R-9）"), std::string::npos)
      << summary;
}

TEST_F(YardTest, GradesAreStoredCanonicallyAndKeepItemsApart) {
  auto y = Open();
  NewItem a = Bars("FB-9x50", 6000, 2);
  a.grade = " ss400 ";
  NewItem b = Bars("FB-9x50", 6000, 3);
  b.grade = "SN490B";
  int64_t entry = 0;
  ASSERT_TRUE(y->Apply(Adding(a), entry));
  ASSERT_TRUE(y->Apply(Adding(b), entry));
  ASSERT_TRUE(y->Apply(Adding(a), entry));
  std::vector<Item> items;
  ASSERT_TRUE(y->List("FB-9x50", items));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].grade, "SS400");
  EXPECT_EQ(items[0].count, 4);
  EXPECT_EQ(items[1].grade, "SN490B");
}

TEST_F(YardTest, DamagedAndForeignFilesAreLeftAsTheyWere) {
  struct Case {
    std::string bytes;
    Code code;
  } cases[] = {
      {"not a database at all\n", Code::kDamaged},
      {std::string("SQLite format 3\0", 16) + std::string(4080, '\x5a'), Code::kDamaged},
  };
  for (const Case& c : cases) {
    testing::WriteBytes(path, c.bytes);
    Status s;
    EXPECT_EQ(OpenYard(path, s), nullptr);
    EXPECT_EQ(s.code, c.code) << s.message;
    EXPECT_EQ(testing::ReadBytes(path), c.bytes);
  }
  // Another program's database, and a yard whose pages were damaged after its header.
  const std::string foreign = temp.File("other.db");
  sqlite3* db = nullptr;
  sqlite3_open(foreign.c_str(), &db);
  sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  const std::string before = testing::ReadBytes(foreign);
  Status s;
  EXPECT_EQ(OpenYard(foreign, s), nullptr);
  EXPECT_EQ(s.code, Code::kForeign);
  EXPECT_EQ(testing::ReadBytes(foreign), before);
  fs::remove(path);
  {
    auto y = Open();
    for (int i = 0; i < 300; ++i) Add(*y, "H-300x150x6.5x9", 3000 + i, 1);
  }
  std::string bytes = testing::ReadBytes(path);
  ASSERT_GT(bytes.size(), 8192u);
  for (std::size_t i = 4096 + 100; i < 8192; ++i) bytes[i] = '\x7f';
  testing::WriteBytes(path, bytes);
  EXPECT_EQ(OpenYard(path, s), nullptr);
  EXPECT_EQ(s.code, Code::kDamaged) << s.message;
  EXPECT_EQ(testing::ReadBytes(path), bytes);
}

TEST_F(YardTest, AReadOnlyYardListsButRefusesChanges) {
  Add(*Open(), "C-100x50x5x7.5", 6000, 4);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
  auto y = Open();
  ASSERT_NE(y, nullptr);
  std::vector<Item> items;
  ASSERT_TRUE(y->List("", items));
  ASSERT_EQ(items.size(), 1u);
  int64_t entry = 0;
  const Status s = y->Apply(Taking("take", {items[0].id, 1}), entry);
  EXPECT_EQ(s.code, Code::kReadOnly);
  EXPECT_NE(s.message.find("読み取り専用"), std::string::npos);
}

TEST_F(YardTest, AnOlderSchemaIsMigratedAfterABackup) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db,
               "CREATE TABLE items(id INTEGER PRIMARY KEY, section TEXT NOT NULL, length INTEGER "
               "NOT NULL, count INTEGER NOT NULL, offcut INTEGER NOT NULL DEFAULT 0, location "
               "TEXT NOT NULL DEFAULT '', lot TEXT NOT NULL DEFAULT '', source TEXT NOT NULL "
               "DEFAULT '');"
               "CREATE TABLE entries(id INTEGER PRIMARY KEY, time TEXT NOT NULL, reason TEXT NOT "
               "NULL, job TEXT NOT NULL DEFAULT '');"
               "CREATE TABLE moves(entry INTEGER NOT NULL, item INTEGER NOT NULL, delta INTEGER "
               "NOT NULL); CREATE INDEX items_by_section ON items(section);"
               "INSERT INTO items VALUES(1, 'H-200×100×5.5×8', 6000, 2, 0, '', '', '購入');"
               "INSERT INTO entries VALUES(1, '2026-01-01T00:00:00Z', 'add', '');"
               "INSERT INTO moves VALUES(1, 1, 2);"
               "PRAGMA application_id = 1515599193; PRAGMA user_version = 1;",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
  auto y = Open();
  ASSERT_NE(y, nullptr);
  // The copy is the old yard, still at version 1.
  sqlite3_open_v2((path + ".v1.bak").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(
      db, "SELECT (SELECT count FROM items) * 10 + user_version FROM pragma_user_version", -1, &s,
      nullptr);
  EXPECT_TRUE(sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) == 21);
  sqlite3_finalize(s);
  sqlite3_close(db);
  int64_t undo = 0;
  ASSERT_TRUE(y->Undo(1, undo));
  EXPECT_EQ(CountOf(*y, 1), 0);
  // Items gained a grade: the old ones have none, new ones keep theirs.
  NewItem graded = Bars("H-200x100x5.5x8", 6000, 1);
  graded.grade = "SS400";
  int64_t entry = 0;
  ASSERT_TRUE(y->Apply(Adding(graded), entry));
  std::vector<Item> items;
  ASSERT_TRUE(y->List("", items));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].grade, "SS400");
  Item old;
  ASSERT_TRUE(y->Get(1, old));
  EXPECT_EQ(old.grade, "");
}

// Runs `child` in a forked process; its exit code.
template <class F>
pid_t Fork(F child) {
  const pid_t pid = fork();
  if (pid == 0) _exit(child());
  return pid;
}
int ExitCode(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(YardTest, TwoCommitsOnTheSameBarsHaveExactlyOneWinner) {
  for (int race = 0; race < 8; ++race) {
    fs::remove(path);
    Add(*Open(), "H-250x125x6x9", 6000, 3);
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t pids[2];
    for (pid_t& pid : pids) {
      pid = Fork([&] {
        Status s;
        auto y = OpenYard(path, s);
        std::vector<Item> items;
        if (!y || !y->List("H-250x125x6x9", items) || items.size() != 1) return 3;
        char c;
        close(go[1]);
        if (read(go[0], &c, 1) != 0) return 3;  // both wait for the pipe to close
        int64_t entry = 0;
        const Status a = y->Apply(Taking("commit", {items[0].id, 2, items[0].count}), entry);
        return a.Ok() ? 0 : a.code == Code::kChanged ? 1 : 2;
      });
    }
    close(go[0]);
    close(go[1]);
    const int a = ExitCode(pids[0]), b = ExitCode(pids[1]);
    EXPECT_EQ(std::min(a, b), 0) << "race " << race;
    EXPECT_EQ(std::max(a, b), 1) << "race " << race;
    auto y = Open();
    std::vector<Item> items;
    ASSERT_TRUE(y->List("", items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].count, 1);
  }
}

TEST_F(YardTest, ACommitKilledAtAnyMomentLeavesTheYardBeforeOrAfter) {
  {
    auto y = Open();
    Add(*y, "H-400x200x8x13", 12000, kMaxCount);
  }
  std::mt19937 random(26);
  for (int kill_no = 0; kill_no < 25; ++kill_no) {
    int ticks[2];
    ASSERT_EQ(pipe(ticks), 0);
    const pid_t pid = Fork([&] {
      close(ticks[0]);
      Status s;
      auto y = OpenYard(path, s);
      std::vector<Item> items;
      if (!y || !y->List("H-400x200x8x13", items)) return 3;
      const Item bar = items.front().offcut ? items.back() : items.front();
      for (int i = 0;; ++i) {
        if (write(ticks[1], "x", 1) != 1) return 3;
        Change c = Taking("commit", {bar.id, 1});
        c.adds.push_back(Bars("H-400x200x8x13", 4000 + i % 50, 1, true));
        int64_t entry = 0;
        if (!y->Apply(c, entry)) return 3;
      }
    });
    close(ticks[1]);
    // Let the child get a random way into its commits, then kill it at once.
    const int wait_for = 1 + static_cast<int>(random() % 8);
    char c;
    for (int i = 0; i < wait_for && read(ticks[0], &c, 1) == 1; ++i) {
    }
    kill(pid, SIGKILL);
    close(ticks[0]);
    EXPECT_EQ(ExitCode(pid), -1);
    ASSERT_TRUE(CountsMatchLedger(path)) << "kill " << kill_no;
    auto y = Open();  // opens (and recovers) cleanly
    ASSERT_NE(y, nullptr);
    std::vector<Entry> history;
    ASSERT_TRUE(y->History(history));
    for (const Entry& e : history)
      EXPECT_EQ(e.moves.size(), e.reason == "commit" ? 2u : 1u) << "entry " << e.id;
  }
}

}  // namespace
}  // namespace zarvel::yard
