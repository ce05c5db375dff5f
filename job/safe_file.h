// Writing a file so that it is always either the old one or the complete new one, and reading
// one whole; both answer why they failed.
#pragma once

#include <optional>
#include <string>

#include "job/file_result.h"

namespace zarvel::job {

// The prefix of the temporary file a save writes beside its target ("XXXXXX" follows).
inline constexpr const char* kTempPrefix = ".zv5-save-";

// Writes `data` to a temporary file in the target's folder, flushes it and renames it over
// the target. A symbolic link is followed to the file it names (the link stays); a target that
// is not a regular file, or is write-protected, is refused. An existing file keeps its mode
// (and owner where allowed); a new one gets what the umask allows. On failure the old file is
// untouched. After a successful save, temporary files that interrupted saves left in that
// folder are removed.
FileResult ReplaceFile(const std::string& path, const std::string& data);

// Whether a file longer than the limit is an error or is read up to the limit.
enum class Overlong { kCut, kFail };

// The whole file (at most `limit` bytes); fails when it is not a readable regular file.
FileResult ReadWholeFile(const std::string& path, std::string& out, std::size_t limit,
                         Overlong overlong = Overlong::kCut);

bool IsRegularFile(const std::string& path);

// What names one file however it is reached (another path, a link): device and inode.
struct FileId {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  bool operator==(const FileId&) const = default;
};
// The identity of an existing file; nothing when it cannot be looked at.
std::optional<FileId> IdentityOf(const std::string& path);

// Whether two paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

// The file a path names after following symbolic links (the path itself when it is none);
// the last link may name a file that does not exist yet.
FileResult ResolveLinks(const std::string& path, std::string& resolved);

}  // namespace zarvel::job
