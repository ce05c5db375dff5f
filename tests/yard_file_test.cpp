// The yard's file: damage found and named, repairs and restores, the day's copies, a file on a
// network filesystem, waits for a busy file, and what each failure tells the user.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "tests/temp_dir.h"
#include "yard/sqlite_file.h"
#include "yard/yard.h"

namespace zarvel::yard {
namespace {

namespace fs = std::filesystem;
using Code = Status::Code;

class YardFileTest : public ::testing::Test {
 protected:
  testing::TempDir temp{"zarvel5-yard-file"};
  std::string path = temp.File("yard.sqlite");

  std::unique_ptr<Yard> Open(const OpenOptions& options = {}) {
    Status s;
    auto y = OpenYard(path, s, options);
    EXPECT_TRUE(s.Ok()) << s.message;
    return y;
  }
  static int64_t Add(Yard& y, int32_t length, int64_t count, const std::string& lot = {}) {
    Change c;
    c.reason = "add";
    NewItem n;
    n.section = "H-200x100x5.5x8";
    n.length = length;
    n.count = count;
    n.lot = lot;
    n.location = "A-3";
    c.adds.push_back(n);
    int64_t entry = 0;
    EXPECT_TRUE(y.Apply(c, entry).Ok());
    return entry;
  }
  static Status Take(Yard& y, int64_t item, int64_t count) {
    Change c;
    c.reason = "take";
    c.takes.push_back({item, count, -1});
    int64_t entry = 0;
    return y.Apply(c, entry);
  }
  // Runs SQL on the file behind the yard's back.
  void Sql(const std::string& sql) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  std::map<int64_t, int64_t> Counts(Yard& y) {
    std::vector<Item> items;
    EXPECT_TRUE(y.List("", items).Ok());
    std::map<int64_t, int64_t> counts;
    for (const Item& i : items) counts[i.id] = i.count;
    return counts;
  }
};

TEST_F(YardFileTest, EmptyCutAndDamagedFilesAreNamedAndNeverMadeIntoANewYard) {
  { Add(*Open(), 6000, 4); }
  const std::string sound = testing::ReadBytes(path);
  ASSERT_GT(sound.size(), 8192u);
  struct Case {
    std::string bytes;
    const char* words;
  } cases[] = {
      {"", "空（0 バイト）"},
      {sound.substr(0, sound.size() / 2), "途中で切れています"},
      {sound.substr(0, 100), "途中で切れています"},
      {"hello\n", "読めません"},
  };
  for (const Case& c : cases) {
    for (const char* extra : {"-wal", "-shm"}) fs::remove(path + extra);
    testing::WriteBytes(path, c.bytes);
    Status s;
    EXPECT_EQ(OpenYard(path, s), nullptr) << c.words;
    EXPECT_EQ(s.code, Code::kDamaged) << s.message;
    EXPECT_NE(s.message.find(c.words), std::string::npos) << s.message;
    EXPECT_NE(s.message.find("restore"), std::string::npos) << s.message;
    EXPECT_EQ(s.message.find("database"), std::string::npos) << s.message;  // no SQLite English
    EXPECT_EQ(testing::ReadBytes(path), c.bytes);
  }
  // Only a name that holds no file becomes a new yard.
  fs::remove(path);
  auto y = Open();
  ASSERT_NE(y, nullptr);
  EXPECT_TRUE(Counts(*y).empty());
}

TEST_F(YardFileTest, ACountChangedBehindTheYardsBackIsNamedChangesWaitForARepair) {
  auto y = Open();
  Add(*y, 6000, 13);
  Add(*y, 4000, 2);
  y.reset();
  Sql("UPDATE items SET count = 93 WHERE length = 6000");
  y = Open();
  ASSERT_NE(y, nullptr);
  EXPECT_NE(y->ReadOnlyReason().find("在庫 ID 1（93 本、記録では 13 本）"), std::string::npos)
      << y->ReadOnlyReason();
  const Status refused = Take(*y, 2, 1);
  EXPECT_EQ(refused.code, Code::kMismatch);
  EXPECT_NE(refused.message.find("yard repair"), std::string::npos);
  std::vector<Mismatch> found;
  EXPECT_EQ(y->Check(found).code, Code::kMismatch);
  ASSERT_EQ(found, (std::vector<Mismatch>{{1, 93, 13}}));
  // A repair of what the user did not see is refused; of what was shown, made.
  int64_t entry = 0;
  EXPECT_EQ(y->Repair({{1, 94, 13}}, entry).code, Code::kChanged);
  ASSERT_TRUE(y->Repair(found, entry));
  EXPECT_TRUE(y->ReadOnlyReason().empty());
  EXPECT_TRUE(y->Check(found));
  std::vector<Entry> history;
  ASSERT_TRUE(y->History(history));
  EXPECT_EQ(history.back().reason, "repair");
  ASSERT_EQ(history.back().moves.size(), 1u);
  EXPECT_EQ(history.back().moves[0].delta, 80);
  EXPECT_TRUE(Take(*y, 2, 1));
  // A count that went below 0 becomes 0; a ledger move changed by damage is found the same way.
  y.reset();
  Sql("PRAGMA ignore_check_constraints = ON; UPDATE items SET count = -117 WHERE id = 2");
  y = Open();
  ASSERT_TRUE(!y->Check(found) && found.size() == 1);
  ASSERT_TRUE(y->Repair(found, entry));
  EXPECT_EQ(Counts(*y).count(2), 0u);
  EXPECT_TRUE(y->Check(found));
}

TEST_F(YardFileTest, RandomBytesInAYardNeverChangeACountSilently) {
  {
    auto y = Open();
    for (int i = 0; i < 150; ++i) Add(*y, 2000 + i, 1 + i % 13);
    Take(*y, 1, 1);
  }
  std::map<int64_t, int64_t> before;
  {
    auto y = Open();
    before = Counts(*y);
  }
  const std::string sound = testing::ReadBytes(path);
  std::mt19937 random(34);
  int opened = 0, refused = 0, found = 0;
  for (int trial = 0; trial < 150; ++trial) {
    std::string bytes = sound;
    const std::size_t at = 100 + random() % (bytes.size() - 108);
    for (std::size_t k = 0; k < 8; ++k) bytes[at + k] = static_cast<char>(random());
    for (const char* extra : {"-wal", "-shm"}) fs::remove(path + extra);
    testing::WriteBytes(path, bytes);
    Status s;
    auto y = OpenYard(path, s);
    if (!y) {
      ++refused;
      continue;
    }
    std::vector<Mismatch> mismatches;
    if (!y->Check(mismatches)) {
      ++found;
      EXPECT_FALSE(y->ReadOnlyReason().empty());
      continue;
    }
    ++opened;
    std::vector<Item> items;
    if (!y->List("", items)) continue;  // damage met while reading is reported, not hidden
    for (const Item& i : items)
      if (before.count(i.id) != 0) {
        EXPECT_EQ(i.count, before[i.id]) << "trial " << trial;
      }
  }
  EXPECT_GT(found + refused, 0);
  EXPECT_GT(opened, 0);
}

TEST_F(YardFileTest, TheDaysFirstChangeCopiesTheYardAndTheLast14AreKept) {
  for (int day = 1; day <= 16; ++day)
    testing::WriteBytes(path + ".2026-01-" + (day < 10 ? "0" : "") + std::to_string(day) + ".bak",
                        "old");
  auto y = Open();
  Add(*y, 6000, 4);
  const std::vector<std::string> copies = DailyBackups(path);
  ASSERT_EQ(copies.size(), kKeptBackups);
  EXPECT_EQ(fs::path(copies.front()).filename(), "yard.sqlite.2026-01-04.bak");
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string today = DailyBackupName(path, local);
  EXPECT_EQ(copies.back(), today);
  // The copy holds the yard as it was before the day's first change: a new, empty one here.
  const std::string first = testing::ReadBytes(today);
  Add(*y, 6000, 1);
  EXPECT_EQ(testing::ReadBytes(today), first);
  Status s;
  auto copy = OpenYard(today, s);
  ASSERT_NE(copy, nullptr) << s.message;
  EXPECT_TRUE(Counts(*copy).empty());
}

TEST_F(YardFileTest, ARestoreGivesTheCopysCountsAndIsItselfALedgerEntry) {
  auto y = Open();
  Add(*y, 6000, 4, "H-88");
  const std::string copy = temp.File("kept.bak");
  ASSERT_TRUE(BackUpYard(path, copy));
  EXPECT_EQ(BackUpYard(path, copy).code, Code::kInvalid);  // never over a file
  const std::string copy_bytes = testing::ReadBytes(copy);
  ASSERT_TRUE(Take(*y, 1, 3));
  y.reset();
  // Restored over the yard as it stands, and over a yard damaged beyond opening.
  for (const bool damaged : {false, true}) {
    if (damaged) testing::WriteBytes(path, "ruined");
    int64_t entry = 0;
    std::string saved;
    const Status s = RestoreYard(path, copy, entry, saved);
    ASSERT_TRUE(s) << s.message;
    EXPECT_TRUE(fs::exists(saved));
    if (damaged) {
      EXPECT_EQ(testing::ReadBytes(saved), "ruined");
    }
    y = Open();
    EXPECT_EQ(Counts(*y), (std::map<int64_t, int64_t>{{1, 4}}));
    std::vector<Entry> history;
    ASSERT_TRUE(y->History(history));
    EXPECT_EQ(history.back().id, entry);
    EXPECT_EQ(history.back().reason, "restore");
    EXPECT_EQ(history.back().job, "kept.bak");
    EXPECT_EQ(testing::ReadBytes(copy), copy_bytes);  // the copy is only read
    std::vector<Mismatch> mismatches;
    EXPECT_TRUE(y->Check(mismatches));
    y.reset();
  }
  // A copy that is no sound yard is refused and the yard stays.
  const std::string before = testing::ReadBytes(path);
  testing::WriteBytes(temp.File("bad.bak"), "not a yard");
  int64_t entry = 0;
  std::string saved;
  EXPECT_FALSE(RestoreYard(path, temp.File("bad.bak"), entry, saved));
  EXPECT_FALSE(RestoreYard(path, temp.File("missing.bak"), entry, saved));
  EXPECT_EQ(testing::ReadBytes(path), before);
}

TEST_F(YardFileTest, AYardOnANetworkFilesystemIsRefusedOrReadOnly) {
  { Add(*Open(), 6000, 4); }
  struct Case {
    unsigned long magic;
    const char* kind;
  } cases[] = {{0x6969, "NFS"},      {0xff534d42, "SMB/CIFS"}, {0xfe534d42, "SMB/CIFS"},
               {0x517b, "SMB/CIFS"}, {0x01021997, "9P"},       {0xef53, ""}};
  for (const Case& c : cases) {
    OpenOptions options;
    options.statfs = [&](const char*, struct ::statfs* st) {
      *st = {};
      st->f_type = static_cast<decltype(st->f_type)>(c.magic);
      return 0;
    };
    EXPECT_EQ(NetworkFilesystem(path, options), c.kind);
    Status s;
    auto y = OpenYard(path, s, options);
    if (*c.kind == '\0') {
      EXPECT_NE(y, nullptr) << s.message;
      continue;
    }
    EXPECT_EQ(y, nullptr);
    EXPECT_EQ(s.code, Code::kNetwork);
    EXPECT_NE(s.message.find(c.kind), std::string::npos) << s.message;
    EXPECT_NE(s.message.find("--allow-network-file"), std::string::npos) << s.message;
    // Read only when the user allows it.
    options.allow_network_file = true;
    y = OpenYard(path, s, options);
    ASSERT_NE(y, nullptr) << s.message;
    EXPECT_EQ(Counts(*y).size(), 1u);
    EXPECT_EQ(Take(*y, 1, 1).code, Code::kReadOnly);
    // No new yard is made there.
    const std::string fresh = temp.File("new/yard.sqlite");
    EXPECT_EQ(OpenYard(fresh, s, options), nullptr);
    EXPECT_EQ(s.code, Code::kNetwork);
    EXPECT_FALSE(fs::exists(fresh));
  }
  auto y = Open();
  EXPECT_EQ(Counts(*y).begin()->second, 4);  // nothing was changed
}

TEST_F(YardFileTest, EachFailureHasItsOwnStatusAndAJapaneseSentence) {
  std::set<std::string> names;
  for (int c = static_cast<int>(Code::kOk); c <= static_cast<int>(Code::kCancelled); ++c)
    names.insert(StatusName(static_cast<Code>(c)));
  EXPECT_EQ(names.size(), static_cast<std::size_t>(Code::kCancelled) + 1);
  // A writable file in a folder that is not: the folder is named, not the file.
  { Add(*Open(), 6000, 4); }
  fs::permissions(temp.path(), fs::perms::owner_read | fs::perms::owner_exec);
  {
    auto y = Open();
    ASSERT_NE(y, nullptr);
    EXPECT_NE(y->ReadOnlyReason().find("フォルダ"), std::string::npos) << y->ReadOnlyReason();
    EXPECT_EQ(Take(*y, 1, 1).code, Code::kReadOnly);
  }
  fs::permissions(temp.path(), fs::perms::owner_all);
  // A folder that cannot be made: named in Japanese, not by the system's English.
  testing::WriteBytes(temp.File("plain"), "x");
  Status folder;
  EXPECT_EQ(OpenYard(temp.File("plain/yard.sqlite"), folder), nullptr);
  EXPECT_EQ(folder.code, Code::kFailed);
  EXPECT_NE(folder.message.find("フォルダ"), std::string::npos) << folder.message;
  EXPECT_EQ(folder.message.find("directory"), std::string::npos) << folder.message;
  // A full disk, as a file size limit shows it to SQLite: its own status, the yard unchanged.
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    Status s;
    auto y = OpenYard(path, s);
    if (!y) _exit(3);
    const rlimit limit{static_cast<rlim_t>(fs::file_size(path)),
                       static_cast<rlim_t>(fs::file_size(path))};
    setrlimit(RLIMIT_FSIZE, &limit);
    Change c;
    c.reason = "import";
    for (int i = 0; i < 3000; ++i) {
      NewItem n;
      n.section = "H-200x100x5.5x8";
      n.length = 1000 + i;
      n.count = 1;
      n.source = std::string(150, 'x');
      c.adds.push_back(n);
    }
    int64_t entry = 0;
    const Status a = y->Apply(c, entry);
    _exit(a.code == Code::kDiskFull && a.message.find("ディスクがいっぱい") != std::string::npos
              ? 0
              : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  auto y = Open();
  EXPECT_EQ(Counts(*y), (std::map<int64_t, int64_t>{{1, 4}}));
  std::vector<Mismatch> mismatches;
  EXPECT_TRUE(y->Check(mismatches));
}

TEST_F(YardFileTest, AWaitForABusyFileIsToldAndCanBeCancelled) {
  { Add(*Open(), 6000, 4); }
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  int told = 0, steps = 0;
  OpenOptions options;
  options.waiting = [&](const std::string& what) {
    EXPECT_NE(what.find("使用中"), std::string::npos) << what;
    ++told;
    return true;
  };
  options.keep_waiting = [&] { return ++steps < 3; };
  auto y = Open(options);
  ASSERT_NE(y, nullptr);
  const Status s = Take(*y, 1, 1);
  EXPECT_EQ(s.code, Code::kCancelled) << s.message;
  EXPECT_EQ(told, 1);
  EXPECT_EQ(steps, 3);
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_TRUE(Take(*y, 1, 1));
}

// A server that takes the connection and never answers: the wait is told once, with the
// server's name, each further step asks again, and a no cancels at once with nothing opened.
TEST(YardServerWaitTest, ASilentServerIsToldAndCanBeCancelled) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t size = sizeof address;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const std::string uri =
      "postgresql://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/yard";
  for (const int steps_allowed : {0, 3}) {
    int told = 0, steps = 0, ended = 0;
    std::string said;
    OpenOptions options;
    options.waiting = [&](const std::string& what) {
      ++told;
      said = what;
      return steps_allowed > 0;
    };
    options.keep_waiting = [&] { return ++steps < steps_allowed; };
    options.waited = [&] { ++ended; };
    Status s;
    EXPECT_EQ(OpenYard(uri, s, options), nullptr);
    EXPECT_EQ(s.code, Code::kCancelled) << s.message;
    EXPECT_NE(s.message.find("接続をやめました"), std::string::npos) << s.message;
    EXPECT_EQ(told, 1);
    EXPECT_EQ(steps, steps_allowed);
    EXPECT_EQ(ended, 1);
    EXPECT_NE(said.find("127.0.0.1"), std::string::npos) << said;
  }
  close(listener);
}

TEST(YardTimeTest, StoredUtcIsShownInLocalTime) {
  const char* was = std::getenv("TZ");
  const std::string saved = was != nullptr ? was : "";
  struct Case {
    const char* zone;
    const char* utc;
    const char* local;
  } cases[] = {
      {"JST-9", "2026-12-07T15:30:00Z", "2026-12-08 00:30"},
      {"UTC0", "2026-12-07T15:30:00Z", "2026-12-07 15:30"},
      {"EST5EDT,M3.2.0,M11.1.0", "2026-07-01T03:05:00Z", "2026-06-30 23:05"},
      {"JST-9", "not a time", "not a time"},
  };
  for (const Case& c : cases) {
    setenv("TZ", c.zone, 1);
    tzset();
    EXPECT_EQ(LocalTimeText(c.utc), c.local) << c.zone;
  }
  if (was != nullptr)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace zarvel::yard
