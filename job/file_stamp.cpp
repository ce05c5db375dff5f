#include "job/file_stamp.h"

#include <sys/stat.h>

#include <ctime>

#include "base/format.h"
#include "job/file_system.h"
#include "job/safe_file.h"

namespace zarvel::job {
namespace {

uint64_t Fnv1a(std::string_view bytes) {
  uint64_t h = 14695981039346656037ULL;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ULL;
  }
  return h;
}

}  // namespace

FileStamp StampOfContent(const std::string& path, std::string_view content) {
  FileStamp stamp;
  struct stat st {};
  if (Files().Stat(path, st) != 0) return stamp;
  stamp.exists = true;
  stamp.size = content.size();
  stamp.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.hash = Fnv1a(content);
  return stamp;
}

FileStamp StampOfFile(const std::string& path, std::size_t limit) {
  std::string content;
  if (!ReadWholeFile(path, content, limit, Overlong::kCut)) return {};
  return StampOfContent(path, content);
}

bool ChangedSince(const FileStamp& before, const FileStamp& now) {
  return before.exists != now.exists || before.size != now.size || before.hash != now.hash;
}

std::string StampTime(const FileStamp& stamp) {
  const auto seconds = static_cast<std::time_t>(stamp.modified_ns / 1000000000);
  std::tm local{};
  localtime_r(&seconds, &local);
  return base::Format("%04d/%02d/%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min);
}

}  // namespace zarvel::job
