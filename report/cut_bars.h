// Every bar of a plan in cutting order with its pieces, and the piece marks given to them: marks
// of one length go to its pieces in the order the job lists them, so a job always gives the same
// assignment.
#pragma once

#include <string>
#include <vector>

#include "optimiser/records.h"

namespace zarvel::report {

struct CutPiece {
  int32_t length = 0;
  std::string mark;  // CP932; empty for a piece without a mark
};

struct CutBar {
  int pattern = 0;  // 1-based, in plan order
  int bar = 0;      // 1-based within the pattern's repeats
  int32_t stock_length = 0;
  std::vector<CutPiece> pieces;  // in cut-list order, as the cutting diagrams draw them
};

// Bars beyond this many pieces in all are not listed (a plan of millions of pieces).
inline constexpr long long kMaxListedPieces = 1000000;

struct CutBars {
  std::vector<CutBar> bars;
  std::vector<optimiser::PieceMark> unplaced;  // marks no piece of the plan carries
  bool truncated = false;                      // the plan has more than kMaxListedPieces
};

CutBars ListCutBars(const optimiser::OptimiserRecords& records);

}  // namespace zarvel::report
