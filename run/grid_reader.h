// Reading a grid of cells into a length list, and writing the list back sorted and packed.
#pragma once

#include "optimiser/records.h"
#include "run/grid.h"

namespace zarvel::run {

// Refills `list` from the grid's data cells (row by row), sorts it by length and rewrites the
// grid: the entries in canonical form packed from the first cell, column by column when
// `vertical` is set, row by row otherwise. Lengths of 1 or less add nothing; cells beyond the
// list's capacity are not stored, without a word: the grids as laid out hold fewer cells than a
// list, so only a job file that enlarges a grid for a moment can give more, and the grid frame
// set-up that follows drops such a file's extra rows just as silently.
void ReadGridIntoList(optimiser::LengthList& list, Grid& grid, bool vertical);

}  // namespace zarvel::run
