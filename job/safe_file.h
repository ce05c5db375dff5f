// Writing a file so that it is always either the old one or the complete new one.
#pragma once

#include <string>

namespace zarvel::job {

// Writes `data` to a temporary file beside `path`, flushes it and renames it over `path`.
// On failure the old file is untouched and false is returned.
bool ReplaceFile(const std::string& path, const std::string& data);

// The whole file (at most `limit` bytes); false when it is not a readable regular file.
bool ReadWholeFile(const std::string& path, std::string& out, std::size_t limit);

bool IsRegularFile(const std::string& path);

}  // namespace zarvel::job
