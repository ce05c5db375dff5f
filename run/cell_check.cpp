#include "run/cell_check.h"

#include <algorithm>

#include "base/cell_text.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"

namespace zarvel::run {
namespace {

// The text as shown in the list: blanks out, so "45000.  2" reads 45000.2.
std::string Shown(const std::string& text) {
  std::string s;
  for (char c : text)
    if (c != ' ' && c != '\t') s += c;
  return s;
}

std::string Line(const char* list, const std::string& text, const base::CellValue& v,
                 const char* why = "") {
  return base::Lit(list) + "  " + Shown(text) +
         base::Format(base::Lit(" → %d × %d 本").c_str(), v.length, v.count) + base::Lit(why);
}

void CheckGrid(Grid& grid, bool stock, std::vector<std::string>& lines) {
  const char* list = stock ? "素材リスト" : "切断リスト";
  std::vector<std::string> listed;  // texts already named, and what they read as
  std::vector<base::CellValue> readings;
  auto add = [&](const std::string& text, const base::CellValue& v, const char* why = "") {
    if (std::find(listed.begin(), listed.end(), Shown(text)) != listed.end()) return;
    listed.push_back(Shown(text));
    readings.push_back(v);
    lines.push_back(Line(list, text, v, why));
  };
  auto named = [&](const base::CellValue& v) {
    return std::any_of(readings.begin(), readings.end(), [&](const base::CellValue& r) {
      return r.length == v.length && r.count == v.count;
    });
  };
  std::vector<base::CellValue> present;
  for (int r = 1; r < grid.RowCount(); ++r) {
    for (int c = 1; c < grid.ColCount(); ++c) {
      const std::string cell = grid.Cell(c, r);
      const base::CellValue v = base::ParseCellText(cell);
      if (v.length <= 1) continue;
      present.push_back(v);
      if (ReadsOtherThanItLooks(cell)) add(cell, v);
    }
  }
  // A note counts while a cell still holds what it was read as.
  std::erase_if(grid.typed_texts, [&](const std::string& note) {
    const base::CellValue v = base::ParseCellText(note);
    return std::none_of(present.begin(), present.end(), [&](const base::CellValue& p) {
      return p.length == v.length && p.count == v.count;
    });
  });
  for (const std::string& note : grid.typed_texts) add(note, base::ParseCellText(note));
  if (!stock) return;
  for (const base::CellValue& v : present)
    if (v.length > kLongestUsualStock && !named(v))
      add(base::Format("%d.%d", v.length, v.count), v, " (40000 ㎜を超える素材長)");
}

}  // namespace

bool ReadsOtherThanItLooks(const std::string& cp932) {
  const std::string s = Shown(base::HalfWidthDigits(cp932));
  const std::size_t point = s.find('.');
  auto digits = [](std::string_view v) {
    return std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (point == std::string::npos) return !digits(s);
  return point == 0 || !digits(std::string_view(s).substr(0, point)) ||
         !digits(std::string_view(s).substr(point + 1));
}

void NoteTypedText(Grid& grid, const std::string& text) {
  if (!ReadsOtherThanItLooks(text) || base::ParseCellText(text).length <= 1) return;
  const std::string trimmed(base::TrimBlanks(text));
  if (std::find(grid.typed_texts.begin(), grid.typed_texts.end(), trimmed) ==
      grid.typed_texts.end())
    grid.typed_texts.push_back(trimmed);
}

std::vector<std::string> DoubtfulCells(RunForm& form) {
  std::vector<std::string> lines;
  CheckGrid(form.StockGrid(), true, lines);
  CheckGrid(form.CutGrid(), false, lines);
  return lines;
}

std::string DoubtfulCellsText(const std::vector<std::string>& lines) {
  std::string t = base::Lit("次のセルは見た目と違う値に読まれます。");
  for (const std::string& line : lines) t += "\n" + line;
  return t;
}

void ForgetTypedTexts(RunForm& form) {
  form.StockGrid().typed_texts.clear();
  form.CutGrid().typed_texts.clear();
}

}  // namespace zarvel::run
