// "zarvel5 nest": a project's jobs planned together per material (session/nest.h), each piece
// with its job and mark; the groups printed as text or JSON, committed to the yard together.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/plan_command.h"
#include "session/nest.h"

namespace zarvel::cli {

session::Nest BuildNest(const CommandOptions& options, std::ostream* progress);

std::string NestText(const session::Nest& nest);  // UTF-8
// {"status", "jobs": [...], "groups": [{"section", "grade", "jobs", "status", <plan --json
// fields>}], "notes"}; the pieces of "cut_bars" carry "job" and "mark".
std::string NestJson(const session::Nest& nest);  // UTF-8

int RunNestCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarvel::cli
