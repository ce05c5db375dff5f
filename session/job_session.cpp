#include "session/job_session.h"

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "job/cut_csv.h"
#include "job/job_file.h"
#include "job/settings.h"
#include "run/cell_check.h"
#include "run/grid_reader.h"

namespace zarvel::session {
namespace {

using Code = base::Error::Code;

// Messages of the run, kept in order.
class MessageCollector final : public run::MessageSink {
 public:
  void ShowMessageText(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

}  // namespace

std::string TerminalText(const std::string& cp932) {
  std::string s = cp932;
  while (const std::size_t e = base::MarkerLength(s)) s.erase(0, e);
  // A "$" at the start of a line only spaces the dialog's lines.
  for (std::size_t at = 0; (at = s.find("\n$", at)) != std::string::npos;) s.erase(at + 1, 1);
  if (!s.empty() && s[0] == '$') s.erase(0, 1);
  return base::Cp932ToUtf8(s);
}

base::Error OpenAndRun(const JobOptions& o, JobRun& run, std::vector<std::string>& notes,
                       const BeforeRun& before_run) {
  run.records = std::make_unique<optimiser::OptimiserRecords>();
  run.form = std::make_unique<job::JobForm>(*run.records);
  run.plan.Clear();
  run.job = o.job;
  job::JobLoad load;
  if (const job::FileResult read = job::OpenJobFile(*run.form, o.job, &load); !read)
    return base::Error::Fail(Code::kUnreadable,
                             TerminalText(job::CannotReadMessage(o.job, read.Reason())),
                             read.Error());
  if (load.Noteworthy()) notes.push_back(TerminalText(job::IncompleteJobMessage(o.job, load)));
  return RunOpened(o, run, notes, before_run);
}

base::Error RunOpened(const JobOptions& o, JobRun& run, std::vector<std::string>& notes,
                      const BeforeRun& before_run) {
  if (!o.cut_csv.empty()) {
    std::string message;
    if (!job::LoadCutCsvFile(o.cut_csv, run.form->CutGrid(), message, run.form->MarkList()))
      return base::Error::Fail(Code::kUnreadable, TerminalText(message));
    if (!message.empty()) notes.push_back(TerminalText(message));
  }
  if (o.from_yard) {
    std::string place;
    if (base::Error e = OpenYardAt(o.yard, run.yard, &place, o.yard_options); !e) return e;
    const std::string member =
        base::Cp932ToUtf8(base::TrimBlanks(run.form->Field(run::JobField::kMemberName).Text()));
    if (base::Error e = FillStock(*run.yard, place, o.section.empty() ? member : o.section,
                                  *run.form, run.form->yard_stock, run.fill);
        !e) {
      // Nothing of the section in the yard: no stock to plan with.
      if (e.code == Code::kRunMessage) run.outcome = run::RunOutcome::kNoStock;
      return e;
    }
    if (!run.fill.note.empty()) notes.push_back(run.fill.note);
  }
  if (before_run) {
    if (base::Error e = before_run(*run.form); !e) return e;
  }
  if (o.precision) run.form->SetPrecisionItem(*o.precision);
  if (base::Error e = ApplyPolicyOptions(o.policy, *run.form); !e) return e;
  // Cells that read other than they look are named; the run goes on as ever.
  if (o.list_doubtful_cells) {
    const std::vector<std::string> doubtful = run::DoubtfulCells(*run.form);
    if (!doubtful.empty()) notes.push_back(TerminalText(run::DoubtfulCellsText(doubtful)));
  }
  MessageCollector messages;
  run::RunHost host;
  host.messages = &messages;
  host.keys = o.search.keys;
  host.progress = o.search.progress;
  host.clock = o.search.clock;
  host.version_text = base::VersionText();
  run.outcome = run::RunCommand(*run.records, *run.form, host, true);
  if (run.outcome == run::RunOutcome::kPlanned) {
    run.plan.planned = true;
    run.plan.basis.content = JobContent(*run.form, run.form->yard_stock);
    if (o.from_yard) NoteYardBasis(run.plan, &run.fill);
  }
  if (!o.save_job.empty()) {
    if (const job::FileResult saved = job::WriteJobFile(*run.form, o.save_job); !saved)
      return base::Error::Fail(Code::kUnwritable,
                               TerminalText(job::CannotWriteMessage(o.save_job, saved.Reason())),
                               saved.Error());
  }
  for (const std::string& m : messages.messages) notes.push_back(TerminalText(m));
  if (run.outcome != run::RunOutcome::kPlanned) return base::Error::Fail(Code::kRunMessage, {});
  return {};
}

base::Error ApplyPolicyOptions(const PolicyOptions& o, job::JobForm& form) {
  optimiser::RemnantPolicy& policy = form.policy;
  if (o.offcuts_first && form.PrecisionItem() != optimiser::kPrecisionOptimal)
    return base::Error::Fail(Code::kUsage,
                             "--offcuts-first (端材優先) は精度が最適 (--precision optimal) の"
                             "ときだけ使えます");
  if (o.offcuts_first) {
    policy.offcuts_first = true;
    if (policy.keep <= 0) policy.keep = job::ReadYardKeep();
  }
  if (!o.keep || !policy.offcuts_first) return {};
  policy.keep = *o.keep;
  if (form.PrecisionItem() != optimiser::kPrecisionOptimal) return {};
  optimiser::LengthList stock;
  run::ReadGridIntoList(stock, form.StockGrid(), form.VerticalOrder());
  if (const std::string bad = run::BadKeepMessage(policy, stock); !bad.empty())
    return base::Error::Fail(Code::kUsage, "--keep: " + TerminalText(bad));
  return {};
}

int FailureClass(const base::Error& e) {
  switch (e.code) {
    case Code::kOk:
      return 0;
    case Code::kUsage:
    case Code::kUnreadable:
    case Code::kUnwritable:
    case Code::kYardInvalid:
    case Code::kYardDamaged:
    case Code::kYardForeign:
    case Code::kYardFailed:
      return 2;
    default:
      return 1;
  }
}

bool RecordPages(const JobRun& run, const report::ReportOptions& options, int& pages) {
  report::RecordingSurface surface;
  const report::ReportResult result = report::RebuildPages(surface, *run.records, options);
  pages = result.pages;
  return result.truncated;
}

base::Error CommitRun(JobRun& run, int32_t keep, int64_t& entry) {
  if (run.yard == nullptr)
    return base::Error::Fail(Code::kNotFromYard,
                             "素材リストが在庫からではありません（「在庫から」）。");
  PreparedCommit commit;
  if (base::Error e = PrepareCommit(*run.yard, *run.records, run.plan, *run.form,
                                    run.form->yard_stock, {run.job, keep}, commit);
      !e)
    return e;
  return ApplyCommit(*run.yard, run.plan, commit, entry);
}

}  // namespace zarvel::session
