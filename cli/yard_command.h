// "zarvel5 yard": the yard's items and ledger from the command line (list, add, take, history,
// undo, import), and what "plan --from-yard" needs: the job's stock filled from the yard and the
// plan committed to it.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/plan_command.h"
#include "yard/stock.h"
#include "yard/yard.h"

namespace zarvel::cli {

extern const char* const kYardUsage;

// Exit codes of the yard's refusals: a change the yard's state does not allow (exit 1) and a bad
// value or an unreadable file (exit 2).
int YardExitCode(const yard::Status& status);

// How the commands open the yard: a wait for a busy file is told on `err`.
yard::OpenOptions YardOptions(std::ostream& err, bool allow_network_file = false);

int RunYardCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The yard as "plan --from-yard" uses it: opened, its stock for the job's section written into
// the job's stock grid (the grid's cells emptied first) and the measured lengths given to the
// job. Answers nothing when the job can run, else the exit code (the message on err).
struct YardStock {
  std::unique_ptr<yard::Yard> yard;
  yard::StockFill fill;
  yard::Status status;  // why the yard could not be opened or read
};

// A yard's refusal as --json prints it: {"status": "yard-busy", "message": "..."}.
std::string YardStatusJson(const yard::Status& status);
EarlyExit FillStockFromYard(const CommandOptions& options, job::JobForm& form, YardStock& stock,
                            std::ostream& err);

// Commits the plan in `run` to the yard: its bars taken, its remnants of at least options.keep
// (else the YardKeep setting) added. Answers nothing with the ledger entry in `entry`, else the
// exit code with the reason's code in `refused`.
EarlyExit CommitPlan(const CommandOptions& options, const JobRun& run, YardStock& stock,
                     int64_t& entry, yard::Status::Code& refused, std::ostream& err);

}  // namespace zarvel::cli
