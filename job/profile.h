// Profile (ini) files: "[section]" lines and "key=value" lines, CP932, section and key
// matched without regard to letter case.
#pragma once

#include <string>

namespace zarvel::job {

// The value (blanks trimmed), or `fallback` when the file, section or key is missing.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback);

// The same on a profile file's content.
std::string ProfileValue(const std::string& content, const std::string& section,
                         const std::string& key, const std::string& fallback);

// Sets the key, adding the section or the key when missing; the file is replaced whole.
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace zarvel::job
