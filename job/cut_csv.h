// A cut list from a CSV file: lines of length and count, as detailing software and
// spreadsheets write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/grid.h"

namespace zarvel::job {

// Largest cut-list file read.
inline constexpr std::size_t kMaxCutCsvSize = 4 * 1024 * 1024;
inline constexpr int32_t kMaxCutCsvLength = 99999;  // mm; the cell's five digits
inline constexpr int32_t kMaxCutCsvCount = 99999;

struct CutPiece {
  int32_t length = 0;
  int32_t count = 0;
};

struct CutCsv {
  bool ok = false;
  std::vector<CutPiece> pieces;  // equal lengths merged, in the order they first appear
  std::string error;             // CP932, without the file name: what is wrong and on which line
};

// Reads the bytes of a cut-list file: CP932 or UTF-8 (with or without a byte-order mark;
// UTF-16 with one). A line is a length and a count separated by a comma, TAB or semicolon
// (a missing count is 1, further fields are ignored); blank lines and headings (a first field
// that does not start with a number) are skipped. At most `capacity` different lengths.
CutCsv ReadCutCsv(const std::string& bytes, int capacity);

// The cut list's capacity in the grid: its data cells.
int GridCapacity(const optimiser::Grid& grid);

// Empties the grid's data cells and writes the pieces row by row from the first cell.
void FillGrid(optimiser::Grid& grid, const std::vector<CutPiece>& pieces);

// Reads the file at `path` (UTF-8) into the grid, replacing its cut list. On failure the grid
// is left as it was and `message` gets the text for the message dialog (CP932).
bool LoadCutCsvFile(const std::string& path, optimiser::Grid& grid, std::string& message);

}  // namespace zarvel::job
