#include "base/lines.h"

#include <algorithm>

namespace zarvel::base {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    std::size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    lines.push_back(text.substr(i, std::min(j - i, kMaxLineLength)));
    if (j < n && text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') ++j;
    i = j + 1;
  }
  return lines;
}

std::string JoinFields(const std::vector<std::string>& fields, bool (*quote)(std::string_view)) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& f = fields[i];
    if (!quote(f)) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::size_t MarkerLength(std::string_view message) {
  if (message.substr(0, 2) != "[#") return 0;
  const std::size_t close = message.find(']');
  return close == std::string_view::npos ? 2 : close + 1;
}

}  // namespace zarvel::base
