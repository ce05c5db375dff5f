#include "job/piece_marks.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/format.h"
#include "job/comma_text.h"

namespace zarvel::job {

namespace {

// A whole positive number written in ASCII digits, at most nine of them.
bool ReadCount(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  value = std::stoi(text);
  return value > 0;
}

}  // namespace

std::vector<std::string> MarkLines(const std::vector<optimiser::PieceMark>& marks) {
  if (marks.empty()) return {};
  std::vector<std::string> lines{kMarksSection, base::Format("Marks = %zu", marks.size())};
  for (const optimiser::PieceMark& m : marks)
    lines.push_back(JoinCommaText({m.mark, std::to_string(m.length), std::to_string(m.count)}));
  return lines;
}

std::vector<optimiser::PieceMark> ReadMarks(std::string_view content) {
  std::vector<optimiser::PieceMark> marks;
  std::size_t at = 0;
  bool in_section = false;
  bool counted = false;
  std::size_t left = 0;
  while (at < content.size()) {
    std::size_t end = content.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = content.substr(at, end - at);
    at = end + (content.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (!in_section) {
      in_section = line == kMarksSection;
      continue;
    }
    if (!line.empty() && line[0] == '[') break;  // another section
    if (!counted) {
      counted = true;
      int32_t n = 0;
      if (line.rfind("Marks = ", 0) != 0 || !ReadCount(std::string(line.substr(8)), n)) break;
      left = std::min<std::size_t>(static_cast<std::size_t>(n), kMaxMarks);
      continue;
    }
    if (left == 0) break;
    --left;
    const std::vector<std::string> f = SplitCommaText(line);
    int32_t length = 0, count = 0;
    if (f.size() < 3 || f[0].empty() || !ReadCount(f[1], length) || !ReadCount(f[2], count))
      continue;
    AddMark(marks, base::HeadBytes(f[0], kMaxMarkBytes), length, count);
  }
  return marks;
}

void AddMark(std::vector<optimiser::PieceMark>& marks, const std::string& mark, int32_t length,
             int32_t count) {
  for (optimiser::PieceMark& m : marks) {
    if (m.mark == mark && m.length == length) {
      m.count = static_cast<int32_t>(std::min<long long>(1LL * m.count + count, INT32_MAX));
      return;
    }
  }
  marks.push_back({mark, length, count});
}

std::string MarksOfLength(const std::vector<optimiser::PieceMark>& marks, int32_t length) {
  std::string text;
  for (const optimiser::PieceMark& m : marks) {
    if (m.length != length) continue;
    if (!text.empty()) text += ", ";
    text += m.mark + (m.count > 1 ? base::Format(" \x81\x7E%d", m.count) : std::string());
  }
  return text;
}

}  // namespace zarvel::job
