// zarvel5: the planner's command line.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/plan_command.h"

int main(int argc, char** argv) {
  // Numbers are read and written with a decimal point whatever the user's locale says.
  std::setlocale(LC_NUMERIC, "C");
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "plan") {
    return zarvel::cli::RunPlanCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  std::cerr << "usage: zarvel5 plan JOB.zv5 [--precision low|medium|high] [--json] "
               "[--save-job OUT.zv5]\n";
  return zarvel::cli::kExitUsage;
}
