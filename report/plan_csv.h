// The plan as a CSV file for spreadsheets: CP932, CR LF, one header row, one row per pattern,
// then the summary page's totals.
#pragma once

#include <string>
#include <vector>

#include "optimiser/records.h"

namespace zarvel::report {

// The whole file's bytes.
std::string PlanCsv(const optimiser::OptimiserRecords& records);

// One CSV line: fields joined by commas, a field holding a comma, a quote or a line break
// quoted (quotes doubled); CR LF appended.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace zarvel::report
