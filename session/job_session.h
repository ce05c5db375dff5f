// A job's life for the commands: opened from its file (a cut list from CSV read in), its stock
// filled from the yard, run at a precision, saved, its pages recorded and its plan committed.
// The window holds its job in its own widgets and uses the same steps (plan_state.h,
// yard_session.h, and the run's three steps in run/).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "job/job_form.h"
#include "optimiser/records.h"
#include "optimiser/search.h"
#include "report/report.h"
#include "run/run_command.h"
#include "session/plan_state.h"
#include "session/yard_session.h"

namespace zarvel::session {

// The remnant policy a command asks of 最適, over the job's own: `--offcuts-first` turns it on,
// `--keep` gives its keep length (else the job's, else the settings' YardKeep). Commands that
// plan jobs pass it through unchanged.
struct PolicyOptions {
  bool offcuts_first = false;
  std::optional<int32_t> keep;
};

struct JobOptions {
  std::string job;                   // the job file (UTF-8 path)
  std::string cut_csv;               // a cut list read from CSV before the run
  std::optional<int> precision;      // the job's own when not given
  std::string save_job;              // saved there after the run
  bool list_doubtful_cells = false;  // cells that read other than they look, noted
  bool from_yard = false;            // the stock from the yard
  std::string yard;                  // the yard's place (empty: the setting's)
  std::string section;               // the yard's section, when not the member name's
  yard::OpenOptions yard_options;    // a busy yard's waiting, a network file read only
  PolicyOptions policy;
  // The search's progress label, keys (Shift ends it early, keeping its best plan) and pauses:
  // the window's while it runs the job on a thread of its own; absent on the command line.
  optimiser::SearchHost search;
};

// A job opened and run.
struct JobRun {
  std::string job;  // the job file it was opened from
  std::unique_ptr<optimiser::OptimiserRecords> records;
  std::unique_ptr<job::JobForm> form;
  run::RunOutcome outcome = run::RunOutcome::kInfeasible;
  PlanState plan;
  std::unique_ptr<yard::Yard> yard;  // opened when the stock came from the yard
  YardFill fill;
};

// Called after the job is read and before it runs; a failure ends the job there.
using BeforeRun = std::function<base::Error(job::JobForm& form)>;

// A message of the program (CP932, with the dialog's markers) as a terminal shows it: UTF-8,
// without the markers.
std::string TerminalText(const std::string& cp932);

// Opens the job, fills its stock from the yard when asked, runs it and saves it when asked.
// Every message met on the way goes to `notes` (UTF-8, one entry each). Ok with a plan; else
// kUnreadable or kUnwritable (a file), kUsage, a yard's code, or kRunMessage (the run ended with
// one of its messages: `run.outcome` says which).
base::Error OpenAndRun(const JobOptions& options, JobRun& run, std::vector<std::string>& notes,
                       const BeforeRun& before_run = {});

// Applies `options` to the job read into `form`, at its precision: kUsage, naming the option,
// when --offcuts-first comes with a precision other than 最適 or the keep length asked for is
// one no bar can leave.
base::Error ApplyPolicyOptions(const PolicyOptions& options, job::JobForm& form);

// OpenAndRun after the file is read: for a job made in memory (`run.records` and `run.form`
// set, the job's values in the form), from the cut list's CSV on.
base::Error RunOpened(const JobOptions& options, JobRun& run, std::vector<std::string>& notes,
                      const BeforeRun& before_run = {});

// What a failure means to a command's caller: 0 none, 1 refused by the job, the run or the
// yard's state, 2 words or files that cannot be used (the commands' exit codes).
int FailureClass(const base::Error& error);

// Records the report pages of the run's plan; true when they were cut short at the last page
// the table holds.
bool RecordPages(const JobRun& run, const report::ReportOptions& options, int& pages);

// Commits the run's plan to its yard: PrepareCommit and ApplyCommit with the job's file name.
base::Error CommitRun(JobRun& run, int32_t keep, int64_t& entry);

}  // namespace zarvel::session
