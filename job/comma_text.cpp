#include "job/comma_text.h"

#include "base/lines.h"

namespace zarvel::job {
namespace {

bool IsBlankOrControl(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b <= ' ' || b == 0x7F;
}

bool NeedsQuotes(std::string_view cell) {
  for (char c : cell)
    if (IsBlankOrControl(c) || c == '"' || c == ',') return true;
  return false;
}

}  // namespace

std::string JoinCommaText(const std::vector<std::string>& cells) {
  if (cells.size() == 1 && cells[0].empty()) return "\"\"";
  return base::JoinFields(cells, NeedsQuotes);
}

std::vector<std::string> SplitCommaText(std::string_view line) {
  std::vector<std::string> values;
  std::size_t p = 0;
  const std::size_t n = line.size();
  auto skip_blanks = [&] {
    while (p < n && IsBlankOrControl(line[p])) ++p;
  };
  skip_blanks();
  while (p < n) {
    std::string value;
    if (line[p] == '"') {
      ++p;
      while (p < n) {
        if (line[p] == '"') {
          if (p + 1 < n && line[p + 1] == '"') {
            value += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        value += line[p++];
      }
    } else {
      const std::size_t start = p;
      while (p < n && !IsBlankOrControl(line[p]) && line[p] != ',') ++p;
      value.assign(line.substr(start, p - start));
    }
    values.push_back(std::move(value));
    skip_blanks();
    if (p < n && line[p] == ',') {
      ++p;
      skip_blanks();
      if (p >= n) values.emplace_back();
    }
  }
  return values;
}

}  // namespace zarvel::job
