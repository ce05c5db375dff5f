// Cutting diagrams: each pattern's bar drawn to scale with its pieces, kerfs and remnant.
#pragma once

#include <string>
#include <vector>

#include "optimiser/records.h"
#include "report/cut_bars.h"

namespace zarvel::report {

// One bar of a pattern as the saw cuts it: millimetres from the bar's left end.
struct BarPiece {
  double start = 0;
  int length = 0;
  std::string marks;  // CP932: the piece marks this box stands for on the pattern's bars
  std::vector<std::string> mark_items;  // the same one by one ("G1×2"), `marks` joins them
};

struct BarLayout {
  int stock_length = 0;
  int repeat = 0;
  int kerf = 0;
  std::vector<BarPiece> pieces;  // left to right, in cut-list order
  double used = 0;               // the pieces with their kerfs: where the remnant begins
  double remnant = 0;            // as the plan records it
  double overhang = 0;           // the last piece's end beyond the stock length (margin used)

  // What the drawing spans: the bar, or the last piece when it runs into the margin.
  double Extent() const;
};

// With `cut` (the plan's bars and their marks), each box carries the marks of its pieces on
// the bars of pattern `pattern`.
BarLayout LayOutBar(const optimiser::OptimiserRecords& records, const optimiser::BarPattern& bar,
                    const CutBars* cut = nullptr, int pattern = 0);

// "余裕+15" for a bar whose last piece runs 15 mm into the stock's margin; empty otherwise.
std::string MarginUsedText(const BarLayout& bar);

// Page-body geometry (sheet mm).
inline constexpr double kDiagramLabelRight = 28;  // "素材長 × 本数" ends here
inline constexpr double kDiagramBarLeft = 31;
inline constexpr double kDiagramBarRoom = 128;  // the longest bar of a page spans this
inline constexpr double kDiagramBarHeight = 8;
inline constexpr double kDiagramRulerHeight = 6;

// Page mm per bar mm for a page whose longest drawing spans `longest_extent` mm.
double DiagramScale(double longest_extent);

// How each piece's length is written at a scale.
enum class PieceLabel { kNormal, kSmall, kRotated, kNote };
std::vector<PieceLabel> PieceLabels(const BarLayout& bar, double scale);

// The note under a bar for the pieces too narrow to be written in: lines of CP932 text.
std::vector<std::string> NarrowPieceNote(const BarLayout& bar, double scale);

// The height of one diagram (gap, bar, marks and note lines).
// The note on marks that do not fit under their boxes: "符号（左から）：2: G1, G2 / 3: G3".
std::vector<std::string> MarkNote(const BarLayout& bar, double scale);

double DiagramHeight(const BarLayout& bar, double scale);

// Draws the ruler row (column heading and a scale in millimetres of bar) at y; returns the y
// below it.
double DrawDiagramRuler(double y, double longest_extent, double scale);

// Draws pattern `number`'s diagram from y; returns the y below it.
double DrawDiagram(const BarLayout& bar, int number, double y, double scale);

}  // namespace zarvel::report
