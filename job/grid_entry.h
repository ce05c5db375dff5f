// Entering cells in the job's grids: moving on in entry order, pasting from a spreadsheet,
// clearing and the sample fill.
#pragma once

#include <functional>
#include <string>

#include "run/grid.h"

namespace zarvel::job {

struct CellPos {
  int col = 1;
  int row = 1;
  bool operator==(const CellPos&) const = default;
};

// The next data cell in entry order: along the row (vertical false) or down the column,
// wrapping to the first data row or column.
CellPos NextCell(CellPos at, int cols, int rows, bool vertical);

// Lines of "length TAB count" into the grid from `at` on, row by row; lines whose length reads
// as 0 are skipped. `select` is called for each new current cell (which normalises the cell
// left). Stops when the grid is full. Returns the last current cell.
CellPos PasteIntoGrid(optimiser::Grid& grid, const std::string& clipboard, CellPos at,
                      const std::function<void(CellPos)>& select);

// Every data cell emptied.
void ClearGridCells(optimiser::Grid& grid);

// Every data cell, row by row, "%d.%d" of first, first + step, ... and `count`.
void SampleFill(optimiser::Grid& grid, int first, int step, int count);

// "yy", "mm", "dd" of a date formatted yyyy/mm/dd.
struct DateParts {
  std::string year, month, day;
};
DateParts SplitDate(const std::string& yyyy_mm_dd);

}  // namespace zarvel::job
