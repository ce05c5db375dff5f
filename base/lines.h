// A text's lines, as job files, settings, cut lists, messages and the clipboard are read; lines
// of comma-separated fields; the markers a message begins with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarvel::base {

// Longest line taken; the rest of a longer line is cut off.
inline constexpr std::size_t kMaxLineLength = 64 * 1024;

// Splits text into lines at CR LF, LF or CR.
std::vector<std::string> SplitLines(const std::string& text);

// Fields joined by commas; a field `quote` picks is put in double quotes, its own doubled.
std::string JoinFields(const std::vector<std::string>& fields, bool (*quote)(std::string_view));

// A message may begin with markers for the message dialog ("[#×]" a red cross, "[#COPY]" a
// copy button), each from "[#" to the first "]" after it. The byte length of the marker the
// text begins with: "[#" alone when no "]" follows, 0 when the text does not begin with "[#".
std::size_t MarkerLength(std::string_view message);

}  // namespace zarvel::base
