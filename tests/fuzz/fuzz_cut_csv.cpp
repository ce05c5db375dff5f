// A cut-list file's bytes: read, and when accepted, put into the cut grid and read back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/cell_text.h"
#include "job/cut_csv.h"
#include "run/grid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  zarvel::run::MemoryGrid grid(7, 18);
  const zarvel::job::CutCsv csv = zarvel::job::ReadCutCsv(bytes, zarvel::job::GridCapacity(grid));
  if (csv.ok == csv.pieces.empty()) __builtin_trap();  // a list, or a reason, never both
  if (!csv.ok) return 0;
  if (csv.pieces.size() > 102) __builtin_trap();
  zarvel::job::FillGrid(grid, csv.pieces);
  for (std::size_t k = 0; k < csv.pieces.size(); ++k) {
    const int col = static_cast<int>(k % 6) + 1;
    const int row = static_cast<int>(k / 6) + 1;
    const zarvel::base::CellValue v = zarvel::base::ParseCellText(grid.Cell(col, row));
    if (v.length != csv.pieces[k].length || v.count != csv.pieces[k].count) __builtin_trap();
    if (v.length < 2 || v.length > zarvel::job::kMaxCutCsvLength || v.count < 1) __builtin_trap();
  }
  return 0;
}
