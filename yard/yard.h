// The yard: stock bars and offcuts kept between jobs, and the ledger of every change to them.
//
// Items carry their count; every change is one ledger entry with its moves (item, delta), so an
// item's count always equals the sum of its moves. Entries are never changed or deleted: a
// commit is undone by a new entry with the opposite moves.
//
// One small interface, so that a shared server database can stand in for the file later.
// Texts here (sections, locations, messages) are UTF-8, as the database and the section table
// hold them; callers holding CP932 convert at the call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct statfs;

namespace zarvel::yard {

// Limits of what the yard accepts: lengths a stock cell can hold, counts a plan can use.
inline constexpr int32_t kMinLength = 2;
inline constexpr int32_t kMaxLength = 99998;
inline constexpr int64_t kMaxCount = 99999;
inline constexpr std::size_t kMaxTextBytes = 200;

struct Status {
  enum class Code {
    kOk,
    kChanged,    // the counts a commit relied on are no longer there
    kInvalid,    // a value out of range, an unknown id
    kRefused,    // not allowed as the yard stands (an undo whose offcuts were used)
    kReadOnly,   // the file cannot be written
    kBusy,       // another program held the file too long
    kDamaged,    // not a database, or a damaged one (an empty or cut file too)
    kForeign,    // a database of another program, or of a newer version of this one
    kFailed,     // anything else SQLite or the system reports
    kMismatch,   // some count is not the sum of its ledger moves: changes wait for a repair
    kDiskFull,   // the disk (or the user's quota) is full
    kNetwork,    // the file lies on a network filesystem, where SQLite's locks do not hold
    kCancelled,  // the user stopped waiting for a busy file or a slow server
  };
  Code code = Code::kOk;
  std::string message;  // UTF-8, for the user; empty when ok

  bool Ok() const { return code == Code::kOk; }
  explicit operator bool() const { return Ok(); }
  static Status Error(Code code, std::string message) { return {code, std::move(message)}; }
};

// The message of a commit whose bars another commit took meanwhile.
inline constexpr const char* kChangedMessage = "在庫が変わりました。もう一度計算して下さい。";

struct Item {
  int64_t id = 0;
  std::string section;  // canonical name when the section table knows it
  int32_t length = 0;   // mm
  int64_t count = 0;
  bool offcut = false;  // a measured remnant; else standard stock
  std::string location;
  std::string lot;     // lot or heat number
  std::string source;  // "購入", or the job, pattern and date whose remnant it is
  std::string grade;   // steel grade ("SS400"); empty when not known
};

// The status's name in JSON outputs ("yard-busy", "yard-damaged", ...).
const char* StatusName(Status::Code code);

struct Move {
  int64_t item = 0;
  int64_t delta = 0;
};

struct Entry {
  int64_t id = 0;
  std::string time;    // UTC, "2026-12-07T15:30:00Z"
  std::string reason;  // "add", "take", "import", "commit", "undo", "repair", "restore"
  std::string job;     // the job file of a commit (and of its undo); may be empty
  int64_t undoes = 0;  // the entry an undo reverses
  std::vector<Move> moves;
};

// An entry's reason as a user reads it: 追加, 取り出し, 取り込み, 計画の確定, 取り消し, 修復,
// 控えから復元 (UTF-8); a reason of another program's making as it stands.
std::string ReasonText(const std::string& reason);

// A stored UTC time ("2026-12-07T15:30:00Z") as local time ("2026-12-08 00:30"); a text that is
// not such a time as it stands.
std::string LocalTimeText(const std::string& utc);

// Bars of an item taken away. `expected`, when not negative, is the count the caller saw: the
// change is refused with kChanged when the item holds another count by now.
struct Take {
  int64_t item = 0;
  int64_t count = 0;
  int64_t expected = -1;
};

struct NewItem {
  std::string section;
  int32_t length = 0;
  int64_t count = 0;
  bool offcut = false;
  std::string location;
  std::string lot;
  std::string source;
  std::string grade;
};

// An item whose count is not the sum of its ledger moves (the file was changed behind the
// yard's back, or damaged).
struct Mismatch {
  int64_t item = 0;
  int64_t count = 0;   // in the file
  int64_t ledger = 0;  // the sum of its moves
  bool operator==(const Mismatch&) const = default;
};

// One change, applied in one transaction or not at all.
struct Change {
  std::string reason;
  std::string job;
  std::vector<std::string> cleared_sections;  // every item of these goes to 0 first (import)
  std::vector<Take> takes;
  std::vector<NewItem> adds;
};

class Yard {
 public:
  virtual ~Yard() = default;
  // Why changes are refused (read-only file, newer version, counts that do not match the
  // ledger); empty when they are allowed.
  virtual const std::string& ReadOnlyReason() const = 0;
  // Items with a count above 0: of one section (any spelling), or of all when it is empty; by
  // section, offcut after standard, length descending, id.
  virtual Status List(const std::string& section, std::vector<Item>& items) = 0;
  // Every section with items in stock, sorted.
  virtual Status Sections(std::vector<std::string>& sections) = 0;
  virtual Status Get(int64_t id, Item& item) = 0;
  virtual Status Apply(const Change& change, int64_t& entry) = 0;
  // The ledger, oldest first.
  virtual Status History(std::vector<Entry>& entries) = 0;
  // Reverses an entry by a new one; refused when it was undone already, is itself an undo, or
  // added items whose bars were used since.
  virtual Status Undo(int64_t entry, int64_t& undo_entry) = 0;
  // Changes where an item lies and its lot (no count changes, so no ledger entry).
  virtual Status SetPlace(int64_t id, const std::string& location, const std::string& lot) = 0;
  // The yard's revision: raised by every change of counts (each is a ledger entry), so a plan
  // made from the yard can tell whether what it was made from still stands. 0 for a new yard.
  virtual Status Revision(int64_t& revision) = 0;
  // The yard's own rule, every count equals the sum of its ledger moves, checked over the
  // whole yard: kMismatch naming the items, with `mismatches`. Opening and every change check
  // it; while it fails, changes are refused (kMismatch) until a repair.
  virtual Status Check(std::vector<Mismatch>& mismatches) = 0;
  // A correcting entry ("repair") for mismatches the user confirmed: each item's count as it
  // stands becomes its ledger's (a count below 0 becomes 0). kChanged when they are no longer
  // what the yard finds.
  virtual Status Repair(const std::vector<Mismatch>& confirmed, int64_t& entry) = 0;
  // The yard made a copy of another: its items (every one, with its id) and its ledger as they
  // stand, in one transaction. Refused for a yard that holds anything unless `replace`.
  virtual Status Load(const std::vector<Item>& items, const std::vector<Entry>& entries,
                      bool replace) = 0;
};

// The yard's file: `explicit_path` (--yard) when given, else $ZARVEL5_YARD, else
// $XDG_DATA_HOME/VADAVAVUR/Zarvel5/yard.sqlite (~/.local/share when XDG_DATA_HOME is unset).
std::string YardPath(const std::string& explicit_path = {});

// How a yard file is opened. `statfs` stands in for the system's in tests.
struct OpenOptions {
  bool allow_network_file = false;  // a yard on a network filesystem opens for reading only
  std::function<int(const char*, struct ::statfs*)> statfs;
  // Called once when the file is busy, or the yard's server is slow to answer a connection, and
  // the call starts to wait; `what` tells what is waited for (UTF-8, a line for the user).
  // Answers whether to keep waiting (false cancels: kCancelled).
  std::function<bool(const std::string& what)> waiting;
  // Called on every wait step (about 50 ms) after the first; false cancels.
  std::function<bool()> keep_waiting;
  // Called when a call that waited returns, whether the file came free or not.
  std::function<void()> waited;
};

// Opens the yard file, making it (and its folder) only when it does not exist: an empty or cut
// file is reported, never made into a new yard. A file that is not this program's yard is left
// byte for byte as it was, with a message in `status`; a file that cannot be written opens for
// reading only (ReadOnlyReason). An older schema is migrated after a backup copy beside it
// ("yard.sqlite.v1.bak"). Before the first change of each day the file is copied beside itself
// ("yard.sqlite.2026-12-07.bak"; the last 14 kept). A file on a network filesystem is refused
// (kNetwork), or read only with allow_network_file.
std::unique_ptr<Yard> OpenYard(const std::string& path, Status& status,
                               const OpenOptions& options = {});

// The name a section is stored under: the section table's canonical name when it recognises
// the text, else the text with its blanks trimmed and folded ("IPE 300").
std::string CanonicalSection(const std::string& section);
// The name a grade is stored under: blanks folded, ASCII letters in capitals ("SN490B").
std::string CanonicalGrade(const std::string& grade);

}  // namespace zarvel::yard
