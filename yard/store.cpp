// The yard in one SQLite file: WAL, full sync, one connection per process with a busy timeout,
// every change in one BEGIN IMMEDIATE transaction, the schema version in PRAGMA user_version.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/format.h"
#include "base/outside_text.h"
#include "catalog/sections.h"
#include "yard/pg_store.h"
#include "yard/sqlite.h"
#include "yard/yard.h"

namespace zarvel::yard {
namespace {

namespace fs = std::filesystem;
using Code = Status::Code;
using base::Format;

constexpr int64_t kApplicationId = 0x5a563559;  // "ZV5Y": this program's yard
constexpr int64_t kSchemaVersion = 2;
constexpr int kBusyMilliseconds = 10000;

// Version 1 lacked the undo link and kept a plain index; version 2 is the schema below.
constexpr const char* kSchema = R"sql(
CREATE TABLE items(
  id INTEGER PRIMARY KEY,
  section TEXT NOT NULL,
  length INTEGER NOT NULL CHECK (length > 0),
  count INTEGER NOT NULL CHECK (count >= 0),
  offcut INTEGER NOT NULL DEFAULT 0,
  location TEXT NOT NULL DEFAULT '',
  lot TEXT NOT NULL DEFAULT '',
  source TEXT NOT NULL DEFAULT '');
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
CREATE INDEX moves_by_item ON moves(item);
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

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buffer;
}

Status FromSql(const sql::SqlError& e, const std::string& path) {
  switch (e.Code()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Status::Error(Code::kBusy,
                           "在庫ファイルが他の処理で使用中です。しばらくしてから、"
                           "もう一度実行して下さい。");
    case SQLITE_READONLY:
      return Status::Error(
          Code::kReadOnly,
          Format("在庫ファイル %s に書き込めません（読み取り専用）。", path.c_str()));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Status::Error(
          Code::kDamaged, Format("在庫ファイル %s は壊れています（%s）。", path.c_str(), e.what()));
    case SQLITE_CONSTRAINT:  // the schema's own guards (counts never below 0)
      return Status::Error(Code::kRefused, Format("在庫を変更できません（%s）。", e.what()));
    default:
      return Status::Error(Code::kFailed,
                           Format("在庫ファイル %s を扱えません（%s）。", path.c_str(), e.what()));
  }
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

// A file without write permission is read-only for everyone (the superuser too); WAL also needs
// to make its files in the folder.
bool Writable(const std::string& path, const struct stat& st) {
  const fs::path folder = fs::absolute(path).parent_path();
  return (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0 &&
         ::access(folder.c_str(), W_OK) == 0;
}

// A free name beside the file for the copy kept before a migration.
std::string BackupName(const std::string& path, int64_t version) {
  std::string name = path + Format(".v%lld.bak", static_cast<long long>(version));
  for (int n = 2; fs::exists(name); ++n)
    name = path + Format(".v%lld-%d.bak", static_cast<long long>(version), n);
  return name;
}

class SqliteYard final : public Yard {
 public:
  explicit SqliteYard(std::string path) : path_(std::move(path)) {}

  Status Open();
  const std::string& ReadOnlyReason() const override { return read_only_; }
  Status List(const std::string& section, std::vector<Item>& items) override;
  Status Sections(std::vector<std::string>& sections) override;
  Status Get(int64_t id, Item& item) override;
  Status Apply(const Change& change, int64_t& entry) override;
  Status History(std::vector<Entry>& entries) override;
  Status Undo(int64_t entry, int64_t& undo_entry) override;
  Status SetPlace(int64_t id, const std::string& location, const std::string& lot) override;
  Status Revision(int64_t& revision) override;

 private:
  // Runs `work`, turning SQLite's failures into a status.
  template <class Work>
  Status Guard(Work&& work) {
    try {
      return work();
    } catch (const sql::SqlError& e) {
      return FromSql(e, path_);
    }
  }
  Status CheckWritable() const {
    return read_only_.empty() ? Status{} : Status::Error(Code::kReadOnly, read_only_);
  }
  Status Inspect(int64_t& version);
  void OpenForReading();
  void BackUp(int64_t version);
  void Migrate();
  int64_t AddEntry(const std::string& reason, const std::string& job, int64_t undoes);
  void AddMove(int64_t entry, int64_t item, int64_t delta);
  int64_t FindOrAddItem(const NewItem& item);
  static Item ReadItem(const sql::Statement& s);

  std::string path_;
  std::string read_only_;
  sql::Database db_;
};

constexpr const char* kItemColumns =
    "SELECT id, section, length, count, offcut, location, lot, source FROM items ";

Item SqliteYard::ReadItem(const sql::Statement& s) {
  return Item{s.Int(0),  s.Text(1),     static_cast<int32_t>(s.Int(2)),
              s.Int(3),  s.Int(4) != 0, s.Text(5),
              s.Text(6), s.Text(7)};
}

// Looks at an existing file without writing to it: whose database it is, and its version.
Status SqliteYard::Inspect(int64_t& version) {
  {
    std::ifstream in(path_, std::ios::binary);
    char header[16] = {};
    in.read(header, sizeof header);
    if (!in || std::string(header, 16) != std::string("SQLite format 3\0", 16)) {
      return Status::Error(Code::kDamaged,
                           Format("%s は在庫ファイルとして読めません（データベースではないか、"
                                  "壊れています）。ファイルはそのままにしてあります。",
                                  path_.c_str()));
    }
  }
  OpenForReading();
  const int64_t application = db_.QueryInt("PRAGMA application_id");
  version = db_.QueryInt("PRAGMA user_version");
  const int64_t objects = db_.QueryInt("SELECT count(*) FROM sqlite_master");
  if (application == 0 && version == 0 && objects == 0) return {};  // an empty database
  if (application != kApplicationId) {
    return Status::Error(Code::kForeign, Format("%s はこのプログラムの在庫ファイルではありません。"
                                                "ファイルはそのままにしてあります。",
                                                path_.c_str()));
  }
  sql::Statement check(db_, "PRAGMA quick_check");
  if (check.Step() && check.Text(0) != "ok") {
    return Status::Error(Code::kDamaged, Format("在庫ファイル %s は壊れています（%s）。"
                                                "ファイルはそのままにしてあります。",
                                                path_.c_str(), check.Text(0).c_str()));
  }
  return {};
}

// Read-only; in a folder where WAL's shared-memory file cannot be made, as an immutable file.
void SqliteYard::OpenForReading() {
  db_.Open(path_, SQLITE_OPEN_READONLY);
  db_.Check(sqlite3_busy_timeout(db_.Handle(), kBusyMilliseconds));
  try {
    db_.QueryInt("SELECT count(*) FROM sqlite_master");
  } catch (const sql::SqlError& e) {
    if (e.Code() == SQLITE_NOTADB || e.Code() == SQLITE_CORRUPT) throw;
    db_.Open(FileUri(path_) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  }
}

Status SqliteYard::Open() {
  return Guard([&]() -> Status {
    struct stat st {};
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
      return Status::Error(Code::kInvalid, Format("%s はファイルではありません。", path_.c_str()));
    int64_t version = 0;
    if (exists && st.st_size > 0) {
      if (Status s = Inspect(version); !s) return s;
    } else {
      std::error_code ec;
      fs::create_directories(fs::absolute(path_).parent_path(), ec);
      if (ec)
        return Status::Error(Code::kFailed, Format("在庫ファイルのフォルダを作れません（%s）。",
                                                   ec.message().c_str()));
    }
    if (version > kSchemaVersion) {
      read_only_ = Format(
          "在庫ファイル %s は新しい版のプログラムのもの（版 %lld）なので、"
          "変更できません。",
          path_.c_str(), static_cast<long long>(version));
      return {};
    }
    if (exists && st.st_size > 0 && !Writable(path_, st)) {
      read_only_ = Format("在庫ファイル %s に書き込めません（読み取り専用）。", path_.c_str());
      return {};
    }
    db_.Open(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db_.Check(sqlite3_busy_timeout(db_.Handle(), kBusyMilliseconds));
    const int64_t found = db_.QueryInt("PRAGMA user_version");
    if (found > 0 && found < kSchemaVersion) BackUp(found);  // before anything is changed
    db_.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
    Migrate();
    return {};
  });
}

// A consistent copy of the file as it is, beside it, through SQLite's online backup.
void SqliteYard::BackUp(int64_t version) {
  sql::Database copy;
  copy.Open(BackupName(path_, version), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  sqlite3_backup* backup = sqlite3_backup_init(copy.Handle(), "main", db_.Handle(), "main");
  if (backup == nullptr) copy.Check(sqlite3_errcode(copy.Handle()));
  sqlite3_backup_step(backup, -1);
  copy.Check(sqlite3_backup_finish(backup));
}

// Makes the schema in a new file, or brings an older one up to date after a backup copy.
void SqliteYard::Migrate() {
  if (db_.QueryInt("PRAGMA user_version") == kSchemaVersion) return;
  sql::WriteTransaction t(db_);
  // Another process may have done it meanwhile.
  const int64_t now = db_.QueryInt("PRAGMA user_version");
  if (now == 0) {
    db_.Exec(kSchema);
    db_.Exec(Format("PRAGMA application_id=%lld", static_cast<long long>(kApplicationId)));
  } else if (now == 1) {
    db_.Exec(kMigrateFrom1);
  }
  db_.Exec(Format("PRAGMA user_version=%lld", static_cast<long long>(kSchemaVersion)));
  t.Commit();
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
  sql::Statement find(
      db_,
      "SELECT id FROM items WHERE section = ?1 AND length = ?2 AND offcut = ?3 "
      "AND location = ?4 AND lot = ?5 AND source = ?6 AND count > 0 ORDER BY id LIMIT 1");
  find.Bind(1, n.section).Bind(2, n.length).Bind(3, int64_t{n.offcut});
  find.Bind(4, n.location).Bind(5, n.lot).Bind(6, n.source);
  if (find.Step()) return find.Int(0);
  sql::Statement add(db_,
                     "INSERT INTO items(section, length, count, offcut, location, lot, source) "
                     "VALUES(?1, ?2, 0, ?3, ?4, ?5, ?6)");
  add.Bind(1, n.section).Bind(2, n.length).Bind(3, int64_t{n.offcut});
  add.Bind(4, n.location).Bind(5, n.lot).Bind(6, n.source).Run();
  return db_.LastInsertId();
}

Status CheckNewItem(NewItem& n) {
  n.section = CanonicalSection(n.section);
  if (n.section.empty()) return Status::Error(Code::kInvalid, "鋼材名（断面）がありません。");
  if (n.length < kMinLength || n.length > kMaxLength)
    return Status::Error(Code::kInvalid, Format("長さ %d mm は扱えません（%d〜%d mm）。", n.length,
                                                kMinLength, kMaxLength));
  if (n.count < 1 || n.count > kMaxCount)
    return Status::Error(
        Code::kInvalid, Format("本数 %lld は扱えません（1〜%lld 本）。",
                               static_cast<long long>(n.count), static_cast<long long>(kMaxCount)));
  for (const std::string* t : {&n.section, &n.location, &n.lot, &n.source})
    if (t->size() > kMaxTextBytes)
      return Status::Error(Code::kInvalid, Format("文字が長すぎます（%zu バイトまで）: %.40s…",
                                                  kMaxTextBytes, t->c_str()));
  return {};
}

Status SqliteYard::Apply(const Change& original, int64_t& entry) {
  if (Status s = CheckWritable(); !s) return s;
  Change change = original;
  if (Status s = CheckChange(change); !s) return s;
  return Guard([&]() -> Status {
    sql::WriteTransaction transaction(db_);
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

Status SqliteYard::Undo(int64_t id, int64_t& undo_entry) {
  if (Status s = CheckWritable(); !s) return s;
  return Guard([&]() -> Status {
    sql::WriteTransaction transaction(db_);
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
  if (Status s = CheckWritable(); !s) return s;
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

std::unique_ptr<Yard> OpenYard(const std::string& path, Status& status) {
  if (IsServerPlace(path)) return OpenServerYard(path, status);
  auto yard = std::make_unique<SqliteYard>(path);
  status = yard->Open();
  if (!status) return nullptr;
  return yard;
}

std::string ReasonText(const std::string& reason) {
  static const std::pair<const char*, const char*> names[] = {{"add", "追加"},
                                                              {"take", "取り出し"},
                                                              {"import", "取り込み"},
                                                              {"commit", "計画の確定"},
                                                              {"undo", "取り消し"}};
  for (const auto& [code, text] : names)
    if (reason == code) return text;
  return reason;
}

}  // namespace zarvel::yard
