// Reads a recorded page back as command lines ("text 11.00 21.00 A", "lineto ...").
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "drawing/pages.h"
#include "drawing/playback.h"

namespace zarvel::testing {

inline std::vector<std::string> PageCommands(int slot) {
  return drawing::DescribePage(slot);
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
    // text X Y "chars"
    const std::size_t open = c.find('"');
    s += c.substr(open + 1, c.size() - open - 2);
  }
  return s;
}

// The characters of every page of a report (pages 1..n), each page after "page N".
inline std::string PageTextOfReport(int pages) {
  std::string s;
  for (int p = 1; p <= pages; ++p)
    s += "page " + std::to_string(p) + "\n" + PageText(p + drawing::kFirstReportSlot) + "\n";
  return s;
}

// A character drawn on a page and where.
struct DrawnChar {
  double x = 0;
  double y = 0;
  std::string chars;
};

inline std::vector<DrawnChar> DrawnChars(int slot) {
  std::vector<DrawnChar> out;
  for (const std::string& c : PageCommands(slot, "text ")) {
    DrawnChar d;
    if (std::sscanf(c.c_str(), "text %lf %lf", &d.x, &d.y) != 2) continue;
    const std::size_t open = c.find('"');
    d.chars = c.substr(open + 1, c.size() - open - 2);
    out.push_back(d);
  }
  return out;
}

// Indices of the first characters of every run of consecutive characters spelling `text`.
inline std::vector<std::size_t> FindRuns(const std::vector<DrawnChar>& chars,
                                         const std::string& text) {
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    std::string s;
    for (std::size_t k = i; k < chars.size() && s.size() < text.size(); ++k) s += chars[k].chars;
    if (s == text) found.push_back(i);
  }
  return found;
}

}  // namespace zarvel::testing
