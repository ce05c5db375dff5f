#include "run/grid_reader.h"

#include "base/cell_text.h"
#include "base/format.h"
#include "run/cell_check.h"

namespace zarvel::run {

void ReadGridIntoList(optimiser::LengthList& list, Grid& grid, bool vertical) {
  const int rows = grid.RowCount();
  const int cols = grid.ColCount();
  list.count = 0;
  for (int r = 1; r < rows; ++r) {
    for (int c = 1; c < cols; ++c) {
      const std::string cell = grid.Cell(c, r);
      NoteTypedText(grid, cell);
      const base::CellValue v = base::ParseCellText(cell);
      if (v.length > 1) list.Append(v.length, v.count);
    }
  }
  list.SortByLength();

  int k = 0;
  auto write = [&](int c, int r) {
    ++k;
    if (k <= list.count) {
      const optimiser::LengthEntry& e = list.entries[k];
      grid.SetCell(c, r, base::FormatCellText(base::Format("%d.%d", e.length, e.quantity)));
    } else {
      grid.SetCell(c, r, std::string());
    }
  };
  if (vertical) {
    for (int c = 1; c < cols; ++c)
      for (int r = 1; r < rows; ++r) write(c, r);
  } else {
    for (int r = 1; r < rows; ++r)
      for (int c = 1; c < cols; ++c) write(c, r);
  }
  grid.Refresh();
}

}  // namespace zarvel::run
