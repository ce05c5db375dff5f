#include "job/grid_entry.h"

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

CellPos PasteIntoGrid(optimiser::Grid& grid, const std::string& clipboard, CellPos at,
                      const std::function<void(CellPos)>& select) {
  for (const std::string& line : text::SplitLines(clipboard)) {
    const std::string s = line + "\t0";
    const int32_t length = text::AtoI(s);
    int32_t count = text::AtoI(s.substr(s.find('\t') + 1, 99));
    if (count < 1) count = 1;
    if (length != 0) {
      grid.SetCell(at.col, at.row, text::Format("%d.%d", length, count));
      if (++at.col >= grid.ColCount()) {
        at.col = 1;
        ++at.row;
      }
    }
    if (at.row >= grid.RowCount()) break;  // the rest is dropped
    if (select) select(at);
  }
  return at;
}

void ClearGridCells(optimiser::Grid& grid) {
  for (int r = 1; r < grid.RowCount(); ++r)
    for (int c = 1; c < grid.ColCount(); ++c) grid.SetCell(c, r, std::string());
}

void SampleFill(optimiser::Grid& grid, int first, int step, int count) {
  int length = first;
  for (int r = 1; r < grid.RowCount(); ++r) {
    for (int c = 1; c < grid.ColCount(); ++c) {
      grid.SetCell(c, r, text::Format("%d.%d", length, count));
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

}  // namespace zarvel::job
