#include "cli/yard_command.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "catalog/sections.h"
#include "job/job_form.h"
#include "job/safe_file.h"
#include "job/settings.h"
#include "session/yard_session.h"
#include "yard/history.h"
#include "yard/pg_store.h"
#include "yard/sqlite_file.h"
#include "yard/stock_csv.h"

namespace zarvel::cli {

using yard::Status;

const char* const kYardUsage =
    "使い方: zarvel5 yard [--yard FILE] list [鋼材名] [--json|--csv]\n"
    "        zarvel5 yard [--yard FILE] add 鋼材名 長さ 本数 [--offcut] [--location 置場] [--lot "
    "ロット] [--grade 材質]\n"
    "        zarvel5 yard [--yard FILE] take ID 本数\n"
    "        zarvel5 yard [--yard FILE] history [--json]\n"
    "        zarvel5 yard [--yard FILE] undo 記録番号\n"
    "        zarvel5 yard [--yard FILE] import CSV [--replace]\n"
    "        zarvel5 yard [--yard FILE] check [--json]\n"
    "        zarvel5 yard [--yard FILE] repair [--yes]\n"
    "        zarvel5 yard [--yard FILE] backup [控えのファイル]\n"
    "        zarvel5 yard [--yard FILE] restore 控えのファイル\n"
    "        zarvel5 yard copy 元の在庫 先の在庫 [--replace]\n"
    "        zarvel5 plan JOB.zv5 --from-yard [--yard FILE] [--section 鋼材名] [--commit] [--keep "
    "MM]\n"
    "在庫ファイルは --yard、環境変数 ZARVEL5_YARD、"
    "$XDG_DATA_HOME/VADAVAVUR/Zarvel5/yard.sqlite の順に決まります。\n"
    "在庫サーバー（PostgreSQL）は postgresql://ユーザー@サーバー:ポート/データベース で指定します"
    "（パスワードは ~/.pgpass か PGPASSWORD）。\n"
    "ネットワーク上のフォルダにある在庫ファイルは、--allow-network-file を付けたときだけ"
    "読めます（変更はできません）。\n";

namespace {

using Code = Status::Code;

int Usage(std::ostream& err, const std::string& why = {}) {
  if (!why.empty()) err << "zarvel5 yard: " << why << "\n";
  err << kYardUsage;
  return kExitUsage;
}

int Fail(std::ostream& err, const Status& s) {
  err << "zarvel5 yard: " << s.message << "\n";
  return YardExitCode(s);
}
int Fail(std::ostream& err, const base::Error& e) {
  err << "zarvel5 yard: " << e.message << "\n";
  return ExitCode(e);
}

// Refused: the message on err, and with --json the object on out too.
int Refuse(std::ostream& out, std::ostream& err, const Status& s, bool json) {
  if (json) out << YardStatusJson(s);
  return Fail(err, s);
}
int Refuse(std::ostream& out, std::ostream& err, const base::Error& e, bool json) {
  if (json) out << ErrorJson(e);
  return Fail(err, e);
}

// A whole number within [low, high]; false with a message naming `what`.
bool WholeNumber(const std::string& text, int64_t low, int64_t high, const char* what,
                 int64_t& value, std::string& message) {
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || at != end || text.empty() || value < low || value > high) {
    message = base::Format("%sは %lld〜%lld の整数で指定して下さい（「%s」）。", what,
                           static_cast<long long>(low), static_cast<long long>(high), text.c_str());
    return false;
  }
  return true;
}

std::string ItemJson(const yard::Item& i) {
  return base::Format("{\"id\": %lld, \"section\": ", static_cast<long long>(i.id)) +
         base::JsonString(i.section) + ", \"grade\": " + base::JsonString(i.grade) +
         base::Format(", \"length\": %d, \"count\": %lld, \"offcut\": %s, \"location\": ", i.length,
                      static_cast<long long>(i.count), i.offcut ? "true" : "false") +
         base::JsonString(i.location) + ", \"lot\": " + base::JsonString(i.lot) +
         ", \"source\": " + base::JsonString(i.source) + "}";
}

std::string ItemsText(const std::vector<yard::Item>& items) {
  if (items.empty()) return "在庫はありません。\n";
  std::string t = "     ID  鋼材名 / 長さ × 本数  種別  置場  ロット  由来\n";
  for (const yard::Item& i : items) {
    t += base::Format("%7lld  %s%s%s / %d × %lld  %s", static_cast<long long>(i.id),
                      i.section.c_str(), i.grade.empty() ? "" : " ", i.grade.c_str(), i.length,
                      static_cast<long long>(i.count), i.offcut ? "端材" : "定尺");
    t += "  " + (i.location.empty() ? std::string("-") : i.location) + "  " +
         (i.lot.empty() ? std::string("-") : i.lot) + "  " + i.source + "\n";
  }
  return t;
}

std::string HistoryJson(const std::vector<yard::Entry>& entries) {
  std::string j = "{\"entries\": [";
  for (std::size_t e = 0; e < entries.size(); ++e) {
    const yard::Entry& x = entries[e];
    j += e == 0 ? "\n  " : ",\n  ";
    j += base::Format("{\"id\": %lld, \"time\": ", static_cast<long long>(x.id)) +
         base::JsonString(x.time) +
         ", \"local_time\": " + base::JsonString(yard::LocalTimeText(x.time)) +
         ", \"reason\": " + base::JsonString(x.reason) + ", \"job\": " + base::JsonString(x.job);
    if (x.undoes != 0) j += base::Format(", \"undoes\": %lld", static_cast<long long>(x.undoes));
    j += ", \"moves\": [";
    for (std::size_t m = 0; m < x.moves.size(); ++m)
      j += base::Format("%s{\"item\": %lld, \"delta\": %lld}", m == 0 ? "" : ", ",
                        static_cast<long long>(x.moves[m].item),
                        static_cast<long long>(x.moves[m].delta));
    j += "]}";
  }
  return j + "]}\n";
}

std::string HistoryText(yard::Yard& y, const std::vector<yard::Entry>& entries) {
  if (entries.empty()) return "記録はありません。\n";
  std::string t;
  for (const yard::Entry& x : entries) {
    t += base::Format("記録 %lld  %s  %s", static_cast<long long>(x.id),
                      yard::LocalTimeText(x.time).c_str(), yard::ReasonText(x.reason).c_str());
    t += yard::UndoesText(entries, x);
    if (!x.job.empty()) t += "  " + x.job;
    t += "\n";
    for (const yard::Move& m : x.moves) t += "    " + yard::MoveText(y, m) + "\n";
  }
  return t;
}

struct YardArgs {
  std::string path;
  std::vector<std::string> words;  // the subcommand and its operands
  bool json = false, csv = false, offcut = false, replace = false, yes = false;
  bool allow_network_file = false;
  std::string location, lot, grade;
};

bool ParseYardArgs(const std::vector<std::string>& args, YardArgs& a, std::string& why) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    const bool has_value = i + 1 < args.size();
    if (w == "--yard" && has_value) {
      a.path = args[++i];
    } else if (w == "--location" && has_value) {
      a.location = args[++i];
    } else if (w == "--lot" && has_value) {
      a.lot = args[++i];
    } else if (w == "--grade" && has_value) {
      a.grade = args[++i];
    } else if (w == "--yes") {
      a.yes = true;
    } else if (w == "--allow-network-file") {
      a.allow_network_file = true;
    } else if (w == "--json") {
      a.json = true;
    } else if (w == "--csv") {
      a.csv = true;
    } else if (w == "--offcut") {
      a.offcut = true;
    } else if (w == "--replace") {
      a.replace = true;
    } else if (w.size() > 1 && w[0] == '-' && !(w[1] >= '0' && w[1] <= '9')) {
      why = "知らないオプションです: " + w;
      return false;
    } else {
      a.words.push_back(w);  // negative numbers too: they are refused with their reason
    }
  }
  return true;
}

int List(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() > 2 || (a.json && a.csv)) return Usage(err);
  std::vector<yard::Item> items;
  if (Status s = y.List(a.words.size() == 2 ? a.words[1] : std::string(), items); !s)
    return Refuse(out, err, s, a.json);
  if (a.json) {
    out << "{\"items\": [";
    for (std::size_t i = 0; i < items.size(); ++i)
      out << (i == 0 ? "\n  " : ",\n  ") << ItemJson(items[i]);
    out << "]}\n";
  } else if (a.csv) {
    out << yard::StockCsv(items);
  } else {
    out << ItemsText(items);
  }
  return kExitPlanned;
}

int Add(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() != 4) return Usage(err);
  int64_t length = 0, count = 0;
  std::string why;
  if (!WholeNumber(a.words[2], yard::kMinLength, yard::kMaxLength, "長さ", length, why) ||
      !WholeNumber(a.words[3], 1, yard::kMaxCount, "本数", count, why))
    return Usage(err, why);
  yard::NewItem n;
  n.section = a.words[1];
  n.length = static_cast<int32_t>(length);
  n.count = count;
  n.offcut = a.offcut;
  n.location = a.location;
  n.lot = a.lot;
  n.grade = a.grade;
  n.source = "購入";
  int64_t entry = 0;
  if (const base::Error e = session::AddBars(y, n, entry); !e) return Refuse(out, err, e, a.json);
  out << base::Format("在庫に加えました（記録 %lld）: %s %d mm × %lld 本\n",
                      static_cast<long long>(entry), yard::CanonicalSection(n.section).c_str(),
                      n.length, static_cast<long long>(count));
  return kExitPlanned;
}

int Take(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() != 3) return Usage(err);
  int64_t id = 0, count = 0;
  std::string why;
  if (!WholeNumber(a.words[1], 1, INT64_MAX, "ID", id, why) ||
      !WholeNumber(a.words[2], 1, yard::kMaxCount, "本数", count, why))
    return Usage(err, why);
  int64_t entry = 0;
  if (const base::Error e = session::TakeBars(y, id, count, entry); !e)
    return Refuse(out, err, e, a.json);
  out << base::Format("在庫 ID %lld から %lld 本取り出しました（記録 %lld）。\n",
                      static_cast<long long>(id), static_cast<long long>(count),
                      static_cast<long long>(entry));
  return kExitPlanned;
}

int History(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() != 1) return Usage(err);
  std::vector<yard::Entry> entries;
  if (Status s = y.History(entries); !s) return Refuse(out, err, s, a.json);
  out << (a.json ? HistoryJson(entries) : HistoryText(y, entries));
  return kExitPlanned;
}

int Undo(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() != 2) return Usage(err);
  int64_t id = 0;
  std::string why;
  if (!WholeNumber(a.words[1], 1, INT64_MAX, "記録番号", id, why)) return Usage(err, why);
  int64_t undo = 0;
  if (const base::Error e = session::UndoCommit(y, id, nullptr, undo); !e)
    return Refuse(out, err, e, a.json);
  out << base::Format("記録 %lld を取り消しました（記録 %lld）。\n", static_cast<long long>(id),
                      static_cast<long long>(undo));
  return kExitPlanned;
}

int Import(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() != 2) return Usage(err);
  std::string bytes;
  if (const job::FileResult read =
          job::ReadWholeFile(a.words[1], bytes, yard::kMaxStockCsvSize, job::Overlong::kFail);
      !read) {
    err << "zarvel5 yard: " << a.words[1] << " を読めません（" << base::Cp932ToUtf8(read.Reason())
        << "）。\n";
    return kExitUsage;
  }
  std::size_t items = 0;
  int64_t entry = 0;
  if (const base::Error e = session::ImportStock(y, bytes, a.replace, items, entry); !e)
    return e.code == base::Error::Code::kUsage ? Usage(err, a.words[1] + ": " + e.message)
                                               : Refuse(out, err, e, a.json);
  out << base::Format("%zu 件を在庫に取り込みました（記録 %lld）。\n", items,
                      static_cast<long long>(entry));
  return kExitPlanned;
}

// The yard's rule checked over the whole yard.
int Check(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() != 1) return Usage(err);
  std::vector<yard::Mismatch> mismatches;
  const Status s = y.Check(mismatches);
  if (!s) return Refuse(out, err, s, a.json);
  out << (a.json ? std::string("{\"status\": \"ok\"}\n")
                 : std::string("在庫の本数はすべて記録と合っています。\n"));
  return kExitPlanned;
}

// Shows what a repair writes; writes it only with --yes (the user's confirmation).
int Repair(yard::Yard& y, const YardArgs& a, std::ostream& out, std::ostream& err) {
  if (a.words.size() != 1) return Usage(err);
  std::vector<yard::Mismatch> mismatches;
  if (Status s = y.Check(mismatches); !s && s.code != Code::kMismatch) return Fail(err, s);
  if (mismatches.empty()) {
    out << "在庫の本数はすべて記録と合っています。直すものはありません。\n";
    return kExitPlanned;
  }
  out << yard::RepairText(y, mismatches);
  if (!a.yes) {
    out << "今の本数を正しいものとして記録を直すには zarvel5 yard repair --yes を、"
           "控えの本数に戻すには zarvel5 yard restore 控えのファイル を実行して下さい。\n";
    return kExitRunMessage;
  }
  int64_t entry = 0;
  if (const base::Error e = session::RepairYard(y, mismatches, entry); !e) return Fail(err, e);
  out << base::Format("記録を直しました（記録 %lld）。\n", static_cast<long long>(entry));
  return kExitPlanned;
}

}  // namespace

std::string YardStatusJson(const Status& s) {
  return std::string("{\"status\": \"") + yard::StatusName(s.code) +
         "\", \"message\": " + base::JsonString(s.message) + "}\n";
}

int YardExitCode(const Status& s) {
  switch (s.code) {
    case Code::kOk:
      return kExitPlanned;
    case Code::kChanged:
    case Code::kRefused:
    case Code::kReadOnly:
    case Code::kBusy:
    case Code::kMismatch:
    case Code::kDiskFull:
    case Code::kNetwork:
    case Code::kCancelled:
      return kExitRunMessage;
    default:
      return kExitUsage;
  }
}

int RunYardCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    out << kYardUsage;
    return kExitPlanned;
  }
  YardArgs a;
  std::string why;
  if (!ParseYardArgs(args, a, why)) return Usage(err, why);
  if (a.words.empty()) return Usage(err);
  const std::string& command = a.words[0];
  const std::string path = session::YardPlace(a.path);
  const yard::OpenOptions options = YardOptions(err, a.allow_network_file);
  if (command == "copy") {
    // A shop's yard moved from a file onto a server, or a server's yard kept as a file.
    if (a.words.size() != 3) return Usage(err);
    std::size_t items = 0, entries = 0;
    if (const base::Error e =
            session::CopyYard(a.words[1], a.words[2], a.replace, options, items, entries);
        !e)
      return Refuse(out, err, e, a.json);
    out << base::Format("在庫を写しました: 在庫 %zu 件、記録 %zu 件（%s → %s）。\n", items, entries,
                        yard::ShownPlace(a.words[1]).c_str(), yard::ShownPlace(a.words[2]).c_str());
    return kExitPlanned;
  }
  if (command == "backup") {
    if (a.words.size() > 2) return Usage(err);
    const std::string copy = a.words.size() == 2 ? a.words[1] : yard::TimedBackupName(path);
    if (const base::Error e = session::BackUpYardFile(path, copy, options); !e) return Fail(err, e);
    out << "在庫ファイルの控えを作りました: " << copy << "\n";
    return kExitPlanned;
  }
  if (command == "restore") {
    if (a.words.size() != 2) return Usage(err);
    int64_t entry = 0;
    std::string saved;
    if (const base::Error e = session::RestoreYardFile(path, a.words[1], entry, saved, options); !e)
      return Fail(err, e);
    if (!saved.empty()) out << "戻す前の在庫ファイルを控えました: " << saved << "\n";
    out << base::Format("在庫を %s の時点に戻しました（記録 %lld）。\n", a.words[1].c_str(),
                        static_cast<long long>(entry));
    return kExitPlanned;
  }
  int (*run)(yard::Yard&, const YardArgs&, std::ostream&, std::ostream&) =
      command == "list"      ? List
      : command == "add"     ? Add
      : command == "take"    ? Take
      : command == "history" ? History
      : command == "undo"    ? Undo
      : command == "import"  ? Import
      : command == "check"   ? Check
      : command == "repair"  ? Repair
                             : nullptr;
  if (run == nullptr) return Usage(err, "知らない操作です: " + command);
  Status s;
  auto y = yard::OpenYard(path, s, options);
  if (!y) return Refuse(out, err, s, a.json);
  // Reading goes on while changes are refused (a read-only file, a ledger in doubt); the user
  // hears why.
  if (run != Check && run != Repair && !y->ReadOnlyReason().empty())
    err << "zarvel5 yard: " << y->ReadOnlyReason() << "\n";
  return run(*y, a, out, err);
}

yard::OpenOptions YardOptions(std::ostream& err, bool allow_network_file) {
  yard::OpenOptions o;
  o.allow_network_file = allow_network_file;
  o.waiting = [&err](const std::string& what) {
    err << "zarvel5: " << what << "\n" << std::flush;
    return true;
  };
  return o;
}

}  // namespace zarvel::cli
