// Entering cells in the job's grids: moving on in entry order, pasting from a spreadsheet,
// clearing and the sample fill.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// The data cells that hold nothing, in the order the grid is read: along the rows, or down the
// columns when `vertical`.
std::vector<CellPos> FreeCells(const run::Grid& grid, bool vertical);

// A paste read before anything is written: it goes in only when every line it can read finds
// a free cell, so that nothing is overwritten and nothing is dropped.
struct PastePlan {
  std::vector<std::string> cells;  // "%d.%d" of each line read, in order
  // Lines with a number whose length does not read (line number from 1, text in CP932). Blank
  // lines and lines without any digit (headings) are skipped without a word.
  std::vector<std::pair<int, std::string>> unreadable;
  std::vector<CellPos> free;  // where the cells go, in order
  bool Fits() const { return cells.size() <= free.size(); }
};

// Reads the clipboard's lines ("length TAB count"; a count below 1 is 1) against the grid.
PastePlan PlanPaste(const run::Grid& grid, const std::string& clipboard, bool vertical);
// Writes the cells when the plan fits; answers whether it wrote any.
bool ApplyPaste(run::Grid& grid, const PastePlan& plan);
// What the user is told (CP932, for the message dialog), or empty: the lines that did not fit
// (then nothing was pasted) and the lines that could not be read. `grid_name` as the user
// calls the grid (UTF-8).
std::string PasteMessage(const PastePlan& plan, const char* grid_name);

// Every data cell emptied.
void ClearGridCells(run::Grid& grid);

// Every data cell, row by row, "%d.%d" of first, first + step, ... and `count`.
void SampleFill(run::Grid& grid, int first, int step, int count);

// "yy", "mm", "dd" of a date formatted yyyy/mm/dd.
struct DateParts {
  std::string year, month, day;
};
DateParts SplitDate(const std::string& yyyy_mm_dd);

// Whether the date fields' texts ("yy", "mm", "dd", blanks allowed) can stand: a month of 1 to
// 12, a day of 1 to the days of that month in 20yy (31 while the month is not one). An empty
// text stands for a part not given: `month` and `day` may be left out to check the year or the
// month alone.
bool PossibleDate(std::string_view year, std::string_view month = {}, std::string_view day = {});

}  // namespace zarvel::job
