// A text's lines, as job files, settings, cut lists, messages and the clipboard are read.
#pragma once

#include <string>
#include <vector>

namespace zarvel::text {

// Longest line taken; the rest of a longer line is cut off.
inline constexpr std::size_t kMaxLineLength = 64 * 1024;

// Splits text into lines at CR LF, LF or CR.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace zarvel::text
