#include "job/grid_entry.h"

#include <algorithm>

#include "base/cell_text.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/lines.h"
#include "base/numbers.h"

namespace zarvel::job {

CellPos NextCell(CellPos at, int cols, int rows, bool vertical) {
  if (!vertical) {
    if (at.col + 1 < cols) return {at.col + 1, at.row};
    return {1, at.row + 1 < rows ? at.row + 1 : 1};
  }
  if (at.row + 1 < rows) return {at.col, at.row + 1};
  return {at.col + 1 < cols ? at.col + 1 : 1, 1};
}

std::vector<CellPos> FreeCells(const run::Grid& grid, bool vertical) {
  std::vector<CellPos> free;
  const int cols = grid.ColCount();
  const int rows = grid.RowCount();
  if (cols < 2 || rows < 2) return free;
  CellPos at{1, 1};
  for (int n = (cols - 1) * (rows - 1); n > 0; --n) {
    if (base::FormatCellText(grid.Cell(at.col, at.row)).empty()) free.push_back(at);
    at = NextCell(at, cols, rows, vertical);
  }
  return free;
}

namespace {

// A digit, ASCII or full-width (CP932 0x824F..0x8258).
bool HasDigit(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); i += base::CharLength(s, i)) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= '0' && b <= '9') return true;
    if (b == 0x82 && i + 1 < s.size()) {
      const auto t = static_cast<unsigned char>(s[i + 1]);
      if (t >= 0x4F && t <= 0x58) return true;
    }
  }
  return false;
}

}  // namespace

PastePlan PlanPaste(const run::Grid& grid, const std::string& clipboard, bool vertical) {
  PastePlan plan;
  int number = 0;
  for (const std::string& line : base::SplitLines(clipboard)) {
    ++number;
    const std::string s = line + "\t0";
    const int32_t length = base::AtoI(s);
    int32_t count = base::AtoI(s.substr(s.find('\t') + 1, 99));
    if (count < 1) count = 1;
    if (length > 0) {
      plan.cells.push_back(base::Format("%d.%d", length, count));
    } else if (HasDigit(line)) {
      plan.unreadable.emplace_back(number, line);
    }
  }
  plan.free = FreeCells(grid, vertical);
  return plan;
}

bool ApplyPaste(run::Grid& grid, const PastePlan& plan) {
  if (!plan.Fits() || plan.cells.empty()) return false;
  for (std::size_t i = 0; i < plan.cells.size(); ++i)
    grid.SetCell(plan.free[i].col, plan.free[i].row, base::FormatCellText(plan.cells[i]));
  return true;
}

std::string PasteMessage(const PastePlan& plan, const char* grid_name) {
  std::string m;
  if (!plan.Fits()) {
    m = base::Format(
            base::Lit("%d 行を貼り付けようとしましたが、%sの空いたセルは %d 個です。\n").c_str(),
            static_cast<int>(plan.cells.size()), base::Lit(grid_name).c_str(),
            static_cast<int>(plan.free.size())) +
        base::Format(base::Lit("%d 行が入らないため、何も貼り付けていません。").c_str(),
                     static_cast<int>(plan.cells.size() - plan.free.size()));
  }
  if (!plan.unreadable.empty()) {
    if (!m.empty()) m += "\n$";
    m += base::Lit("次の行は長さが読めないため、貼り付けていません：");
    constexpr std::size_t kShown = 10;
    for (std::size_t i = 0; i < std::min(kShown, plan.unreadable.size()); ++i) {
      const std::string& line = plan.unreadable[i].second;
      std::size_t cut = 0;  // at most 40 bytes, never half a character
      while (cut < line.size() && cut + base::CharLength(line, cut) <= 40)
        cut += base::CharLength(line, cut);
      std::string shown = line.substr(0, cut);
      std::replace(shown.begin(), shown.end(), '\t', ' ');
      m += base::Format(base::Lit("\n%d 行目： %s").c_str(), plan.unreadable[i].first,
                        shown.c_str());
    }
    if (plan.unreadable.size() > kShown)
      m += base::Format(base::Lit("\nほか %d 行").c_str(),
                        static_cast<int>(plan.unreadable.size() - kShown));
  }
  return m.empty() ? m : base::Lit("[#×]") + m;
}

void ClearGridCells(run::Grid& grid) {
  for (int r = 1; r < grid.RowCount(); ++r)
    for (int c = 1; c < grid.ColCount(); ++c) grid.SetCell(c, r, std::string());
}

void SampleFill(run::Grid& grid, int first, int step, int count) {
  int length = first;
  for (int r = 1; r < grid.RowCount(); ++r) {
    for (int c = 1; c < grid.ColCount(); ++c) {
      grid.SetCell(c, r, base::Format("%d.%d", length, count));
      length += step;
    }
  }
}

DateParts SplitDate(const std::string& d) {
  auto part = [&](std::size_t at, std::size_t n) {
    return at < d.size() ? d.substr(at, n) : std::string();
  };
  return {part(2, 2), part(5, 2), part(8, 2)};
}

namespace {

// The number a date field holds; -1 when it holds anything but blanks and one or two digits.
int DateNumber(std::string_view text) {
  int value = 0, digits = 0;
  for (const char c : text) {
    if (c == ' ') {
      if (digits > 0) return -1;
      continue;
    }
    if (c < '0' || c > '9' || ++digits > 2) return -1;
    value = value * 10 + (c - '0');
  }
  return digits == 0 ? -1 : value;
}

}  // namespace

bool PossibleDate(std::string_view year, std::string_view month, std::string_view day) {
  const int y = DateNumber(year);
  if (y < 0) return false;
  if (month.empty() && day.empty()) return true;
  const int m = month.empty() ? 0 : DateNumber(month);
  if (!month.empty() && (m < 1 || m > 12)) return false;
  if (day.empty()) return true;
  const int d = DateNumber(day);
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (2000 + y) % 4 == 0;  // 2000 to 2099: every fourth year
  const int last = m < 1 ? 31 : kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  return d >= 1 && d <= last;
}

}  // namespace zarvel::job
