// Cells that read other than they look ("6000,10" is 600010 mm, "1850*24" one piece of 1850),
// and stock lengths no rack holds: named before a run, which then goes on exactly as before.
#pragma once

#include <string>
#include <vector>

#include "run/grid.h"
#include "run/run_command.h"

namespace zarvel::run {

// Longer stock is named before a run (mm).
inline constexpr int32_t kLongestUsualStock = 40000;

// Whether a cell's text is anything but plain "length.count" digits (blanks aside).
bool ReadsOtherThanItLooks(const std::string& cp932);

// Keeps `text` in the grid's notes when it reads other than it looks, before its cell is
// rewritten in canonical form (leaving a cell, re-laying out a grid).
void NoteTypedText(Grid& grid, const std::string& text);

// One line per doubtful cell of both grids, stock first (CP932): "6000,10 → 600010 × 1 本".
// Notes whose reading is no longer in their grid are dropped.
std::vector<std::string> DoubtfulCells(RunForm& form);

// The list as the window's question and `plan`'s warning show it (CP932).
std::string DoubtfulCellsText(const std::vector<std::string>& lines);

// After a run the user let go on: the notes are done with.
void ForgetTypedTexts(RunForm& form);

}  // namespace zarvel::run
