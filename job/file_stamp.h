// What a job file was when the window read or wrote it, to tell before a save whether something
// else changed it since.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zarvel::job {

struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  int64_t modified_ns = 0;  // the file's modification time, nanoseconds since the epoch
  uint64_t hash = 0;        // of the content (FNV-1a, 64 bits)
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the bytes just read from or written to `path` (UTF-8), with its time as the file
// system has it now.
FileStamp StampOfContent(const std::string& path, std::string_view content);
// The file as it is now (read whole, up to `limit` bytes); not existing when it cannot be read.
FileStamp StampOfFile(const std::string& path, std::size_t limit);

// Whether the file is no longer what `before` recorded: gone, another size or another content.
// A new time over the same bytes (a copy, a touch) is no change.
bool ChangedSince(const FileStamp& before, const FileStamp& now);

// "yyyy/mm/dd hh:mm" of the modification time, in local time.
std::string StampTime(const FileStamp& stamp);

}  // namespace zarvel::job
