// The yard in one SQLite file: WAL, full sync, one connection per process with a busy handler,
// every change in one BEGIN IMMEDIATE transaction, the schema version in PRAGMA user_version.
// The yard's rule (every count is the sum of its ledger moves) and the file's own check are run
// on open and inside every change; a day's first change copies the file beside itself first.
#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "base/format.h"
#include "base/outside_text.h"
#include "catalog/sections.h"
#include "yard/pg_store.h"
#include "yard/sqlite.h"
#include "yard/sqlite_file.h"
#include "yard/yard.h"

namespace zarvel::yard {
namespace {

namespace fs = std::filesystem;
using Code = Status::Code;
using base::Format;

constexpr int64_t kApplicationId = 0x5a563559;  // "ZV5Y": this program's yard
constexpr int64_t kSchemaVersion = 3;
// A busy file is waited for in steps: 200 of 50 ms, ten seconds in all.
constexpr int kBusySteps = 200;
constexpr int kBusyStepMilliseconds = 50;
constexpr const char* kBusyFileWait =
    "在庫ファイルを他のプログラムが使用中です。空くまで待っています（最大 10 秒）…";
// Mismatched items named in a message; the rest are counted.
constexpr std::size_t kNamedMismatches = 10;

// Version 1 lacked the undo link and kept a plain index; version 2 lacked the grade; version 3
// is the schema below.
constexpr const char* kSchema = R"sql(
CREATE TABLE items(
  id INTEGER PRIMARY KEY,
  section TEXT NOT NULL,
  length INTEGER NOT NULL CHECK (length > 0),
  count INTEGER NOT NULL CHECK (count >= 0),
  offcut INTEGER NOT NULL DEFAULT 0,
  location TEXT NOT NULL DEFAULT '',
  lot TEXT NOT NULL DEFAULT '',
  source TEXT NOT NULL DEFAULT '',
  grade TEXT NOT NULL DEFAULT '');
CREATE TABLE entries(
  id INTEGER PRIMARY KEY,
  time TEXT NOT NULL,
  reason TEXT NOT NULL,
  job TEXT NOT NULL DEFAULT '',
  undoes INTEGER REFERENCES entries(id));
CREATE TABLE moves(
  entry INTEGER NOT NULL REFERENCES entries(id),
  item INTEGER NOT NULL REFERENCES items(id),
  delta INTEGER NOT NULL);
CREATE INDEX items_in_stock ON items(section, offcut, length DESC) WHERE count > 0;
CREATE INDEX moves_by_entry ON moves(entry);
CREATE INDEX moves_by_item ON moves(item, delta);
CREATE TRIGGER entries_kept BEFORE UPDATE ON entries BEGIN SELECT RAISE(ABORT, 'append-only'); END;
CREATE TRIGGER entries_not_deleted BEFORE DELETE ON entries BEGIN SELECT RAISE(ABORT, 'append-only'); END;
CREATE TRIGGER moves_kept BEFORE UPDATE ON moves BEGIN SELECT RAISE(ABORT, 'append-only'); END;
CREATE TRIGGER moves_not_deleted BEFORE DELETE ON moves BEGIN SELECT RAISE(ABORT, 'append-only'); END;
)sql";

constexpr const char* kMigrateFrom1 = R"sql(
ALTER TABLE entries ADD COLUMN undoes INTEGER REFERENCES entries(id);
DROP INDEX IF EXISTS items_by_section;
CREATE INDEX items_in_stock ON items(section, offcut, length DESC) WHERE count > 0;
)sql";
constexpr const char* kMigrateFrom2 = R"sql(
ALTER TABLE items ADD COLUMN grade TEXT NOT NULL DEFAULT '';
DROP INDEX IF EXISTS moves_by_item;
CREATE INDEX moves_by_item ON moves(item, delta);
)sql";

// Every item whose count is not the sum of its moves, by one grouped pass over the moves (the
// index on item and delta holds all it reads).
constexpr const char* kMismatchQuery =
    "SELECT items.id, items.count, coalesce(ledger.total, 0) FROM items LEFT JOIN "
    "(SELECT item, sum(delta) AS total FROM moves GROUP BY item) AS ledger "
    "ON ledger.item = items.id WHERE items.count IS NOT coalesce(ledger.total, 0) "
    "ORDER BY items.id";

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buffer;
}

std::string Folder(const std::string& path) {
  return fs::absolute(path).parent_path().string();
}

bool DiskFull(int system_errno) {
  return system_errno == ENOSPC || system_errno == EDQUOT || system_errno == EFBIG;
}

// After a failed write whose errno SQLite no longer has: whether the file could not grow (the
// disk nearly full, or the file at the process's size limit).
bool NoRoomToGrow(const std::string& path) {
  struct statvfs fs_stat {};
  if (::statvfs(Folder(path).c_str(), &fs_stat) == 0 &&
      static_cast<unsigned long long>(fs_stat.f_bavail) * fs_stat.f_frsize < (1u << 20))
    return true;
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
  std::error_code ec;
  for (const char* extra : {"", "-wal"}) {
    const std::uintmax_t size = fs::file_size(path + extra, ec);
    if (!ec && size + 65536 >= limit.rlim_cur) return true;
  }
  return false;
}

// One sentence and what to do, for each way SQLite or the system fails (never SQLite's English).
Status FromSql(const sql::SqlError& e, const std::string& path) {
  if (e.Code() == SQLITE_FULL || DiskFull(e.SystemErrno()) ||
      (e.Code() == SQLITE_IOERR && NoRoomToGrow(path)))
    return Status::Error(Code::kDiskFull,
                         Format("ディスクがいっぱいで、在庫ファイル %s に書き込めません。"
                                "ディスクに空きを作ってから、もう一度実行して下さい。",
                                path.c_str()));
  switch (e.Code()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Status::Error(Code::kBusy, Format("在庫ファイル %s は他のプログラムが使用中です。"
                                               "しばらくしてから、もう一度実行して下さい。",
                                               path.c_str()));
    case SQLITE_READONLY:
      return Status::Error(Code::kReadOnly,
                           Format("在庫ファイル %s に書き込めません（読み取り専用）。"
                                  "ファイルとフォルダの書き込みの権限を確かめて下さい。",
                                  path.c_str()));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Status::Error(Code::kDamaged, Format("在庫ファイル %s は壊れています。"
                                                  "zarvel5 yard restore で控えから戻して下さい。",
                                                  path.c_str()));
    case SQLITE_CONSTRAINT:  // the schema's own guards (counts never below 0)
      return Status::Error(Code::kRefused, "在庫を変更できません（本数が 0 本未満になります）。");
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Status::Error(Code::kFailed,
                           Format("在庫ファイル %s を開けません（%s）。フォルダがあり、"
                                  "読み書きの権限があるかを確かめて下さい。",
                                  path.c_str(),
                                  e.SystemErrno() == EACCES ? "権限がありません"
                                                            : "フォルダかファイルがありません"));
    case SQLITE_IOERR:
      return Status::Error(Code::kFailed,
                           Format("在庫ファイル %s の読み書きに失敗しました。ディスクや"
                                  "接続を確かめてから、もう一度実行して下さい。",
                                  path.c_str()));
    default:
      return Status::Error(
          Code::kFailed,
          Format("在庫ファイル %s を扱えません（SQLite の結果 %d）。", path.c_str(), e.Code()));
  }
}

Status DamagedFile(const std::string& path, const char* why) {
  return Status::Error(Code::kDamaged,
                       Format("在庫ファイル %s は%s。ファイルはそのままにしてあります。"
                              "zarvel5 yard restore で控えから戻すか、別の名前の在庫ファイル"
                              "を使って下さい。",
                              path.c_str(), why));
}

// A path as a file: URI, for the flags only a URI can carry.
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (const unsigned char c : fs::absolute(path).string()) {
    if (c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || (c >= '0' && c <= '9') ||
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      uri += static_cast<char>(c);
    } else {
      uri += Format("%%%02X", c);
    }
  }
  return uri;
}

// Why the file cannot be changed by this user, or empty: a file or folder without write
// permission is read-only for everyone (the superuser too); WAL also needs to make its files
// in the folder.
std::string NotWritable(const std::string& path, const struct stat& st) {
  struct stat folder {};
  const bool folder_read_only =
      ::stat(Folder(path).c_str(), &folder) == 0 && (folder.st_mode & 0222) == 0;
  if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)
    return Format(
        "在庫ファイル %s は読み取り専用なので、変更できません。"
        "変更するには、ファイルの書き込みの権限を確かめて下さい。",
        path.c_str());
  if (folder_read_only || ::access(Folder(path).c_str(), W_OK) != 0)
    return Format(
        "在庫ファイル %s のフォルダ %s に書き込めないため、変更できません"
        "（作業ファイルを作れません）。フォルダの書き込みの権限を確かめて下さい。",
        path.c_str(), Folder(path).c_str());
  return {};
}

// A free name beside the file for the copy kept before a migration.
std::string BackupName(const std::string& path, int64_t version) {
  std::string name = path + Format(".v%lld.bak", static_cast<long long>(version));
  for (int n = 2; fs::exists(name); ++n)
    name = path + Format(".v%lld-%d.bak", static_cast<long long>(version), n);
  return name;
}

// Copies the open database `from` into the file `copy`, which must not exist: written under a
// temporary name and linked into place, so that no half copy ever has the name.
void CopyDatabase(sql::Database& from, const std::string& copy) {
  const std::string temporary = copy + Format(".%d.tmp", static_cast<int>(::getpid()));
  {
    sql::Database to;
    to.Open(temporary, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite3_backup* backup = sqlite3_backup_init(to.Handle(), "main", from.Handle(), "main");
    if (backup == nullptr) to.Check(sqlite3_errcode(to.Handle()));
    sqlite3_backup_step(backup, -1);
    const int rc = sqlite3_backup_finish(backup);
    if (rc != SQLITE_OK) {
      to.Close();
      std::error_code ec;
      fs::remove(temporary, ec);
      to.Check(rc);
    }
    // The copy stands alone: no WAL beside it.
    to.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  const int linked = ::link(temporary.c_str(), copy.c_str());
  const int link_errno = errno;
  std::error_code ec;
  fs::remove(temporary, ec);
  if (linked != 0 && link_errno != EEXIST)
    throw sql::SqlError(DiskFull(link_errno) ? SQLITE_FULL : SQLITE_CANTOPEN, "link", link_errno);
}

// The first bytes of an SQLite file, and whether it holds every page its header counts.
enum class Header { kSound, kNotSqlite, kCut };
Header ReadHeader(const std::string& path, std::uintmax_t size) {
  std::ifstream in(path, std::ios::binary);
  unsigned char h[100] = {};
  in.read(reinterpret_cast<char*>(h), sizeof h);
  if (!in || std::string(reinterpret_cast<char*>(h), 16) != std::string("SQLite format 3\0", 16))
    return Header::kNotSqlite;
  uint32_t page_size = (uint32_t{h[16]} << 8) | h[17];
  if (page_size == 1) page_size = 65536;
  auto word = [&](int at) {
    return (uint32_t{h[at]} << 24) | (uint32_t{h[at + 1]} << 16) | (uint32_t{h[at + 2]} << 8) |
           h[at + 3];
  };
  const uint32_t pages = word(28);
  if (page_size < 512 || size % page_size != 0) return Header::kCut;
  // The page count is kept only while the change counter matches its "valid for" number, and a
  // WAL beside the file may still hold pages a checkpoint was writing back.
  std::error_code ec;
  const bool wal = fs::file_size(path + "-wal", ec) > 0 && !ec;
  if (!wal && word(92) == word(24) && pages > 0 && size < std::uintmax_t{pages} * page_size)
    return Header::kCut;
  return Header::kSound;
}

class SqliteYard final : public Yard {
 public:
  SqliteYard(std::string path, OpenOptions options)
      : path_(std::move(path)), options_(std::move(options)) {}
  // Opens without writing anything (no migration): a file that is only copied from.
  static constexpr const char* kOnlyRead = "在庫ファイルの控えとして読むだけです。";
  void OnlyRead() { only_read_ = true; }

  Status Open();
  const std::string& ReadOnlyReason() const override {
    return read_only_.empty() ? mismatch_ : read_only_;
  }
  Status List(const std::string& section, std::vector<Item>& items) override;
  Status Sections(std::vector<std::string>& sections) override;
  Status Get(int64_t id, Item& item) override;
  Status Apply(const Change& change, int64_t& entry) override;
  Status History(std::vector<Entry>& entries) override;
  Status Undo(int64_t entry, int64_t& undo_entry) override;
  Status SetPlace(int64_t id, const std::string& location, const std::string& lot) override;
  Status Revision(int64_t& revision) override;
  Status Check(std::vector<Mismatch>& mismatches) override;
  Status Repair(const std::vector<Mismatch>& confirmed, int64_t& entry) override;
  Status Load(const std::vector<Item>& items, const std::vector<Entry>& entries,
              bool replace) override;

  // A consistent copy of the yard as it stands, in a file that must not exist yet.
  Status CopyTo(const std::string& copy) {
    return Guard([&]() -> Status {
      if (fs::exists(copy))
        return Status::Error(Code::kInvalid,
                             Format("%s はもうあります。別の名前を指定して下さい。", copy.c_str()));
      CopyDatabase(db_, copy);
      return {};
    });
  }
  // The restore's entry, written into the yard just put back.
  Status NoteRestore(const std::string& copy, int64_t& entry) {
    return Guard([&]() -> Status {
      sql::WriteTransaction transaction(db_);
      entry = AddEntry("restore", fs::path(copy).filename().string(), 0);
      transaction.Commit();
      return {};
    });
  }
  sql::Database& Db() { return db_; }

 private:
  // Runs `work`, turning SQLite's failures into a status.
  template <class Work>
  Status Guard(Work&& work) {
    cancelled_ = false;
    announced_ = false;
    Status s;
    try {
      s = work();
    } catch (const sql::SqlError& e) {
      s = cancelled_ ? Status::Error(Code::kCancelled, "在庫ファイルが空くのを待つのをやめました。")
                     : FromSql(e, path_);
    }
    if (announced_ && options_.waited) options_.waited();
    return s;
  }
  // Before a change: writable, the ledger sound (unless it is the repair), and the day's copy
  // made.
  Status BeforeChange(bool repair = false);
  // Inside a change's transaction: the file's own check and the yard's rule.
  Status CheckInside();
  Status MismatchStatus(const std::vector<Mismatch>& mismatches) const;
  std::vector<Mismatch> FindMismatches();
  Status Inspect(int64_t& version);
  void OpenForReading();
  void Create();
  void BackUp(int64_t version);
  void Migrate();
  void WaitWhenBusy();
  static int Busy(void* self, int step);
  int64_t AddEntry(const std::string& reason, const std::string& job, int64_t undoes);
  void AddMove(int64_t entry, int64_t item, int64_t delta);
  int64_t FindOrAddItem(const NewItem& item);
  static Item ReadItem(const sql::Statement& s);

  std::string path_;
  OpenOptions options_;
  std::string read_only_;
  std::string mismatch_;  // why changes wait for a repair; empty when the ledger holds
  bool cancelled_ = false;
  bool announced_ = false;
  bool only_read_ = false;
  sql::Database db_;
};

constexpr const char* kItemColumns =
    "SELECT id, section, length, count, offcut, location, lot, source, grade FROM items ";

Item SqliteYard::ReadItem(const sql::Statement& s) {
  return Item{s.Int(0),  s.Text(1),     static_cast<int32_t>(s.Int(2)),
              s.Int(3),  s.Int(4) != 0, s.Text(5),
              s.Text(6), s.Text(7),     s.Text(8)};
}

// Waits for a busy file in counted steps, telling the caller once and letting it cancel.
int SqliteYard::Busy(void* self, int step) {
  auto* yard = static_cast<SqliteYard*>(self);
  if (step >= kBusySteps) return 0;
  if (!yard->announced_) {
    yard->announced_ = true;
    if (yard->options_.waiting && !yard->options_.waiting(kBusyFileWait)) {
      yard->cancelled_ = true;
      return 0;
    }
  } else if (yard->options_.keep_waiting && !yard->options_.keep_waiting()) {
    yard->cancelled_ = true;
    return 0;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kBusyStepMilliseconds));
  return 1;
}

void SqliteYard::WaitWhenBusy() {
  db_.Check(sqlite3_busy_handler(db_.Handle(), &SqliteYard::Busy, this));
}

// Looks at an existing file without writing to it: whose database it is, and its version.
Status SqliteYard::Inspect(int64_t& version) {
  std::error_code ec;
  const Header header = ReadHeader(path_, fs::file_size(path_, ec));
  if (header == Header::kNotSqlite)
    return DamagedFile(path_,
                       "在庫ファイルとして読めません（データベースではないか、壊れています）");
  if (header == Header::kCut) return DamagedFile(path_, "途中で切れています（壊れています）");
  OpenForReading();
  const int64_t application = db_.QueryInt("PRAGMA application_id");
  version = db_.QueryInt("PRAGMA user_version");
  const int64_t objects = db_.QueryInt("SELECT count(*) FROM sqlite_master");
  if (application == 0 && version == 0 && objects == 0)
    return DamagedFile(path_, "空のデータベースで、在庫の表がありません");
  if (application != kApplicationId) {
    return Status::Error(Code::kForeign, Format("%s はこのプログラムの在庫ファイルではありません。"
                                                "ファイルはそのままにしてあります。",
                                                path_.c_str()));
  }
  sql::Statement check(db_, "PRAGMA quick_check");
  if (check.Step() && check.Text(0) != "ok") return DamagedFile(path_, "壊れています");
  return {};
}

// Read-only; in a folder where WAL's shared-memory file cannot be made, as an immutable file.
void SqliteYard::OpenForReading() {
  db_.Open(path_, SQLITE_OPEN_READONLY);
  WaitWhenBusy();
  try {
    db_.QueryInt("SELECT count(*) FROM sqlite_master");
  } catch (const sql::SqlError& e) {
    if (e.Code() == SQLITE_NOTADB || e.Code() == SQLITE_CORRUPT || cancelled_) throw;
    db_.Open(FileUri(path_) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  }
}

// A new yard is made whole under a temporary name and linked into place, so that no other
// program ever finds the name holding an empty file; when another made it first, theirs stays.
void SqliteYard::Create() {
  const std::string temporary = path_ + Format(".%d.new", static_cast<int>(::getpid()));
  std::error_code ec;
  fs::remove(temporary, ec);
  {
    sql::Database fresh;
    fresh.Open(temporary, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    fresh.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL");
    fresh.Exec("BEGIN");
    fresh.Exec(kSchema);
    fresh.Exec(Format("PRAGMA application_id=%lld", static_cast<long long>(kApplicationId)));
    fresh.Exec(Format("PRAGMA user_version=%lld", static_cast<long long>(kSchemaVersion)));
    fresh.Exec("COMMIT");
    fresh.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  const int linked = ::link(temporary.c_str(), path_.c_str());
  const int link_errno = errno;
  fs::remove(temporary, ec);
  fs::remove(temporary + "-wal", ec);
  fs::remove(temporary + "-shm", ec);
  if (linked != 0 && link_errno != EEXIST)
    throw sql::SqlError(DiskFull(link_errno)   ? SQLITE_FULL
                        : link_errno == EACCES ? SQLITE_CANTOPEN
                        : link_errno == EROFS  ? SQLITE_READONLY
                                               : SQLITE_CANTOPEN,
                        "link", link_errno);
}

Status SqliteYard::Open() {
  return Guard([&]() -> Status {
    const std::string network = NetworkFilesystem(path_, options_);
    if (!network.empty() && !options_.allow_network_file)
      return Status::Error(Code::kNetwork, NetworkMessage(path_, network));
    struct stat st {};
    bool exists = ::stat(path_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
      return Status::Error(Code::kInvalid, Format("%s はファイルではありません。", path_.c_str()));
    if (exists && st.st_size == 0)
      return DamagedFile(path_, "空（0 バイト）で、在庫の記録がありません");
    if (!exists) {
      if (!network.empty()) return Status::Error(Code::kNetwork, NetworkMessage(path_, network));
      std::error_code ec;
      fs::create_directories(Folder(path_), ec);
      if (ec)
        return Status::Error(Code::kFailed,
                             Format("在庫ファイルのフォルダ %s を作れません。フォルダの権限を"
                                    "確かめるか、--yard で別の場所を指定して下さい。",
                                    Folder(path_).c_str()));
      Create();
      exists = ::stat(path_.c_str(), &st) == 0;
    }
    int64_t version = 0;
    if (Status s = Inspect(version); !s) return s;
    if (version > kSchemaVersion) {
      read_only_ = Format(
          "在庫ファイル %s は新しい版のプログラムのもの（版 %lld）なので、"
          "変更できません。",
          path_.c_str(), static_cast<long long>(version));
    } else if (!network.empty()) {
      read_only_ = NetworkMessage(path_, network);
    } else if (only_read_) {
      read_only_ = kOnlyRead;
    } else {
      read_only_ = NotWritable(path_, st);
    }
    if (read_only_.empty()) {
      db_.Open(path_, SQLITE_OPEN_READWRITE);
      WaitWhenBusy();
      const int64_t found = db_.QueryInt("PRAGMA user_version");
      if (found > 0 && found < kSchemaVersion) BackUp(found);  // before anything is changed
      db_.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
      Migrate();
    }
    if (version <= kSchemaVersion) {
      const std::vector<Mismatch> mismatches = FindMismatches();
      if (!mismatches.empty()) mismatch_ = MismatchStatus(mismatches).message;
    }
    return {};
  });
}

// A consistent copy of the file as it is, beside it, through SQLite's online backup.
void SqliteYard::BackUp(int64_t version) {
  CopyDatabase(db_, BackupName(path_, version));
}

// Brings an older schema up to date (after its backup copy).
void SqliteYard::Migrate() {
  if (db_.QueryInt("PRAGMA user_version") == kSchemaVersion) return;
  sql::WriteTransaction t(db_);
  // Another process may have done it meanwhile.
  const int64_t now = db_.QueryInt("PRAGMA user_version");
  if (now == kSchemaVersion) return;
  if (now <= 1) db_.Exec(kMigrateFrom1);
  if (now <= 2) db_.Exec(kMigrateFrom2);
  db_.Exec(Format("PRAGMA user_version=%lld", static_cast<long long>(kSchemaVersion)));
  t.Commit();
}

std::vector<Mismatch> SqliteYard::FindMismatches() {
  std::vector<Mismatch> found;
  sql::Statement s(db_, kMismatchQuery);
  while (s.Step()) found.push_back({s.Int(0), s.Int(1), s.Int(2)});
  return found;
}

Status SqliteYard::MismatchStatus(const std::vector<Mismatch>& mismatches) const {
  const std::string named = MismatchNames(mismatches);
  return Status::Error(
      Code::kMismatch,
      Format("在庫ファイル %s の本数が記録と合いません: %s。在庫の変更はできません。"
             "zarvel5 yard repair で記録に合わせるか、zarvel5 yard restore で控えから戻して"
             "下さい。",
             path_.c_str(), named.c_str()));
}

Status SqliteYard::Check(std::vector<Mismatch>& mismatches) {
  return Guard([&]() -> Status {
    mismatches = FindMismatches();
    mismatch_ = mismatches.empty() ? std::string() : MismatchStatus(mismatches).message;
    return mismatches.empty() ? Status{} : MismatchStatus(mismatches);
  });
}

Status SqliteYard::CheckInside() {
  {
    sql::Statement check(db_, "PRAGMA quick_check");
    if (check.Step() && check.Text(0) != "ok") throw sql::SqlError(SQLITE_CORRUPT, "quick_check");
  }
  const std::vector<Mismatch> mismatches = FindMismatches();
  if (mismatches.empty()) return {};
  const Status s = MismatchStatus(mismatches);
  mismatch_ = s.message;
  return s;
}

Status SqliteYard::BeforeChange(bool repair) {
  if (!read_only_.empty()) return Status::Error(Code::kReadOnly, read_only_);
  if (!mismatch_.empty() && !repair) return Status::Error(Code::kMismatch, mismatch_);
  return Guard([&]() -> Status {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string copy = DailyBackupName(path_, local);
    if (!fs::exists(copy)) {
      CopyDatabase(db_, copy);
      PruneBackups(path_);
    }
    return {};
  });
}

Status SqliteYard::List(const std::string& section, std::vector<Item>& items) {
  return Guard([&]() -> Status {
    items.clear();
    const bool all = section.empty();
    sql::Statement s(db_, all ? (std::string(kItemColumns) +
                                 "WHERE count > 0 ORDER BY section, offcut, length DESC, id")
                                    .c_str()
                              : (std::string(kItemColumns) + "WHERE section = ?1 AND count > 0 "
                                                             "ORDER BY offcut, length DESC, id")
                                    .c_str());
    if (!all) s.Bind(1, CanonicalSection(section));
    while (s.Step()) items.push_back(ReadItem(s));
    return Status{};
  });
}

Status SqliteYard::Sections(std::vector<std::string>& sections) {
  return Guard([&]() -> Status {
    sections.clear();
    sql::Statement s(db_, "SELECT DISTINCT section FROM items WHERE count > 0 ORDER BY section");
    while (s.Step()) sections.push_back(s.Text(0));
    return Status{};
  });
}

Status SqliteYard::Get(int64_t id, Item& item) {
  return Guard([&]() -> Status {
    sql::Statement s(db_, (std::string(kItemColumns) + "WHERE id = ?1").c_str());
    s.Bind(1, id);
    if (!s.Step())
      return Status::Error(Code::kInvalid,
                           Format("在庫 ID %lld はありません。", static_cast<long long>(id)));
    item = ReadItem(s);
    return Status{};
  });
}

int64_t SqliteYard::AddEntry(const std::string& reason, const std::string& job, int64_t undoes) {
  sql::Statement s(db_, "INSERT INTO entries(time, reason, job, undoes) VALUES(?1, ?2, ?3, ?4)");
  s.Bind(1, Now()).Bind(2, reason).Bind(3, job);
  if (undoes != 0) s.Bind(4, undoes);
  s.Run();
  return db_.LastInsertId();
}

void SqliteYard::AddMove(int64_t entry, int64_t item, int64_t delta) {
  sql::Statement update(db_, "UPDATE items SET count = count + ?2 WHERE id = ?1");
  update.Bind(1, item).Bind(2, delta).Run();
  sql::Statement move(db_, "INSERT INTO moves(entry, item, delta) VALUES(?1, ?2, ?3)");
  move.Bind(1, entry).Bind(2, item).Bind(3, delta).Run();
}

// Bars alike in every respect join the item in stock that holds them already.
int64_t SqliteYard::FindOrAddItem(const NewItem& n) {
  sql::Statement find(db_,
                      "SELECT id FROM items WHERE section = ?1 AND length = ?2 AND offcut = ?3 "
                      "AND location = ?4 AND lot = ?5 AND source = ?6 AND grade = ?7 AND count > 0 "
                      "ORDER BY id LIMIT 1");
  find.Bind(1, n.section).Bind(2, n.length).Bind(3, int64_t{n.offcut});
  find.Bind(4, n.location).Bind(5, n.lot).Bind(6, n.source).Bind(7, n.grade);
  if (find.Step()) return find.Int(0);
  sql::Statement add(
      db_,
      "INSERT INTO items(section, length, count, offcut, location, lot, source, grade) "
      "VALUES(?1, ?2, 0, ?3, ?4, ?5, ?6, ?7)");
  add.Bind(1, n.section).Bind(2, n.length).Bind(3, int64_t{n.offcut});
  add.Bind(4, n.location).Bind(5, n.lot).Bind(6, n.source).Bind(7, n.grade).Run();
  return db_.LastInsertId();
}

Status CheckNewItem(NewItem& n) {
  n.section = CanonicalSection(n.section);
  n.grade = CanonicalGrade(n.grade);
  if (n.section.empty()) return Status::Error(Code::kInvalid, "鋼材名（断面）がありません。");
  if (n.length < kMinLength || n.length > kMaxLength)
    return Status::Error(Code::kInvalid, Format("長さ %d mm は扱えません（%d〜%d mm）。", n.length,
                                                kMinLength, kMaxLength));
  if (n.count < 1 || n.count > kMaxCount)
    return Status::Error(
        Code::kInvalid, Format("本数 %lld は扱えません（1〜%lld 本）。",
                               static_cast<long long>(n.count), static_cast<long long>(kMaxCount)));
  for (const std::string* t : {&n.section, &n.location, &n.lot, &n.source, &n.grade})
    if (t->size() > kMaxTextBytes)
      return Status::Error(Code::kInvalid, Format("文字が長すぎます（%zu バイトまで）: %.40s…",
                                                  kMaxTextBytes, t->c_str()));
  return {};
}

Status SqliteYard::Apply(const Change& original, int64_t& entry) {
  if (Status s = BeforeChange(); !s) return s;
  Change change = original;
  if (Status s = CheckChange(change); !s) return s;
  return Guard([&]() -> Status {
    sql::WriteTransaction transaction(db_);
    if (Status s = CheckInside(); !s) return s;
    entry = AddEntry(change.reason, change.job, 0);
    int moves = 0;
    for (const std::string& section : change.cleared_sections) {
      sql::Statement s(db_, "SELECT id, count FROM items WHERE section = ?1 AND count > 0");
      s.Bind(1, CanonicalSection(section));
      std::vector<Move> clear;
      while (s.Step()) clear.push_back({s.Int(0), -s.Int(1)});
      for (const Move& m : clear) AddMove(entry, m.item, m.delta);
      moves += static_cast<int>(clear.size());
    }
    sql::Statement count(db_, "SELECT count FROM items WHERE id = ?1");
    for (const Take& t : change.takes) {
      count.Reset();
      count.Bind(1, t.item);
      if (!count.Step())
        return Status::Error(Code::kInvalid,
                             Format("在庫 ID %lld はありません。", static_cast<long long>(t.item)));
      const int64_t there = count.Int(0);
      if (t.expected >= 0 && there != t.expected)
        return Status::Error(Code::kChanged, kChangedMessage);
      if (there < t.count) {
        if (t.expected >= 0) return Status::Error(Code::kChanged, kChangedMessage);
        return Status::Error(Code::kInvalid,
                             Format("在庫 ID %lld は %lld 本しかありません。",
                                    static_cast<long long>(t.item), static_cast<long long>(there)));
      }
      AddMove(entry, t.item, -t.count);
      ++moves;
    }
    for (const NewItem& n : change.adds) {
      AddMove(entry, FindOrAddItem(n), n.count);
      ++moves;
    }
    if (moves == 0) return Status::Error(Code::kInvalid, "変更する在庫がありません。");
    transaction.Commit();
    return Status{};
  });
}

Status SqliteYard::History(std::vector<Entry>& entries) {
  return Guard([&]() -> Status {
    entries.clear();
    std::map<int64_t, std::size_t> at;
    sql::Statement s(db_,
                     "SELECT id, time, reason, job, coalesce(undoes, 0) FROM entries ORDER BY id");
    while (s.Step()) {
      at[s.Int(0)] = entries.size();
      entries.push_back(Entry{s.Int(0), s.Text(1), s.Text(2), s.Text(3), s.Int(4), {}});
    }
    sql::Statement m(db_, "SELECT entry, item, delta FROM moves ORDER BY rowid");
    while (m.Step()) {
      const auto found = at.find(m.Int(0));
      if (found != at.end()) entries[found->second].moves.push_back({m.Int(1), m.Int(2)});
    }
    return Status{};
  });
}

Status SqliteYard::Revision(int64_t& revision) {
  return Guard([&]() -> Status {
    revision = db_.QueryInt("SELECT coalesce(max(id), 0) FROM entries");
    return Status{};
  });
}

Status SqliteYard::Repair(const std::vector<Mismatch>& confirmed, int64_t& entry) {
  if (confirmed.empty()) return Status::Error(Code::kInvalid, "直す在庫がありません。");
  if (Status s = BeforeChange(true); !s) return s;
  return Guard([&]() -> Status {
    sql::WriteTransaction transaction(db_);
    if (FindMismatches() != confirmed) return Status::Error(Code::kChanged, kChangedMessage);
    entry = AddEntry("repair", "", 0);
    sql::Statement floor(db_, "UPDATE items SET count = 0 WHERE id = ?1 AND count < 0");
    sql::Statement move(db_, "INSERT INTO moves(entry, item, delta) VALUES(?1, ?2, ?3)");
    for (const Mismatch& m : confirmed) {
      floor.Reset();
      floor.Bind(1, m.item).Run();
      move.Reset();
      move.Bind(1, entry).Bind(2, m.item).Bind(3, std::max<int64_t>(m.count, 0) - m.ledger).Run();
    }
    if (!FindMismatches().empty())
      return Status::Error(Code::kFailed, "在庫を記録に合わせられませんでした。");
    transaction.Commit();
    mismatch_.clear();
    return Status{};
  });
}

Status SqliteYard::Load(const std::vector<Item>& items, const std::vector<Entry>& entries,
                        bool replace) {
  if (Status s = BeforeChange(true); !s) return s;
  return Guard([&]() -> Status {
    sql::WriteTransaction transaction(db_);
    const int64_t held =
        db_.QueryInt("SELECT count(*) FROM items") + db_.QueryInt("SELECT count(*) FROM entries");
    if (held > 0 && !replace)
      return Status::Error(Code::kRefused,
                           Format("コピー先の在庫 %s は空ではありません。置き換えるときは "
                                  "--replace を付けて下さい。",
                                  path_.c_str()));
    if (held > 0) {
      // The tables made anew: their rows go without their triggers, which guard each row.
      db_.Exec("DROP TABLE moves; DROP TABLE entries; DROP TABLE items;");
      db_.Exec(kSchema);
    }
    sql::Statement item(db_,
                        "INSERT INTO items(id, section, length, count, offcut, location, lot, "
                        "source, grade) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    for (const Item& i : items) {
      item.Reset();
      item.Bind(1, i.id).Bind(2, i.section).Bind(3, i.length).Bind(4, i.count);
      item.Bind(5, int64_t{i.offcut}).Bind(6, i.location).Bind(7, i.lot).Bind(8, i.source);
      item.Bind(9, i.grade).Run();
    }
    sql::Statement entry(
        db_, "INSERT INTO entries(id, time, reason, job, undoes) VALUES(?1, ?2, ?3, ?4, ?5)");
    sql::Statement move(db_, "INSERT INTO moves(entry, item, delta) VALUES(?1, ?2, ?3)");
    for (const Entry& e : entries) {
      entry.Reset();
      entry.Bind(1, e.id).Bind(2, e.time).Bind(3, e.reason).Bind(4, e.job);
      if (e.undoes != 0) entry.Bind(5, e.undoes);
      entry.Run();
      for (const Move& m : e.moves) {
        move.Reset();
        move.Bind(1, e.id).Bind(2, m.item).Bind(3, m.delta).Run();
      }
    }
    transaction.Commit();
    mismatch_.clear();
    return Status{};
  });
}

Status SqliteYard::Undo(int64_t id, int64_t& undo_entry) {
  if (Status s = BeforeChange(); !s) return s;
  return Guard([&]() -> Status {
    sql::WriteTransaction transaction(db_);
    if (Status s = CheckInside(); !s) return s;
    sql::Statement e(db_, "SELECT reason, job FROM entries WHERE id = ?1");
    e.Bind(1, id);
    const auto number = static_cast<long long>(id);
    if (!e.Step()) return Status::Error(Code::kInvalid, Format("記録 %lld はありません。", number));
    const std::string reason = e.Text(0), job = e.Text(1);
    if (reason == "undo")
      return Status::Error(Code::kRefused,
                           Format("記録 %lld は取り消しの記録なので、取り消せません。", number));
    sql::Statement undone(db_, "SELECT id FROM entries WHERE undoes = ?1");
    undone.Bind(1, id);
    if (undone.Step())
      return Status::Error(Code::kRefused, Format("記録 %lld は取り消し済みです（記録 %lld）。",
                                                  number, static_cast<long long>(undone.Int(0))));
    std::vector<Move> moves;
    sql::Statement m(db_,
                     "SELECT moves.item, moves.delta, items.count FROM moves JOIN items ON "
                     "items.id = moves.item WHERE moves.entry = ?1 ORDER BY moves.rowid");
    m.Bind(1, id);
    std::map<int64_t, int64_t> added;  // per item: what the entry added in all, and its count
    std::map<int64_t, int64_t> count;
    while (m.Step()) {
      moves.push_back({m.Int(0), -m.Int(1)});
      added[m.Int(0)] += m.Int(1);
      count[m.Int(0)] = m.Int(2);
    }
    for (const auto& [item, delta] : added) {
      if (count[item] < delta) {
        return Status::Error(Code::kRefused,
                             Format("記録 %lld で加えた在庫 ID %lld がその後使われたため、"
                                    "取り消せません。",
                                    number, static_cast<long long>(item)));
      }
    }
    undo_entry = AddEntry("undo", job, id);
    for (const Move& move : moves) AddMove(undo_entry, move.item, move.delta);
    transaction.Commit();
    return Status{};
  });
}

Status SqliteYard::SetPlace(int64_t id, const std::string& location, const std::string& lot) {
  if (Status s = BeforeChange(); !s) return s;
  if (location.size() > kMaxTextBytes || lot.size() > kMaxTextBytes)
    return Status::Error(Code::kInvalid,
                         Format("文字が長すぎます（%zu バイトまで）。", kMaxTextBytes));
  return Guard([&]() -> Status {
    sql::WriteTransaction transaction(db_);
    sql::Statement s(db_, "UPDATE items SET location = ?2, lot = ?3 WHERE id = ?1");
    s.Bind(1, id).Bind(2, location).Bind(3, lot).Run();
    if (sqlite3_changes(db_.Handle()) == 0)
      return Status::Error(Code::kInvalid,
                           Format("在庫 ID %lld はありません。", static_cast<long long>(id)));
    transaction.Commit();
    return Status{};
  });
}

}  // namespace

std::string MismatchNames(const std::vector<Mismatch>& mismatches) {
  std::string named;
  for (std::size_t i = 0; i < mismatches.size() && i < kNamedMismatches; ++i)
    named += Format("%s在庫 ID %lld（%lld 本、記録では %lld 本）", i == 0 ? "" : "、",
                    static_cast<long long>(mismatches[i].item),
                    static_cast<long long>(mismatches[i].count),
                    static_cast<long long>(mismatches[i].ledger));
  if (mismatches.size() > kNamedMismatches)
    named += Format(" ほか %zu 件", mismatches.size() - kNamedMismatches);
  return named;
}

Status CheckChange(Change& change) {
  for (NewItem& n : change.adds)
    if (Status s = CheckNewItem(n); !s) return s;
  for (const Take& t : change.takes)
    if (t.count < 1 || t.count > kMaxCount)
      return Status::Error(Code::kInvalid, Format("本数 %lld は扱えません（1〜%lld 本）。",
                                                  static_cast<long long>(t.count),
                                                  static_cast<long long>(kMaxCount)));
  return {};
}

std::string NowUtc() {
  return Now();
}

std::string CanonicalSection(const std::string& section) {
  const std::string folded = base::FoldAllBlanks(section, base::Encoding::kUtf8);
  const catalog::Recognised r = catalog::Recognise(folded);
  return r.section != nullptr ? r.section->name : folded;
}

std::string YardPath(const std::string& explicit_path) {
  if (!explicit_path.empty()) return explicit_path;
  if (const char* env = std::getenv("ZARVEL5_YARD"); env != nullptr && *env != '\0') return env;
  std::string base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : ".") + "/.local/share";
  }
  return base + "/VADAVAVUR/Zarvel5/yard.sqlite";
}

std::unique_ptr<Yard> OpenYard(const std::string& path, Status& status,
                               const OpenOptions& options) {
  if (IsServerPlace(path)) return OpenServerYard(path, status, options);
  auto yard = std::make_unique<SqliteYard>(path, options);
  status = yard->Open();
  if (!status) return nullptr;
  return yard;
}

Status BackUpYard(const std::string& path, const std::string& copy, const OpenOptions& options) {
  OpenOptions reading = options;
  reading.allow_network_file = true;  // a copy may always be taken
  SqliteYard yard(path, reading);
  yard.OnlyRead();
  if (Status s = yard.Open(); !s) return s;
  return yard.CopyTo(copy);
}

Status RestoreYard(const std::string& path, const std::string& copy, int64_t& entry,
                   std::string& saved, const OpenOptions& options) {
  saved.clear();
  if (const std::string network = NetworkFilesystem(path, options); !network.empty())
    return Status::Error(Code::kNetwork, NetworkMessage(path, network));
  // The copy must be a sound yard of a version this program knows.
  {
    struct stat st {};
    if (::stat(copy.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      return Status::Error(Code::kInvalid,
                           Format("控えのファイル %s がありません。", copy.c_str()));
    OpenOptions reading = options;
    reading.allow_network_file = true;
    SqliteYard source(copy, reading);
    source.OnlyRead();
    std::vector<Mismatch> mismatches;
    Status s = source.Open();
    if (s && !source.ReadOnlyReason().empty() &&
        source.ReadOnlyReason().find("新しい版") != std::string::npos)
      s = Status::Error(Code::kForeign, source.ReadOnlyReason());
    if (s) s = source.Check(mismatches);
    if (!s)
      return Status::Error(
          s.code == Code::kBusy ? Code::kBusy : Code::kInvalid,
          Format("控えのファイル %s からは戻せません: %s", copy.c_str(), s.message.c_str()));
  }
  // The yard as it was, kept beside it: through SQLite when it still opens, else byte for byte.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && st.st_size > 0) {
    saved = TimedBackupName(path);
    SqliteYard current(path, options);
    current.OnlyRead();
    Status s = current.Open();
    if (s) s = current.CopyTo(saved);
    if (!s) {
      if (s.code == Code::kBusy || s.code == Code::kCancelled || s.code == Code::kDiskFull)
        return s;
      std::error_code ec;
      fs::copy_file(path, saved, ec);
      if (ec)
        return Status::Error(Code::kFailed, Format("在庫ファイル %s の控えを作れません（%s）。",
                                                   path.c_str(), saved.c_str()));
    }
  }
  // The copy's pages into the yard's file under SQLite's locks; a file SQLite cannot open as a
  // database is replaced whole.
  try {
    sql::Database from;
    from.Open(copy, SQLITE_OPEN_READONLY);
    bool copied = false;
    try {
      sql::Database to;
      to.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
      sqlite3_busy_timeout(to.Handle(), kBusySteps * kBusyStepMilliseconds);
      to.QueryInt("SELECT count(*) FROM sqlite_master");
      sqlite3_backup* backup = sqlite3_backup_init(to.Handle(), "main", from.Handle(), "main");
      if (backup == nullptr) to.Check(sqlite3_errcode(to.Handle()));
      sqlite3_backup_step(backup, -1);
      to.Check(sqlite3_backup_finish(backup));
      copied = true;
    } catch (const sql::SqlError& e) {
      if (e.Code() != SQLITE_NOTADB && e.Code() != SQLITE_CORRUPT) throw;
    }
    if (!copied) {
      std::error_code ec;
      for (const char* extra : {"-wal", "-shm"}) fs::remove(path + extra, ec);
      const std::string temporary = path + Format(".%d.restore", static_cast<int>(::getpid()));
      fs::remove(temporary, ec);
      CopyDatabase(from, temporary);
      fs::rename(temporary, path, ec);
      if (ec) {
        fs::remove(temporary, ec);
        return Status::Error(Code::kFailed,
                             Format("在庫ファイル %s を置き換えられません。", path.c_str()));
      }
    }
  } catch (const sql::SqlError& e) {
    return FromSql(e, path);
  }
  SqliteYard restored(path, options);
  if (Status s = restored.Open(); !s) return s;
  return restored.NoteRestore(copy, entry);
}

const char* StatusName(Status::Code code) {
  switch (code) {
    case Code::kOk:
      return "ok";
    case Code::kChanged:
      return "yard-changed";
    case Code::kInvalid:
      return "yard-invalid";
    case Code::kRefused:
      return "yard-refused";
    case Code::kReadOnly:
      return "yard-read-only";
    case Code::kBusy:
      return "yard-busy";
    case Code::kDamaged:
      return "yard-damaged";
    case Code::kForeign:
      return "yard-foreign";
    case Code::kFailed:
      return "yard-failed";
    case Code::kMismatch:
      return "yard-mismatch";
    case Code::kDiskFull:
      return "yard-disk-full";
    case Code::kNetwork:
      return "yard-network-file";
    case Code::kCancelled:
      return "yard-cancelled";
  }
  return "yard-failed";
}

std::string LocalTimeText(const std::string& utc) {
  std::tm tm{};
  const char* end = strptime(utc.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm);
  if (end == nullptr || *end != '\0') return utc;
  const std::time_t t = timegm(&tm);
  std::tm local{};
  localtime_r(&t, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
  return buffer;
}

std::string CanonicalGrade(const std::string& grade) {
  std::string g = base::FoldAllBlanks(grade, base::Encoding::kUtf8);
  for (char& c : g)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return g;
}

std::string ReasonText(const std::string& reason) {
  static const std::pair<const char*, const char*> names[] = {{"add", "追加"},
                                                              {"take", "取り出し"},
                                                              {"import", "取り込み"},
                                                              {"commit", "計画の確定"},
                                                              {"undo", "取り消し"},
                                                              {"repair", "修復"},
                                                              {"restore", "控えから復元"}};
  for (const auto& [code, text] : names)
    if (reason == code) return text;
  return reason;
}

}  // namespace zarvel::yard
