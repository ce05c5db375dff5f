// Comma text: whatever a line splits into is written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "job/comma_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const auto values = zarvel::job::SplitCommaText(line);
  if (zarvel::job::SplitCommaText(zarvel::job::JoinCommaText(values)) != values) __builtin_trap();
  return 0;
}
