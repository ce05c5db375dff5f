// The settings file and the recent-file list as they may lie on disk.
#include <cstddef>
#include <cstdint>
#include <string>

#include "job/profile.h"
#include "job/recent_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const std::string value = zarvel::job::ProfileValue(content, "Zarvel", "LastFile", "@@@.@@@");
  if (value.size() > content.size() && value != "@@@.@@@") __builtin_trap();
  const auto paths = zarvel::job::ParseRecentList(content);
  for (const std::string& p : paths)
    if (p.size() > 4 * content.size() + 4) __builtin_trap();
  return 0;
}
