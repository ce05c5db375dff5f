#include "session/yard_session.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "job/settings.h"
#include "yard/sqlite_file.h"
#include "yard/stock_csv.h"

namespace zarvel::session {
namespace {

using Code = base::Error::Code;

base::Error Refuse(Code code, std::string message) {
  return base::Error::Fail(code, std::move(message));
}

// Two fills hold the same bars: the same lengths with the same items and counts.
bool SameBars(const yard::StockFill& a, const yard::StockFill& b) {
  if (a.section != b.section || a.lengths.size() != b.lengths.size()) return false;
  for (std::size_t i = 0; i < a.lengths.size(); ++i) {
    const yard::StockLength &x = a.lengths[i], &y = b.lengths[i];
    if (x.length != y.length || x.count != y.count || x.offcut != y.offcut ||
        x.items.size() != y.items.size())
      return false;
    for (std::size_t k = 0; k < x.items.size(); ++k)
      if (x.items[k].id != y.items[k].id || x.items[k].count != y.items[k].count) return false;
  }
  return true;
}

// What a job wants of the yard: a job of one grade takes that grade's bars; offcuts its pieces
// cannot use go first when the grid is full.
yard::FillWants WantsOf(run::RunForm& form) {
  yard::FillWants wants;
  wants.grade = base::Cp932ToUtf8(form.Grade());
  wants.shortest_piece = yard::ShortestPiece(form.CutGrid());
  return wants;
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

base::Error FromStatus(const yard::Status& s) {
  using Y = yard::Status::Code;
  static const std::pair<Y, Code> codes[] = {
      {Y::kChanged, Code::kYardChanged},   {Y::kInvalid, Code::kYardInvalid},
      {Y::kRefused, Code::kYardRefused},   {Y::kReadOnly, Code::kYardReadOnly},
      {Y::kBusy, Code::kYardBusy},         {Y::kCancelled, Code::kYardCancelled},
      {Y::kDamaged, Code::kYardDamaged},   {Y::kForeign, Code::kYardForeign},
      {Y::kMismatch, Code::kYardMismatch}, {Y::kDiskFull, Code::kYardDiskFull},
      {Y::kNetwork, Code::kYardNetwork},   {Y::kFailed, Code::kYardFailed}};
  if (s.Ok()) return {};
  for (const auto& [from, to] : codes)
    if (s.code == from) return Refuse(to, s.message);
  return Refuse(Code::kYardFailed, s.message);
}

std::string YardPlace(const std::string& place) {
  if (!place.empty()) return place;
  if (const char* env = std::getenv("ZARVEL5_YARD"); env != nullptr && *env != '\0') return env;
  return yard::YardPath(job::ReadYardPlace());
}

base::Error OpenYardAt(const std::string& place, std::unique_ptr<yard::Yard>& y,
                       std::string* opened_place, const yard::OpenOptions& options) {
  const std::string path = YardPlace(place);
  if (opened_place != nullptr) *opened_place = path;
  yard::Status s;
  y = yard::OpenYard(path, s, options);
  if (!y) return FromStatus(s.Ok() ? yard::Status::Error(yard::Status::Code::kFailed, path) : s);
  return {};
}

base::Error FillStock(yard::Yard& y, const std::string& place, const std::string& wanted,
                      run::RunForm& form, job::YardStockNote& yard_stock, YardFill& filled) {
  const std::string section = yard::CanonicalSection(wanted);
  if (section.empty())
    return Refuse(Code::kUsage,
                  "鋼材名がわかりません。部材名に鋼材名を入れて下さい（コマンドでは --section "
                  "でも指定できます）。");
  int64_t revision = 0;
  // The revision first: a change between the two reads makes the plan look older, never newer.
  if (yard::Status s = y.Revision(revision); !s) return FromStatus(s);
  std::vector<yard::Item> items;
  if (yard::Status s = y.List(section, items); !s) return FromStatus(s);
  yard::StockFill fill = yard::FillFromItems(section, items, WantsOf(form));
  if (fill.lengths.empty())
    return Refuse(Code::kRunMessage, "在庫に " + section + " がありません。");
  yard::WriteStockCells(form.StockGrid(), fill);
  yard_stock = {base::Utf8ToCp932(fill.section), fill.Measured()};
  filled.place = place;
  filled.revision = revision;
  filled.note = yard::LeftOutMessage(fill);
  filled.fill = std::move(fill);
  return {};
}

void NoteYardBasis(PlanState& plan, const YardFill* filled) {
  if (filled == nullptr || filled->fill.lengths.empty()) return;
  plan.basis.yard = filled->place;
  plan.basis.yard_revision = filled->revision;
  plan.fill = filled->fill;
}

std::string CommitDate(const optimiser::Conditions& c) {
  return base::Format("%04d-%02d-%02d", 2000 + c.year, c.month, c.day);
}

base::Error PrepareCommit(yard::Yard& y, const optimiser::OptimiserRecords& records,
                          PlanState& plan, run::RunForm& form, const job::YardStockNote& yard_stock,
                          const CommitRequest& request, PreparedCommit& commit) {
  if (!plan.planned) return Refuse(Code::kRunMessage, "先に Zarvel実行 で計画して下さい。");
  if (plan.committed != 0)
    return Refuse(Code::kCommitted,
                  base::Format("この計画は確定済みです（記録 %lld）。同じ計画をもう一度確定する"
                               "ことはできません。",
                               static_cast<long long>(plan.committed)));
  if (PlanFreshness(plan, form, yard_stock) != Freshness::kCurrent)
    return Refuse(Code::kOutdated,
                  "切断計画は、そのあとに変更された仕事の内容より古いものです。"
                  "もう一度「Zarvel実行」をしてから確定して下さい。");
  if (yard_stock.Empty())
    return Refuse(Code::kNotFromYard, "素材リストが在庫からではありません（「在庫から」）。");
  const std::string section = base::Cp932ToUtf8(yard_stock.section);
  int64_t revision = 0;
  if (yard::Status s = y.Revision(revision); !s) return FromStatus(s);
  if (plan.fill.section != section || revision != plan.basis.yard_revision) {
    // The yard changed since its stock was read (or the job was opened from its file): the
    // section's bars as they stand now must be those the plan was made from.
    std::vector<yard::Item> items;
    if (yard::Status s = y.List(section, items); !s) return FromStatus(s);
    yard::StockFill now = yard::FillFromItems(section, items, WantsOf(form));
    if (plan.fill.section == section && !SameBars(now, plan.fill))
      return Refuse(Code::kYardChanged, yard::kChangedMessage);
    plan.fill = std::move(now);
    plan.basis.yard_revision = revision;
  }
  std::string message;
  // A plan made with the remnant policy keeps exactly the remnants it counted as kept.
  const optimiser::RemnantPolicy& policy = records.conditions.policy;
  const int32_t keep = policy.offcuts_first ? policy.keep : request.keep;
  if (!yard::CommitChange(records, plan.fill, keep, FileName(request.job_path),
                          CommitDate(records.conditions), commit.change, message))
    return Refuse(Code::kYardChanged, message);
  commit.summary = yard::ChangeSummary(commit.change, plan.fill);
  return {};
}

base::Error ApplyCommit(yard::Yard& y, PlanState& plan, const PreparedCommit& commit,
                        int64_t& entry) {
  if (plan.committed != 0)
    return Refuse(Code::kCommitted, base::Format("この計画は確定済みです（記録 %lld）。",
                                                 static_cast<long long>(plan.committed)));
  if (yard::Status s = y.Apply(commit.change, entry); !s) return FromStatus(s);
  plan.committed = entry;
  return {};
}

base::Error UndoCommit(yard::Yard& y, int64_t entry, PlanState* plan, int64_t& undo_entry) {
  if (yard::Status s = y.Undo(entry, undo_entry); !s) return FromStatus(s);
  if (plan != nullptr && plan->committed == entry) plan->committed = 0;
  return {};
}

base::Error AddBars(yard::Yard& y, const yard::NewItem& item, int64_t& entry) {
  yard::Change c;
  c.reason = "add";
  c.adds.push_back(item);
  return FromStatus(y.Apply(c, entry));
}

base::Error TakeBars(yard::Yard& y, int64_t item, int64_t count, int64_t& entry) {
  yard::Change c;
  c.reason = "take";
  c.takes.push_back({item, count, -1});
  return FromStatus(y.Apply(c, entry));
}

base::Error SetPlace(yard::Yard& y, int64_t item, const std::string& location,
                     const std::string& lot) {
  return FromStatus(y.SetPlace(item, location, lot));
}

base::Error ImportStock(yard::Yard& y, const std::string& bytes, bool replace, std::size_t& items,
                        int64_t& entry) {
  yard::Change c;
  c.reason = "import";
  std::string why;
  if (!yard::ReadStockCsv(bytes, c.adds, why)) return Refuse(Code::kUsage, why);
  if (replace) {
    for (const yard::NewItem& n : c.adds) {
      const std::string section = yard::CanonicalSection(n.section);
      if (std::find(c.cleared_sections.begin(), c.cleared_sections.end(), section) ==
          c.cleared_sections.end())
        c.cleared_sections.push_back(section);
    }
  }
  items = c.adds.size();
  return FromStatus(y.Apply(c, entry));
}

base::Error CopyYard(const std::string& from, const std::string& to, bool replace,
                     const yard::OpenOptions& options, std::size_t& item_count,
                     std::size_t& entry_count) {
  std::unique_ptr<yard::Yard> source, target;
  if (base::Error e = OpenYardAt(from, source, nullptr, options); !e) return e;
  std::vector<yard::Entry> entries;
  std::vector<yard::Item> items;
  if (yard::Status s = source->History(entries); !s) return FromStatus(s);
  if (yard::Status s = source->List({}, items); !s) return FromStatus(s);
  // Items used up (count 0) are not listed, but the ledger names them: copied too.
  std::set<int64_t> have;
  for (const yard::Item& i : items) have.insert(i.id);
  for (const yard::Entry& e : entries)
    for (const yard::Move& m : e.moves) {
      if (!have.insert(m.item).second) continue;
      yard::Item i;
      if (yard::Status s = source->Get(m.item, i); !s) return FromStatus(s);
      items.push_back(i);
    }
  std::sort(items.begin(), items.end(),
            [](const yard::Item& a, const yard::Item& b) { return a.id < b.id; });
  if (base::Error e = OpenYardAt(to, target, nullptr, options); !e) return e;
  if (yard::Status s = target->Load(items, entries, replace); !s) return FromStatus(s);
  std::vector<yard::Mismatch> mismatches;
  if (yard::Status s = target->Check(mismatches); !s) return FromStatus(s);
  item_count = items.size();
  entry_count = entries.size();
  return {};
}

base::Error RepairYard(yard::Yard& y, const std::vector<yard::Mismatch>& confirmed,
                       int64_t& entry) {
  return FromStatus(y.Repair(confirmed, entry));
}

base::Error BackUpYardFile(const std::string& path, const std::string& copy,
                           const yard::OpenOptions& options) {
  return FromStatus(yard::BackUpYard(path, copy, options));
}

base::Error RestoreYardFile(const std::string& path, const std::string& copy, int64_t& entry,
                            std::string& saved, const yard::OpenOptions& options) {
  return FromStatus(yard::RestoreYard(path, copy, entry, saved, options));
}

}  // namespace zarvel::session
