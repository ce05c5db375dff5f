#include "report/blocks.h"

#include <algorithm>
#include <array>

#include "base/cp932.h"
#include "base/numbers.h"
#include "drawing/page_context.h"
#include "text/fields.h"
#include "text/output.h"
#include "text/report_lines.h"

namespace zarvel::report {
namespace {

constexpr double kStartAdvance = 5.76;
constexpr std::size_t kMaxLineText = 999;  // bytes 6..1004 of a template line
constexpr double kBlockX = 1.0;

std::array<bool, 32>& Flags() {
  return drawing::CurrentPageContext().template_flags;
}

std::string TextOf(const std::string& line) {
  return (line.size() > 5 ? line.substr(5, kMaxLineText) : std::string()) + " ";
}

// The advance a prefix asks for, or `previous` when it names none.
double Advance(const std::string& prefix, double previous) {
  const double v = static_cast<double>(base::ParseNumber(prefix));
  if (prefix.find("+0") != std::string::npos || (!prefix.empty() && prefix[0] == '0') || v != 0)
    return v;
  double advance = previous;
  const std::pair<const char*, double> named[] = {
      {"F1", 6.4}, {"F2", 5.76}, {"F3", 2.88}, {"F4", 2.52}};
  for (auto [key, value] : named) {
    if (prefix.find(key) != std::string::npos) advance = value;
  }
  // "-F" turns whatever advance is in force upwards, a named one or the one kept.
  if (prefix.rfind("-F", 0) == 0) advance = -advance;
  return advance;
}

bool Skipped(const std::string& prefix, std::size_t at) {
  if (prefix.size() <= at) return false;
  const char c = prefix[at];
  return c >= 'A' && c <= 'Z' && !TemplateFlag(c);
}

// Position of the first of the strings in text (npos when none occurs).
std::size_t FirstOf(const std::string& text, const std::string& a, const std::string& b) {
  return std::min(text.find(a), text.find(b));
}

}  // namespace

void SetTemplateFlag(char letter) {
  Flags()[letter & 31] = true;
}

void ClearTemplateFlag(char letter) {
  if (letter == 0) {
    Flags().fill(false);
  } else {
    Flags()[letter & 31] = false;
  }
}

bool TemplateFlag(char letter) {
  return Flags()[letter & 31];
}

double ExecPrintBlock(double y, const std::vector<std::string>& input, int table_mode,
                      int row_count) {
  // The template ends at its first empty entry.
  std::vector<std::string> lines;
  for (const std::string& l : input) {
    if (l.empty()) break;
    lines.push_back(l);
  }
  double h, w, angle;
  int code;
  text::GetTextStyle(h, w, angle, code);
  text::ResetValueFields();
  double advance = kStartAdvance;
  const std::string& rule = base::Lit("│");
  const std::string& thick = base::Lit("┃");

  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string prefix = lines[k].substr(0, 5);
    std::string body = TextOf(lines[k]);
    if (Skipped(prefix, 3) || Skipped(prefix, 4)) continue;
    text::SetTextStyle(h, w, 0, 1);
    advance = Advance(prefix, advance);

    if (table_mode != 0 && row_count != 0) {
      const std::size_t first_rule = FirstOf(body, rule, thick);
      const std::size_t a1 = body.find("&" + rule);
      const std::size_t a2 = body.find("&" + thick);
      const std::size_t later =
          std::max(a1 == std::string::npos ? 0 : a1 + 1, a2 == std::string::npos ? 0 : a2 + 1);
      if (first_rule != std::string::npos && later != 0 && later - 1 < first_rule) {
        body[later - 1] = ' ';
        const std::string separator = k + 1 < lines.size() ? TextOf(lines[k + 1]) : " ";
        const std::string closing = k + 2 < lines.size() ? TextOf(lines[k + 2]) : " ";
        const int last = std::max(row_count, table_mode);
        for (int r = table_mode; r <= last; ++r) {
          y += advance;
          text::PutReportLine(kBlockX, y, body);
          if (r == last) break;
          y += advance;
          text::PutReportLine(kBlockX, y, separator);
        }
        y += advance;
        text::PutReportLine(kBlockX, y, closing);
        k += 2;
        continue;
      }
    }
    y += advance;
    text::PutReportLine(kBlockX, y, body);
  }
  text::SetTextStyle(h, w, 0, 1);
  for (char c : {'X', 'Y', 'Z'}) ClearTemplateFlag(c);
  return y;
}

}  // namespace zarvel::report
