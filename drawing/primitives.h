// Sheet millimetres, grey pens and dot-snapped lines on the page being recorded.
#pragma once

#include "drawing/canvas.h"
#include "drawing/page_context.h"

namespace zarvel::drawing {

inline constexpr double kPageWidthMm = 180;
inline constexpr double kPageHeightMm = 270;

// The drawing state of the current page context.
DrawingState& Drawing();

// Starts drawing on the canvas: width and height in dots (0: the canvas clip rectangle);
// a negative top margin means 5 mm.
void BeginPageDrawing(Canvas& canvas, int top_margin, int width, int height);
Canvas* DrawingCanvas();

double SheetToDotX(double mm);
double SheetToDotY(double mm);
double MmToDotsX(double mm);
double MmToDotsY(double mm);

// The grey of a colour: g = (2R + 9G + 5B) >> 4 in all three channels.
Colour GreyOf(Colour colour);
void SetLineColour(Colour colour);
// Pen width (weight + 0.1) × 2 dots, at least 1.
void SetLineWeight(double weight);

void MoveToDot(double x, double y);
void LineToDot(double x, double y);
void MoveToSheet(double x, double y);
// dash_kind 0 solid, 3 long dashes, other values short dashes; colour 1 keeps the pen colour.
void LineToSheet(double x, double y, int dash_kind, int colour);
void DrawSheetLine(double x1, double y1, double x2, double y2, int dash_kind, int colour);

}  // namespace zarvel::drawing
