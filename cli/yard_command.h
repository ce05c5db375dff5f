// "zarvel5 yard": the yard's items and ledger from the command line (list, add, take, history,
// undo, import); every change goes through session/.
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

// A yard's refusal as --json prints it: {"status": "yard-busy", "message": "..."}.
std::string YardStatusJson(const yard::Status& status);

}  // namespace zarvel::cli
