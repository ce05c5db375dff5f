// The headless "plan" command: open a job file, run it exactly as the run button does, print
// the plan.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "optimiser/records.h"

namespace zarvel::cli {

// Exit codes.
inline constexpr int kExitPlanned = 0;
inline constexpr int kExitRunMessage = 1;
inline constexpr int kExitUsage = 2;

// args: the words after "plan". Output goes to out (the plan) and err (messages), UTF-8.
int RunPlanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The plan as the JSON object of `plan --json` (status "ok").
std::string PlanJson(const optimiser::OptimiserRecords& records);

// The plan as readable text (UTF-8).
std::string PlanText(const optimiser::OptimiserRecords& records);

}  // namespace zarvel::cli
