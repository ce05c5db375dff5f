// The headless commands: "plan" prints the plan, "pages" the recorded report pages, "report"
// plays the pages onto PDF or PNG. Each opens the job file and runs it exactly as the run
// button does.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "job/job_form.h"
#include "optimiser/records.h"
#include "report/report.h"
#include "run/run_command.h"
#include "session/job_session.h"

namespace zarvel::cli {

// Exit codes.
inline constexpr int kExitPlanned = 0;
inline constexpr int kExitRunMessage = 1;
inline constexpr int kExitUsage = 2;

extern const char* const kUsage;        // the headless commands
extern const char* const kWindowUsage;  // the window's line
extern const char* const kNoDisplayMessage;
extern const char* const kTruncatedMessage;

struct CommandOptions {
  std::string job;
  std::optional<int> precision;  // the job's own when not given
  bool json = false;
  std::string save_job;
  std::string tables;  // "", "none", or any of A, B, C, S and L
  std::string pdf;
  std::string png_dir;
  std::string csv;                   // plan, order: the output written as CSV
  std::string cut_csv;               // plan: a cut list read from CSV before the run
  bool list_doubtful_cells = false;  // plan: cells that read other than they look, on err
  int keep = 1000;                   // order, plan, report, pages: the shortest offcut kept, mm
  bool keep_given = false;           // --keep was given (plan --commit: else the setting)
  std::vector<std::string> jobs;     // order: every job named
  bool from_yard = false;            // plan: the stock from the yard
  std::string yard;                  // plan: the yard file (--yard)
  bool allow_network_file = false;   // plan: a yard on a network drive is read (never changed)
  std::string section;               // plan: the yard's section, when not the member name's
  bool commit = false;               // plan: commit the plan to the yard
  int label_sheet = -1;              // pages, report: the label sheet's item; -1 the job's
  bool offcuts_first = false;        // plan, pages, report, order: 最適's remnant policy
  bool nest = false;                 // order: the jobs of one material planned together
};

// The remnant policy the words ask for (--offcuts-first, --keep), for session/.
session::PolicyOptions PolicyOptionsOf(const CommandOptions& options);

// Called after the job is read and before it runs: nothing when the job goes on, else the
// exit code (its message written by the hook).
using BeforeRun = std::function<std::optional<int>(job::JobForm& form)>;

// A job opened and run (session/).
using JobRun = session::JobRun;

// The exit code of a failure: 2 for files and words that cannot be used, 1 for what the job,
// the run or the yard's state refuse.
int ExitCode(const base::Error& error);

// The JSON status of a failed commit or fill: "yard-changed", "yard-busy", "outdated", ...
const char* StatusWord(const base::Error& error);
// A failed commit or fill as --json prints it: {"status": "yard-busy", "message": "..."}.
std::string ErrorJson(const base::Error& error);

// Parses the words after the command name; `allowed` lists the options the command takes
// ("--precision", "--json", ...). Returns false (usage printed) on a bad word.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& allowed,
                  CommandOptions& options, std::ostream& err);

// The exit code when a command ends early; nothing when it goes on.
using EarlyExit = std::optional<int>;

// A file a command reads, as a refusal to overwrite it names it.
struct InputFile {
  std::string path;
  const char* what;  // UTF-8: "仕事のファイル", "切断リスト"
};

// Refuses an output (`option` and its path) that is one of the files being read, compared by
// device and inode: the message on err and the exit code; nothing when it writes elsewhere.
EarlyExit RefuseOutputOntoInput(const std::vector<InputFile>& inputs, const std::string& option,
                                const std::string& output, std::ostream& err);

// `--help` (or `-h`) among a command's words: the usage on out and exit 0; else nothing.
EarlyExit HelpRequested(const std::vector<std::string>& args, std::ostream& out);

// Opens and runs the job (and saves it with --save-job; its stock from the yard with
// --from-yard). Answers nothing with a plan, else the exit code (messages, with the reason of a
// file error, on err).
EarlyExit OpenAndRun(const CommandOptions& options, JobRun& run, std::ostream& err,
                     const BeforeRun& before_run = {});

// The report switches: --tables when given, else the job's check boxes; the job's label sheet
// and --keep.
report::ReportOptions TableOptions(const CommandOptions& options, const job::JobForm& form);

// Opens and runs the job, then records its report pages. Answers nothing with the page count
// in `pages`, else the exit code.
EarlyExit PlanAndRecordPages(const CommandOptions& options, int& pages, std::ostream& err);

// Whether `zarvel5 ARGS` (no command word) may open the window: nothing when it may, else the
// exit code, with the usage on `out` for --help or the reason and the usage on `err`.
EarlyExit CheckWindowStart(const std::vector<std::string>& args, bool has_display,
                           const std::function<bool(const std::string&)>& is_file,
                           std::ostream& out, std::ostream& err);

int RunPlanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunPagesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The JSON status of a run's outcome: "ok", "no-stock", "short", "infeasible", ...
const char* StatusName(run::RunOutcome outcome);
// What a piece of `cut_bars` says after its length (bar and piece index): by default its mark.
using PieceFields = std::function<std::string(std::size_t bar, std::size_t piece)>;
// The plan's keys after the status, as `plan --json` prints them.
std::string PlanFields(const optimiser::OptimiserRecords& records,
                       const PieceFields& piece_fields = {});
// The plan as the JSON object of `plan --json` (status "ok").
std::string PlanJson(const optimiser::OptimiserRecords& records);
// A short run as `plan --json` gives it: status "short", the bars to add and the plan with them.
std::string ShortJson(const optimiser::OptimiserRecords& records);
// Bars per stock length as a JSON array of {"stock_length", "bars"}.
std::string ShortageJson(const std::vector<optimiser::StockBarsUsed>& bars);
// The plan as readable text (UTF-8).
std::string PlanText(const optimiser::OptimiserRecords& records);
// Every report page as "page N" and one line per command (UTF-8).
std::string PagesText(int pages);

}  // namespace zarvel::cli
