#include "session/nest.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <set>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "catalog/sections.h"
#include "job/job_file.h"
#include "job/safe_file.h"
#include "optimiser/exact.h"
#include "report/cut_bars.h"
#include "run/grid_reader.h"
#include "session/order.h"

namespace zarvel::session {
namespace {

using Code = base::Error::Code;

// The fields a group's job takes from its first job (the margin, kerf and priority length are
// the same in all of them, or the group is refused).
constexpr std::array kCopiedFields = {
    run::JobField::kYear,        run::JobField::kMonth,          run::JobField::kDay,
    run::JobField::kProjectName, run::JobField::kUnitWeight,     run::JobField::kMargin,
    run::JobField::kKerf,        run::JobField::kPriorityLength,
};

// A job as read: what its group needs of it.
struct JobLists {
  std::vector<std::string> fields;  // CP932, in kCopiedFields' order
  std::string member;               // CP932, trimmed
  std::string grade;                // CP932
  optimiser::RemnantPolicy policy;
  int precision = 0;
  std::map<int32_t, long long> stock;  // per length, its bars
  std::map<int32_t, long long> measured;
  std::vector<std::pair<int32_t, long long>> cut;  // as the job lists them
  std::vector<optimiser::PieceMark> marks;
};

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

base::Error ReadJob(const std::string& path, JobLists& out, optimiser::Conditions& conditions) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  if (const job::FileResult read = job::OpenJobFile(form, path); !read)
    return base::Error::Fail(
        Code::kUnreadable, TerminalText(job::CannotReadMessage(path, read.Reason())), read.Error());
  for (const run::JobField f : kCopiedFields) out.fields.push_back(form.Field(f).Text());
  run::ReadConditions(conditions, form);
  out.member = conditions.member_name;
  out.grade = form.grade;
  out.policy = form.policy;
  out.precision = form.PrecisionItem();
  optimiser::LengthList& stock = records->stock;
  optimiser::LengthList& cut = records->cut;
  run::ReadGridIntoList(stock, form.StockGrid(), form.VerticalOrder());
  run::ReadGridIntoList(cut, form.CutGrid(), form.VerticalOrder());
  optimiser::MarkMeasured(stock, form.MeasuredStock());
  for (int k = 1; k <= stock.count; ++k) {
    const optimiser::LengthEntry& e = stock.entries[k];
    out.stock[e.length] += e.quantity;
    if (e.measured) out.measured[e.length] += e.quantity;
  }
  for (int j = 1; j <= cut.count; ++j)
    out.cut.emplace_back(cut.entries[j].length, cut.entries[j].quantity);
  out.marks = form.Marks();
  return {};
}

// "切り代" differs: each job with its value, or empty when they agree.
std::string Disagreement(const Nest& nest, const NestGroup& g, const char* what,
                         int32_t optimiser::Conditions::*value) {
  const int32_t first = nest.jobs[g.jobs.front()].conditions.*value;
  bool differs = false;
  for (const std::size_t j : g.jobs) differs |= nest.jobs[j].conditions.*value != first;
  if (!differs) return {};
  std::string list;
  for (const std::size_t j : g.jobs)
    list += (list.empty() ? "" : "、") + FileName(nest.jobs[j].file) + " " +
            std::to_string(nest.jobs[j].conditions.*value) + " mm";
  return std::string(what) + "が仕事によって違います (" + list + ")。";
}

// Writes "length.count" cells from the first cell, row by row; a grid too small for the group's
// lengths gets the rows they need.
void WriteCells(run::Grid& grid, const std::map<int32_t, long long>& lengths) {
  const int columns = std::max(grid.ColCount() - 1, 1);
  const int rows = (static_cast<int>(lengths.size()) + columns - 1) / columns;
  if (rows > grid.RowCount() - 1)
    if (auto* memory = dynamic_cast<run::MemoryGrid*>(&grid))
      memory->Resize(grid.ColCount(), rows + 1);
  int k = 0;
  for (const auto& [length, count] : lengths) {
    grid.SetCell(k % columns + 1, k / columns + 1, base::Format("%5d.%3lld", length, count));
    ++k;
  }
}

// The group's pieces as one job: the first job's values, the section as the member name, the
// union of the stock, every piece with its owner's text as its mark.
base::Error MakeGroupJob(NestGroup& g, const std::vector<JobLists>& lists,
                         const NestOptions& options) {
  JobRun& run = g.run;
  run.records = std::make_unique<optimiser::OptimiserRecords>();
  run.form = std::make_unique<job::JobForm>(*run.records);
  job::JobForm& form = *run.form;
  const JobLists& first = lists[g.jobs.front()];
  for (std::size_t f = 0; f < kCopiedFields.size(); ++f)
    form.SetFieldText(kCopiedFields[f], first.fields[f]);
  form.SetFieldText(run::JobField::kMemberName,
                    g.section.empty() ? first.member : base::Utf8ToCp932(g.section));
  form.grade = first.grade;
  form.policy = first.policy;
  int precision = 0;
  std::map<int32_t, long long> stock, measured, cut;
  std::vector<optimiser::PieceMark>& marks = *form.MarkList();
  for (const std::size_t j : g.jobs) {
    const JobLists& l = lists[j];
    precision = std::max(precision, l.precision);
    for (const auto& [length, bars] : l.stock) stock[length] += bars;
    for (const auto& [length, bars] : l.measured) measured[length] += bars;
    // The job's marks first, each up to the pieces of its length; the rest without a mark.
    std::map<int32_t, long long> left;
    for (const auto& [length, count] : l.cut) {
      cut[length] += count;
      left[length] += count;
    }
    for (const optimiser::PieceMark& m : l.marks) {
      long long& open = left[m.length];
      const long long n = std::min<long long>(open, m.count);
      if (n <= 0) continue;
      open -= n;
      marks.push_back({OwnerText(l.member, m.mark), m.length, static_cast<int32_t>(n)});
      g.owners.push_back({j, m.mark});
    }
    for (const auto& [length, count] : l.cut) {
      long long& open = left[length];
      if (open <= 0) continue;
      marks.push_back({OwnerText(l.member, {}), length, static_cast<int32_t>(open)});
      g.owners.push_back({j, {}});
      open = 0;
    }
  }
  form.SetPrecisionItem(options.precision.value_or(precision));
  for (const auto& [length, bars] : measured) form.yard_stock.measured.push_back({length, bars});
  const std::size_t most = std::max(stock.size(), cut.size());
  if (most > static_cast<std::size_t>(optimiser::kMaxWideEntries))
    return base::Error::Fail(
        Code::kUsage,
        base::Format("%s の長さが %zu 種類あり、まとめて計画できるのは %d 種類までです。",
                     stock.size() > cut.size() ? "素材" : "切断材", most,
                     optimiser::kMaxWideEntries));
  // More lengths than a job's grids hold: the group's records and grids take them all.
  if (most > static_cast<std::size_t>(optimiser::kMaxEntries) - 1)
    run.records->Widen(static_cast<int>(most) + 1);
  WriteCells(form.StockGrid(), stock);
  WriteCells(form.CutGrid(), cut);
  return {};
}

// The group's jobs each planned alone on the group's stock, as one plan of the group; none when
// some job cannot be planned alone or the plans together need more bars than there are.
std::unique_ptr<optimiser::CuttingPlan> PlannedAlone(const NestGroup& g,
                                                     const std::vector<JobLists>& lists,
                                                     int precision,
                                                     const optimiser::SearchHost& host) {
  const optimiser::OptimiserRecords& group = *g.run.records;
  auto plan = std::make_unique<optimiser::CuttingPlan>(group.best);  // as wide as the group's
  plan->pattern_count = 0;
  plan->stock_length = 0;
  plan->remnant_length = 0;
  std::vector<long long> bars(static_cast<std::size_t>(group.stock.count) + 1, 0);
  auto alone = std::make_unique<optimiser::OptimiserRecords>();
  for (const std::size_t j : g.jobs) {
    optimiser::OptimiserRecords& r = *alone;
    r.stock = group.stock;
    r.cut = {};
    for (const auto& [length, count] : lists[j].cut)
      r.cut.Append(length, static_cast<int32_t>(std::min<long long>(count, INT32_MAX)));
    if (r.cut.Empty()) continue;
    r.conditions = group.conditions;
    r.random.Seed(0);
    if (run::ComputeRun(r, precision, host, nullptr) != run::RunOutcome::kPlanned) return nullptr;
    for (int p = 1; p <= r.best.pattern_count; ++p) {
      const optimiser::BarPattern& b = r.best.patterns[p];
      if (plan->pattern_count >= group.best.max_patterns) return nullptr;
      optimiser::BarPattern& to = plan->patterns[++plan->pattern_count];
      to = optimiser::BarPattern{};    // cleared, as wide as the plan
      to.stock_index = b.stock_index;  // the same stock list, sorted and merged alike
      to.remnant = b.remnant;
      to.remnant_rate = b.remnant_rate;
      to.repeat_count = b.repeat_count;
      for (int c = 1; c <= r.cut.count; ++c) {
        if (b.piece_counts[c] == 0) continue;
        int at = 1;
        while (at <= group.cut.count && group.cut.entries[at].length != r.cut.entries[c].length)
          ++at;
        if (at > group.cut.count) return nullptr;
        to.piece_counts[at] = b.piece_counts[c];
      }
      bars[static_cast<std::size_t>(b.stock_index)] += b.repeat_count;
      plan->stock_length +=
          static_cast<double>(r.stock.entries[b.stock_index].length) * b.repeat_count;
      plan->remnant_length += b.remnant * b.repeat_count;
    }
  }
  for (int k = 1; k <= group.stock.count; ++k)
    if (bars[static_cast<std::size_t>(k)] > group.stock.entries[k].quantity) return nullptr;
  plan->required_length = group.best.required_length;
  plan->SetRates();
  return plan;
}

// A nested plan never takes more stock than its jobs planned one by one: when their plans
// together use less (the search is random), the group keeps those.
void KeepBetterOfAlone(NestGroup& g, const std::vector<JobLists>& lists, int precision,
                       const optimiser::SearchHost& host) {
  optimiser::OptimiserRecords& r = *g.run.records;
  const std::unique_ptr<optimiser::CuttingPlan> alone = PlannedAlone(g, lists, precision, host);
  if (alone == nullptr) return;
  auto candidate = std::make_unique<optimiser::OptimiserRecords>(r);
  candidate->best.CopyFrom(*alone);
  if (!optimiser::UsesLess(optimiser::PlanStock(*candidate), optimiser::PlanStock(r))) return;
  r.best.CopyFrom(*alone);
  optimiser::FinalisePlan(r);
  if (r.exact_run) {
    const optimiser::StockUse use = optimiser::PlanStock(r);
    r.proven_optimal = optimiser::ReachesBound(use.regular, r.regular_bound) &&
                       optimiser::ReachesBound(use.priority, r.priority_bound);
  }
}

void PlanGroup(Nest& nest, NestGroup& g, const std::vector<JobLists>& lists,
               const NestOptions& options) {
  std::string why;
  for (const auto& [what, value] : {std::pair{"素材の余裕", &optimiser::Conditions::margin},
                                    std::pair{"切り代", &optimiser::Conditions::kerf},
                                    std::pair{"優先長さ", &optimiser::Conditions::priority_length}})
    why += Disagreement(nest, g, what, value);
  // The remnant policy the jobs ask of 最適 (端材優先 and its keep length) is one for the group.
  const optimiser::RemnantPolicy& policy = nest.jobs[g.jobs.front()].conditions.policy;
  std::string policies;
  bool policies_differ = false;
  for (const std::size_t j : g.jobs) {
    const optimiser::RemnantPolicy& p = nest.jobs[j].conditions.policy;
    policies_differ |= !(p == policy);
    policies += (policies.empty() ? "" : "、") + FileName(nest.jobs[j].file) +
                (p.offcuts_first ? " 端材優先 " + std::to_string(p.keep) + " mm" : " 端材優先なし");
  }
  if (policies_differ) why += "端材優先が仕事によって違います (" + policies + ")。";
  if (!why.empty()) {
    g.refused = true;
    g.message = g.name + ": " + why + "まとめて計画できません。";
    return;
  }
  if (base::Error e = MakeGroupJob(g, lists, options); !e) {
    g.refused = true;
    g.message = g.name + ": " + e.message;
    return;
  }
  JobOptions o;
  o.job = g.name;
  o.policy = options.policy;
  o.search = options.search;
  BeforeRun before = [&](job::JobForm& form) -> base::Error {
    if (nest.yard) {
      const std::string member =
          base::Cp932ToUtf8(base::TrimBlanks(form.Field(run::JobField::kMemberName).Text()));
      if (base::Error e =
              FillStock(*nest.yard, nest.yard_place, member, form, form.yard_stock, g.run.fill);
          !e) {
        if (e.code == Code::kRunMessage) g.run.outcome = run::RunOutcome::kNoStock;
        return e;
      }
      if (!g.run.fill.note.empty()) nest.notes.push_back(g.name + ": " + g.run.fill.note);
    }
    return options.before_run ? options.before_run(form) : base::Error{};
  };
  std::vector<std::string> notes;
  const base::Error e = RunOpened(o, g.run, notes, before);
  if (e) KeepBetterOfAlone(g, lists, g.run.form->PrecisionItem(), options.search);
  if (e && nest.yard) NoteYardBasis(g.run.plan, &g.run.fill);
  if (!e && !e.message.empty()) notes.push_back(e.message);
  for (const std::string& n : notes) g.message += (g.message.empty() ? "" : "\n") + n;
}

}  // namespace

std::string OwnerText(const std::string& member, const std::string& mark) {
  return mark.empty() ? member : member + " " + mark;
}

bool NestGroup::Planned() const {
  return !refused && run.records != nullptr && run.outcome == run::RunOutcome::kPlanned;
}

int Nest::ExitCode() const {
  if (!yard_error) return FailureClass(yard_error);
  const bool any_read =
      std::any_of(jobs.begin(), jobs.end(), [](const NestJob& j) { return !j.unreadable; });
  if (!any_read) return 2;
  const bool all_read =
      std::none_of(jobs.begin(), jobs.end(), [](const NestJob& j) { return j.unreadable; });
  const bool all_planned =
      std::all_of(groups.begin(), groups.end(), [](const NestGroup& g) { return g.Planned(); });
  return all_read && all_planned ? 0 : 1;
}

Nest BuildNest(const NestOptions& options) {
  Nest nest;
  if (options.from_yard) {
    nest.yard_error = OpenYardAt(options.yard, nest.yard, &nest.yard_place, options.yard_options);
    if (!nest.yard_error) return nest;
  }
  std::vector<JobLists> lists(options.jobs.size());
  std::vector<std::pair<job::FileId, std::string>> seen;
  std::vector<std::string> keys;  // per group
  for (std::size_t i = 0; i < options.jobs.size(); ++i) {
    NestJob job;
    job.file = options.jobs[i];
    // One job named by two paths or through a link is planned once.
    const std::optional<job::FileId> identity = job::IdentityOf(job.file);
    const auto before = std::find_if(
        seen.begin(), seen.end(), [&](const auto& s) { return identity && s.first == *identity; });
    if (before != seen.end()) {
      job.duplicate = true;
      nest.notes.push_back(job.file + " は " + before->second +
                           " と同じファイルです。1 回だけ計画しました。");
      nest.jobs.push_back(std::move(job));
      continue;
    }
    if (identity) seen.emplace_back(*identity, job.file);
    if (base::Error e = ReadJob(job.file, lists[i], job.conditions); !e) {
      job.unreadable = true;
      job.message = e.message;
      nest.jobs.push_back(std::move(job));
      continue;
    }
    const JobLists& l = lists[i];
    job.member = base::Cp932ToUtf8(l.member);
    job.lengths = static_cast<int>(l.cut.size());
    for (const auto& [length, count] : l.cut) job.pieces += count;
    const GroupKey key = GroupOf(l.member, job.conditions.unit_weight, l.grade);
    auto at = std::find(keys.begin(), keys.end(), key.key);
    if (at == keys.end()) {
      keys.push_back(key.key);
      NestGroup g;
      g.name = key.name;
      if (key.section != nullptr) g.section = key.section->name;
      g.grade = base::Cp932ToUtf8(l.grade);
      nest.groups.push_back(std::move(g));
      at = keys.end() - 1;
    }
    job.group = static_cast<std::size_t>(at - keys.begin());
    nest.groups[job.group].jobs.push_back(i);
    nest.jobs.push_back(std::move(job));
  }
  // The groups' sizes, shown before they plan.
  for (NestGroup& g : nest.groups) {
    std::set<int32_t> lengths;
    for (const std::size_t j : g.jobs)
      for (const auto& [length, count] : lists[j].cut) {
        lengths.insert(length);
        g.pieces += count;
      }
    g.lengths = static_cast<int>(lengths.size());
  }
  if (!options.plan) return nest;
  for (std::size_t g = 0; g < nest.groups.size(); ++g) {
    if (options.progress) options.progress(g, nest.groups.size(), nest.groups[g].name);
    PlanGroup(nest, nest.groups[g], lists, options);
  }
  return nest;
}

std::vector<NestBar> NestBars(const NestGroup& g) {
  std::vector<NestBar> out;
  if (!g.Planned()) return out;
  const optimiser::OptimiserRecords& r = *g.run.records;
  // The report hands out the marks of a length in list order; the owners of one text are taken
  // in the same order.
  std::map<std::pair<int32_t, std::string>, std::deque<std::pair<std::size_t, long long>>> owners;
  for (std::size_t i = 0; i < r.marks.size() && i < g.owners.size(); ++i)
    owners[{r.marks[i].length, r.marks[i].mark}].emplace_back(i, r.marks[i].count);
  const report::CutBars bars = report::ListCutBars(r);
  for (const report::CutBar& b : bars.bars) {
    NestBar bar{b.pattern, b.bar, b.stock_length, {}};
    for (const report::CutPiece& p : b.pieces) {
      NestPiece piece{p.length, SIZE_MAX, {}};
      auto& queue = owners[{p.length, p.mark}];
      if (!queue.empty()) {
        const NestOwner& o = g.owners[queue.front().first];
        piece.job = o.job;
        piece.mark = o.mark;
        if (--queue.front().second == 0) queue.pop_front();
      }
      bar.pieces.push_back(std::move(piece));
    }
    out.push_back(std::move(bar));
  }
  return out;
}

std::vector<std::string> GroupMembers(const Nest& nest, const NestGroup& g) {
  std::vector<std::string> members;
  for (const std::size_t j : g.jobs) {
    const NestJob& job = nest.jobs[j];
    members.push_back(base::Utf8ToCp932(job.member.empty() ? FileName(job.file) : job.member));
  }
  return members;
}

base::Error CommitNest(Nest& nest, int32_t keep, int64_t& entry) {
  if (!nest.yard)
    return base::Error::Fail(Code::kNotFromYard,
                             "素材リストが在庫からではありません（--from-yard）。");
  yard::Change all;
  all.reason = "commit";
  std::map<int64_t, std::size_t> take_at;  // item → index in all.takes
  for (NestGroup& g : nest.groups) {
    if (!g.Planned())
      return base::Error::Fail(Code::kRunMessage,
                               g.name +
                                   " は計画できていないため、どのグループも確定しません"
                                   "でした。");
    std::string names;
    for (const std::size_t j : g.jobs)
      names += (names.empty() ? "" : "+") + FileName(nest.jobs[j].file);
    PreparedCommit c;
    if (base::Error e = PrepareCommit(*nest.yard, *g.run.records, g.run.plan, *g.run.form,
                                      g.run.form->yard_stock, {names, keep}, c);
        !e) {
      e.message = g.name + ": " + e.message;
      return e;
    }
    all.job += (all.job.empty() ? "" : ", ") + c.change.job;
    for (const yard::Take& t : c.change.takes) {
      const auto [at, fresh] = take_at.emplace(t.item, all.takes.size());
      if (fresh) {
        all.takes.push_back(t);
        continue;
      }
      // Two groups cutting bars of one item (a yard item without a grade): both takes at once.
      yard::Take& both = all.takes[at->second];
      both.count += t.count;
      if (both.expected >= 0 && both.count > both.expected)
        return base::Error::Fail(Code::kYardChanged, yard::kChangedMessage);
    }
    all.adds.insert(all.adds.end(), c.change.adds.begin(), c.change.adds.end());
  }
  if (yard::Status s = nest.yard->Apply(all, entry); !s) return FromStatus(s);
  for (NestGroup& g : nest.groups) g.run.plan.committed = entry;
  return {};
}

}  // namespace zarvel::session
