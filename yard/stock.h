// Between the yard and a plan: the stock a job takes from the yard for its section, and the
// change a plan makes when it is committed (its bars taken, its remnants added as offcuts).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "optimiser/records.h"
#include "run/grid.h"
#include "yard/yard.h"

namespace zarvel::yard {

inline constexpr int kStockCells = 36;         // the stock grid: 2 columns × 18 rows
inline constexpr int32_t kDefaultKeep = 1000;  // remnants at least this long are kept, mm

// One stock length taken from the yard and the items behind it (offcuts first).
struct StockLength {
  int32_t length = 0;
  int64_t count = 0;        // every bar of the items, at most kMaxCount
  int64_t offcut_bars = 0;  // of them measured offcuts (planned without the margin)
  bool offcut = false;      // every bar is an offcut
  std::vector<Item> items;
};

struct StockFill {
  std::string section;
  std::string grade;                  // the grade filled from; empty: any
  std::vector<StockLength> lengths;   // what the grid receives, ascending
  std::vector<StockLength> left_out;  // beyond the grid's cells
  // Per length, the bars that are measured offcuts (no margin); a length's standard bars keep
  // the margin.
  std::vector<optimiser::MeasuredBars> Measured() const;
};

// What a fill takes: the section's items of `grade` (empty: of any grade), at most `cells`
// lengths. When the yard holds more lengths, those shorter than the job's shortest piece go
// first (they can give it nothing), then the shortest offcuts; standard lengths stay.
struct FillWants {
  std::string grade;
  int32_t shortest_piece = 0;  // 0: not known
  int cells = kStockCells;
};

StockFill FillFromItems(const std::string& section, const std::vector<Item>& items,
                        const FillWants& wants = {});

// The shortest piece a cut grid holds (its cells read, not rewritten); 0 when it holds none.
int32_t ShortestPiece(const run::Grid& cut_grid);

// Empties the grid's data cells and writes the fill's lengths ("%5d.%3d") from the first cell,
// row by row.
void WriteStockCells(run::Grid& grid, const StockFill& fill);

// What a fill left out and why (UTF-8); empty when it left out nothing.
std::string LeftOutMessage(const StockFill& fill, int cells = kStockCells);

// The change that commits the best plan of `records`, planned from `fill`: every bar it cuts
// taken from the items behind its length (measured bars from the offcuts, the others from the
// standard bars; each take expecting the count the fill saw), every remnant of at least `keep`
// mm added as an offcut of the section with the lot and grade of the bar it was cut from, its
// source naming the job, the pattern and `date`. False (and `message`, UTF-8) when the plan
// cuts a length the fill does not hold.
bool CommitChange(const optimiser::OptimiserRecords& records, const StockFill& fill, int32_t keep,
                  const std::string& job, const std::string& date, Change& change,
                  std::string& message);

// What a commit takes and adds, for the user to confirm (UTF-8, one line each); the bars taken
// name their place and lot, so that the saw operator knows where to fetch them.
std::string ChangeSummary(const Change& change, const StockFill& fill);

}  // namespace zarvel::yard
