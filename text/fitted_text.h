// Text fitted into its place on a report page: the one rule for labels, the saw list and the
// marks of the cutting diagrams. A text is measured by its advance on the byte-column grid (what
// DrawTextRun draws); one too wide gets narrower characters, then a smaller size down to the
// smallest readable one, then a second line, and only then is cut, ending in a visible "…".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarvel::text {

// The advance of a text drawn at `width` mm a byte column: every byte is one column.
double TextAdvance(std::string_view text, double width);

struct FitLimits {
  double narrowest = 0.3;  // the narrowest column per unit of height
  double smallest = 2.0;   // the smallest readable character height (mm)
  int max_lines = 2;
  // The canvas font's width goes in steps of this many mm (0: any width). A column is rounded
  // down to a whole step, so that each character is exactly as wide as the cell it is put in.
  double width_step = 0;
};

// The limits for the page being drawn: its font widths go in steps of two dots.
FitLimits PageFitLimits();

struct FittedText {
  double height = 0;  // character height (mm), also the step from one line to the next
  double width = 0;   // one byte column (mm)
  double top = 0;     // from the top of the place to the first line's top
  std::vector<std::string> lines;
  bool cut = false;  // the text did not fit whole: the last line ends in "…"
};

// Fits `text`, at `height` with `width` a column when it fits, into a place `room` mm wide and
// `room_height` mm high (a second line only when two lines of the smallest size fit in it).
FittedText FitText(const std::string& text, double height, double width, double room,
                   double room_height, const FitLimits& limits = {});

// Draws a fitted text with the top of its place at (x, y), left-aligned, in `font_code`.
void PutFittedText(double x, double y, const FittedText& fitted, int font_code);

// Runs of text (each with its own trailing separator, "G1, ") set into lines no wider than
// `room` at `width` a column. A line breaks only between runs, dropping the blanks at its end;
// every further line starts with `indent`; a run too long for a line has a line of its own.
std::vector<std::string> WrapRuns(const std::vector<std::string>& runs, double room, double width,
                                  const std::string& indent = {});

}  // namespace zarvel::text
