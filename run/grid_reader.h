// Reading a grid of cells into a length list, and writing the list back sorted and packed.
#pragma once

#include "optimiser/records.h"
#include "run/grid.h"

namespace zarvel::optimiser {

// Refills `list` from the grid's data cells (row by row), sorts it by length and rewrites the
// grid: the entries in canonical form packed from the first cell, column by column when
// `vertical` is set, row by row otherwise. Lengths of 1 or less add nothing; cells beyond the
// list's capacity are not stored. Returns the number of non-empty cells that did not fit.
int ReadGridIntoList(LengthList& list, Grid& grid, bool vertical);

}  // namespace zarvel::optimiser
