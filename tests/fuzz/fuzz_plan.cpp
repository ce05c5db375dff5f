// A job file's bytes, run as the run button does (at 低) and laid out as report pages.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "drawing/pages.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "optimiser/search.h"
#include "report/plan_csv.h"
#include "report/report.h"
#include "run/run_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static auto* records = new zarvel::optimiser::OptimiserRecords;
  zarvel::job::JobForm form(*records);
  const std::string content(reinterpret_cast<const char*>(data), size);
  zarvel::job::LoadJobText(form, &content);
  // The run command's steps, with a work budget small enough for a sanitizer build.
  zarvel::run::ReadConditions(records->conditions, form);
  zarvel::run::RelayoutGrids(*records, form);
  if (records->stock.Empty() || records->cut.Empty() ||
      !zarvel::optimiser::WithinSearchLimits(*records, 5'000'000))
    return 0;
  records->random.Seed(0);
  if (zarvel::optimiser::RunSearch(*records, {}, 10, 5'000'000) == 0) {
    zarvel::report::RecordingSurface surface;
    zarvel::report::ReportOptions options;
    options.table_a = (size & 1) != 0;
    options.table_b = (size & 2) != 0;
    options.table_c = (size & 4) != 0;
    const auto result = zarvel::report::RebuildPages(surface, *records, options);
    if (result.pages < 1 || result.pages > zarvel::drawing::kPageSlots) __builtin_trap();
    if (zarvel::report::PlanCsv(*records).empty()) __builtin_trap();
  }
  return 0;
}
