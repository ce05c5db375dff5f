// Labels: one per piece in cutting order and one per offcut kept for the rack, each with its
// QR code, laid out on the die-cut grid of an A4 label sheet.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "optimiser/records.h"
#include "report/cut_bars.h"

namespace zarvel::report {

// An A4 label sheet's die-cut grid (mm from the paper's top-left corner).
struct LabelSheet {
  int per_sheet = 0;
  int columns = 0;
  int rows = 0;
  double width = 0;  // one label
  double height = 0;
  double left = 0;  // the first label's corner
  double top = 0;
  double pitch_x = 0;  // from one label's corner to the next one's
  double pitch_y = 0;
};

inline constexpr double kA4Width = 210;
inline constexpr double kA4Height = 297;

// 12 (2 × 6), 24 (3 × 8) and 44 (4 × 11) labels a sheet, by the preview's item 0, 1, 2.
inline constexpr std::array<LabelSheet, 3> kLabelSheets = {{
    {12, 2, 6, 86.4, 42.3, 18.6, 21.5, 86.4, 42.3},
    {24, 3, 8, 63.5, 33.9, 7.2, 12.9, 66.0, 33.9},
    {44, 4, 11, 48.3, 25.4, 8.4, 8.8, 48.3, 25.4},
}};
// The sheet of an item; an item out of range is the first sheet.
const LabelSheet& LabelSheetOf(int item);

// The shortest offcut worth keeping (mm) when nothing else is said: the order's and the labels'.
inline constexpr int kDefaultKeep = 1000;
// Whether a bar's remnant goes back to the rack: at least `keep` mm, and not nothing.
bool IsKeptOffcut(double remnant, int keep);
// A remnant's length as its label and the order give it (whole mm, cut off).
int OffcutLength(double remnant);

struct Label {
  bool offcut = false;
  std::string project;  // CP932: the job's 工事名
  std::string member;   // CP932: 部材名 as the job holds it, and the grade when it has one
  std::string mark;     // CP932; empty for a piece without a mark (and for an offcut)
  int length = 0;
  std::string number;  // "pattern-bar-piece" for a piece, "pattern-bar" for an offcut
  std::string date;    // CP932
};

// The labels of a plan: every piece of `cut` in cutting order, then every kept offcut, at most
// `limit` in all.
std::vector<Label> ListLabels(const optimiser::OptimiserRecords& records, const CutBars& cut,
                              int keep, std::size_t limit);

// The line of UTF-8 text a label's QR code holds, its fields separated by TAB: 工事名, 部材名,
// mark, length, No. for a piece; "残材", 部材名, length, origin (工事名 and No.) for an offcut.
std::string LabelQrText(const Label& label);

// CP932 text `height` mm high, its top at (x, y), kept within `room` mm by the rule of
// text/fitted_text.h: narrower, then smaller, then (with `room_height` for two lines) wrapped,
// and only then cut with "…".
void FitTextLine(double x, double y, double height, double room, const std::string& text,
                 int font_code, double room_height = 0);

// Draws label number `index` (from 0) of a sheet, in sheet mm from the paper's corner.
void DrawLabel(const Label& label, const LabelSheet& sheet, int index);

}  // namespace zarvel::report
