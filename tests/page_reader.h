// Reads a recorded page back as command lines ("text 11.00 21.00 A", "lineto ...").
#pragma once

#include <string>
#include <vector>

#include "drawing/pages.h"

namespace zarvel::testing {

inline std::vector<std::string> PageCommands(int slot) {
  std::vector<std::string> out;
  const auto words = drawing::PageWords(slot);
  for (std::size_t i = 0; i + 1 < words.size() && words[i + 1] >= 2; i += words[i + 1])
    out.push_back(drawing::DescribeCommand(words.subspan(i, words[i + 1])));
  return out;
}

// Only the commands that start with `kind` (e.g. "text", "font", "lineto").
inline std::vector<std::string> PageCommands(int slot, const std::string& kind) {
  std::vector<std::string> out;
  for (const std::string& c : PageCommands(slot))
    if (c.rfind(kind, 0) == 0) out.push_back(c);
  return out;
}

// The characters of all text commands, in order.
inline std::string PageText(int slot) {
  std::string s;
  for (const std::string& c : PageCommands(slot, "text ")) {
    // "text X Y chars"
    const std::size_t a = c.find(' ', 5);
    const std::size_t b = c.find(' ', a + 1);
    s += c.substr(b + 1);
  }
  return s;
}

}  // namespace zarvel::testing
