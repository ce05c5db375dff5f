#include "text/fitted_text.h"

#include <algorithm>
#include <cmath>

#include "base/cp932.h"
#include "drawing/primitives.h"
#include "text/output.h"

namespace zarvel::text {
namespace {

// Lengths that agree to within rounding are equal: a text exactly as wide as its room fits.
constexpr double kSlack = 1e-9;

bool FitsIn(double advance, double room) {
  return advance <= room + kSlack;
}

// The character boundary that splits `text` into the two most equal lines (the first the
// longer on a tie).
std::size_t BalancedBreak(const std::string& text) {
  std::size_t best = 0;
  std::size_t best_longest = text.size();
  for (std::size_t at = 0; at < text.size(); at += base::CharLength(text, at)) {
    const std::size_t longest = std::max(at, text.size() - at);
    if (at > 0 && longest <= best_longest) {
      best = at;
      best_longest = longest;
    }
  }
  return best;
}

std::string WithoutTrailingBlanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The column the font really draws: `width` rounded down to a whole step, at least one step.
double RealColumn(double width, const FitLimits& limits) {
  if (!(limits.width_step > 0)) return width;
  return std::max(1.0, std::floor(width / limits.width_step + kSlack)) * limits.width_step;
}

}  // namespace

FitLimits PageFitLimits() {
  FitLimits limits;
  limits.width_step = 2 / drawing::Drawing().dots_per_mm;
  return limits;
}

double TextAdvance(std::string_view text, double width) {
  return static_cast<double>(text.size()) * width;
}

namespace {

FittedText FitAtAnyWidth(const std::string& text, double height, double width, double room,
                         double room_height, const FitLimits& limits) {
  FittedText f{height, width, 0, {}, false};
  if (text.empty()) return f;
  if (!(room > 0) || !(height > 0)) {
    f.cut = true;
    return f;
  }
  const auto n = static_cast<double>(text.size());
  // As it is, or with narrower characters.
  f.lines = {text};
  if (FitsIn(TextAdvance(text, width), room)) return f;
  if (room / n >= limits.narrowest * height - kSlack) {
    f.width = room / n;
    return f;
  }
  f.lines.clear();
  // Smaller, down to the smallest readable size.
  const double smallest = std::min(limits.smallest, height);
  const double shrunk = room / n / limits.narrowest;
  if (shrunk >= smallest - kSlack) {
    f.height = shrunk;
    f.width = room / n;
    f.top = (height - shrunk) / 2;
    f.lines = {text};
    return f;
  }
  // Two lines, as large as the place allows.
  const bool two_lines = limits.max_lines >= 2 && room_height >= 2 * smallest - kSlack;
  if (two_lines) {
    const std::size_t at = BalancedBreak(text);
    const auto longest = static_cast<double>(std::max(at, text.size() - at));
    double h = std::min(height, room_height / 2);
    double w = std::min(width * h / height, room / longest);
    if (w < limits.narrowest * h) {
      h = room / longest / limits.narrowest;
      w = room / longest;
    }
    if (h >= smallest - kSlack) {
      f.height = h;
      f.width = w;
      f.top = std::max(0.0, (height - 2 * h) / 2);
      f.lines = {text.substr(0, at), text.substr(at)};
      return f;
    }
  }
  // Cut at a whole character, at the smallest size and narrowest characters, with "…" after.
  const std::string& ellipsis = base::Lit("…");
  const int count = two_lines ? 2 : 1;
  f.height = smallest;
  f.width = RealColumn(limits.narrowest * smallest, limits);
  f.top = std::max(0.0, (height - count * smallest) / 2);
  f.cut = true;
  const auto columns = static_cast<std::size_t>(std::floor(room / f.width + kSlack));
  std::string rest = text;
  for (int i = 0; i < count; ++i) {
    if (i + 1 < count) {
      f.lines.push_back(base::HeadBytes(rest, columns));
      rest.erase(0, f.lines.back().size());
    } else if (columns >= ellipsis.size()) {
      f.lines.push_back(base::HeadBytes(rest, columns - ellipsis.size()) + ellipsis);
    }
  }
  return f;
}

}  // namespace

FittedText FitText(const std::string& text, double height, double width, double room,
                   double room_height, const FitLimits& limits) {
  FittedText f = FitAtAnyWidth(text, height, width, room, room_height, limits);
  f.width = RealColumn(f.width, limits);
  return f;
}

void PutFittedText(double x, double y, const FittedText& f, int font_code) {
  if (f.lines.empty()) return;
  SetTextStyle(f.height, f.width, 0, font_code);
  double at = y + f.top;
  for (const std::string& line : f.lines) {
    DrawTextRun(x, at, 0, 0, line);
    at += f.height;
  }
}

std::vector<std::string> WrapRuns(const std::vector<std::string>& runs, double room, double width,
                                  const std::string& indent) {
  std::vector<std::string> lines;
  std::string line;
  bool fresh = true;  // nothing on the line yet but its indent
  for (const std::string& run : runs) {
    if (!fresh && !FitsIn(TextAdvance(WithoutTrailingBlanks(line + run), width), room)) {
      lines.push_back(WithoutTrailingBlanks(line));
      line = indent;
      fresh = true;
    }
    line += run;
    fresh = false;
  }
  if (!fresh) lines.push_back(WithoutTrailingBlanks(line));
  return lines;
}

}  // namespace zarvel::text
