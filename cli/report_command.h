// "zarvel5 report": the report pages played onto a PDF printer or PNG files (needs Qt).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zarvel::cli {

int RunReportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "zarvel5 nest ... --pdf OUT.pdf | --png DIR": every planned group's report in turn.
int RunNestReportCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err);

}  // namespace zarvel::cli
