#include "text/report_lines.h"

#include <algorithm>
#include <array>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "drawing/primitives.h"
#include "text/fields.h"
#include "text/output.h"

namespace zarvel::text {
namespace {

constexpr std::size_t kMaxRuleColumn = 256;
constexpr std::size_t kMarkerColumns = 8;  // heading and list markers count only this far in

using drawing::ReportLineState;
using drawing::RuleColumn;

ReportLineState& State() {
  return drawing::CurrentPageContext().report_lines;
}

// Whether the two-byte character `ch` is one of those in `list` (a CP932 string of them).
bool OneOf(const std::string& ch, const char* utf8_list) {
  const std::string& list = base::Lit(utf8_list);
  for (std::size_t i = 0; i + 1 < list.size(); i += 2)
    if (list.compare(i, 2, ch) == 0) return true;
  return false;
}

void Rule(double x1, double y1, double x2, double y2, int weight) {
  drawing::SetLineWeight(weight);
  drawing::DrawSheetLine(x1, y1, x2, y2, 0, 1);
}

}  // namespace

void ResetHeadingNumbers() {
  State().headings.fill(0);
}

void DrawTableRules(double x, double y, std::string& line) {
  ReportLineState& st = State();
  const StFont& style = TextStyle();
  const double w = style.width;
  const double ym = y + style.height / 2;
  if (line.find(base::Lit("┌")) != std::string::npos ||
      line.find(base::Lit("┏")) != std::string::npos) {
    for (RuleColumn& r : st.rules) r = RuleColumn{};
  }
  std::size_t h = 0;
  int hw = 0;
  // Columns are 1-based: the character at byte i0 is column i0 + 1, which must stay below
  // min(length, 256).
  const std::size_t end = std::min(line.size(), kMaxRuleColumn);
  for (std::size_t i0 = 0; i0 + 1 < end;) {
    const auto b = static_cast<unsigned char>(line[i0]);
    if (!IsTextLeadByte(b) || i0 + 1 >= line.size()) {
      ++i0;
      continue;
    }
    const std::string ch = line.substr(i0, 2);
    const int code = b * 256 + static_cast<unsigned char>(line[i0 + 1]);
    const std::size_t i = i0 + 1;  // 1-based column: the character's centre is at x + i·W
    if (code >= 0x849F && code <= 0x84BE) {
      if (OneOf(ch, "┌└├┠┝┏┗┣")) {
        h = i;
        hw = OneOf(ch, "┌└├┠") ? 1 : 2;
      }
      if (ch == base::Lit("━") && hw != 0) hw = 2;
      if (OneOf(ch, "┐┘┤┨┓┛┫┥")) {
        if (hw != 0) Rule(x + h * w, ym, x + i * w, ym, hw);
        hw = 0;
      }
      if (ch == base::Lit("┃") && st.rules[i].weight != 0) st.rules[i].weight = 2;
      if (OneOf(ch, "┌┐┬┏┓┳┯┰")) st.rules[i] = {ym, OneOf(ch, "┌┐┬┯") ? 1 : 2};
      if (OneOf(ch, "┘└┴┛┗┻┷┸") && st.rules[i].weight != 0) {
        Rule(x + i * w, st.rules[i].start_y, x + i * w, ym, st.rules[i].weight);
        st.rules[i] = RuleColumn{};
      }
      if (!(ch == base::Lit("─") && hw == 0)) {
        line[i0] = ' ';
        line[i0 + 1] = ' ';
      }
    }
    i0 += 2;
  }
}

void PutReportLine(double x, double y, const std::string& input) {
  ReportLineState& st = State();
  std::string line = input;
  const std::size_t note = line.find(base::Lit("【"));
  if (note != std::string::npos) {
    line = base::FoldFullWidthSpaces(line.substr(0, note));
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
  }
  std::array<int, 4>& n = st.headings;
  const std::size_t heading = line.find("%.");
  if (heading != std::string::npos && heading < kMarkerColumns) {
    const std::string tail = line.substr(heading);
    if (tail.rfind("%.%.%", 0) == 0) {
      ++n[2];
      n[3] = 0;
      line.replace(heading, 5, base::Format("%d.%d.%d", n[0], n[1], n[2]));
    } else if (tail.rfind("%.%", 0) == 0) {
      ++n[1];
      n[2] = n[3] = 0;
      line.replace(heading, 3, base::Format("%d.%d", n[0], n[1]));
    } else {
      ++n[0];
      n[1] = n[2] = n[3] = 0;
      line.replace(heading, 2, base::Format("%d.", n[0]));
    }
  }
  const std::size_t list = line.find("%)");
  if (list != std::string::npos && list < kMarkerColumns) {
    ++n[3];
    line.replace(list, 1, base::Format("%d", n[3]));
  }

  line += ' ';
  const double w = TextStyle().width;
  std::size_t open = 0;  // 1-based column where the open cell starts; 0 none
  for (std::size_t i = 1; i < line.size();) {
    const auto b = static_cast<unsigned char>(line[i - 1]);
    if (!IsTextLeadByte(b) || i >= line.size()) {
      ++i;
      continue;
    }
    const std::string ch = line.substr(i - 1, 2);
    if (ch == base::Lit("　")) {
      line[i - 1] = line[i] = ' ';
    } else if (open == 0 && OneOf(ch, "│├┃┠┣┝")) {
      open = i + 2;
    } else if (open != 0 && OneOf(ch, "│┃┤┫┥")) {
      const std::string cell = line.substr(open - 1, i - open);
      const std::string t(base::TrimBlanks(cell));
      const double along =
          (open - 1) * w +
          (static_cast<double>(cell.size()) - static_cast<double>(t.size())) * w / 2;
      PutNotationText(x, y, along, 0, t);
      if (!t.empty() && t[0] == '#' && AnonymousFieldCount() > 0) {
        if (ValueField* f = FieldAt(AnonymousFieldCount() - 1)) {
          f->field_width = static_cast<double>(cell.size() + 2) * w;
          f->left_limit = (static_cast<double>(open) - 2) * w;
        }
      }
      std::fill(line.begin() + static_cast<std::ptrdiff_t>(open - 1),
                line.begin() + static_cast<std::ptrdiff_t>(i - 1), ' ');
      open = 0;
      continue;  // the closing character may open the next cell
    }
    i += 2;
  }
  DrawTableRules(x, y, line);
  PutNotationText(x, y, 0, 0, line);
}

}  // namespace zarvel::text
