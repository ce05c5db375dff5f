// A job file's bytes, loaded into the headless form, re-laid out and written back.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "job/job_file.h"
#include "job/job_form.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static auto* records = new zarvel::optimiser::OptimiserRecords;
  zarvel::job::JobForm form(*records);
  const std::string content(reinterpret_cast<const char*>(data), size);
  zarvel::job::LoadJobText(form, &content);
  // What was loaded can be saved and loads back to the same lines.
  const auto lines = zarvel::job::JobFileLines(form);
  std::string again;
  for (const std::string& l : lines) again += l + "\r\n";
  zarvel::job::JobForm second(*records);
  zarvel::job::LoadJobText(second, &again);
  if (zarvel::job::JobFileLines(second).size() != lines.size()) __builtin_trap();
  return 0;
}
