#include "drawing/primitives.h"

#include <algorithm>
#include <cmath>

#include "base/numbers.h"
#include "drawing/pages.h"

namespace zarvel::drawing {
namespace {

// A dashed line longer than this many dots is absurd; its steps are capped so drawing ends.
constexpr double kMaxDashLength = 1 << 24;

// Snaps a dot coordinate: rounded, made even, then odd for thin pens (at most 2 dots).
float Snap(double v, bool thin) {
  int n = static_cast<int>(std::clamp(base::RoundHalfDown(v), -1e9, 1e9));
  n = (n >> 1) * 2;
  if (thin) ++n;
  return static_cast<float>(n);
}

void PenTo(double x, double y, bool line) {
  DrawingState& d = Drawing();
  d.pen_x = x;
  d.pen_y = y;
  if (d.canvas == nullptr) return;
  const bool thin = d.canvas->PenWidth() <= 2;
  const float sx = Snap(x, thin);
  const float sy = Snap(y, thin);
  if (line) {
    CanvasLineTo(*d.canvas, sx, sy);
  } else {
    CanvasMoveTo(*d.canvas, sx, sy);
  }
}

}  // namespace

DrawingState& Drawing() {
  return CurrentPageContext().drawing;
}

void BeginPageDrawing(Canvas& canvas, int top_margin, int width, int height) {
  DrawingState& d = Drawing();
  d.canvas = &canvas;
  if (width == 0 || height == 0) {
    const Rect clip = canvas.ClipRect();
    width = clip.right - clip.left;
    height = clip.bottom - clip.top;
  }
  d.dots_per_mm = std::max(width * (1.0 / kPageWidthMm), 0.1);
  d.left = 0;
  d.right = kPageWidthMm;
  d.top = top_margin < 0 ? 5 : top_margin;
  d.bottom = height / d.dots_per_mm;
}

Canvas* DrawingCanvas() {
  return Drawing().canvas;
}

double SheetToDotX(double mm) {
  return (mm + Drawing().left) * Drawing().dots_per_mm;
}
double SheetToDotY(double mm) {
  return (mm + Drawing().top) * Drawing().dots_per_mm;
}
double MmToDotsX(double mm) {
  return mm * Drawing().dots_per_mm;
}
double MmToDotsY(double mm) {
  return mm * Drawing().dots_per_mm;
}

Colour GreyOf(Colour c) {
  const uint32_t r = c & 0xFF;
  const uint32_t g = (c >> 8) & 0xFF;
  const uint32_t b = (c >> 16) & 0xFF;
  const uint32_t grey = (2 * r + 9 * g + 5 * b) >> 4;
  return grey * 0x10000 + grey * 0x100 + grey;
}

void SetLineColour(Colour colour) {
  if (Canvas* c = Drawing().canvas) CanvasPenColour(*c, GreyOf(colour));
}

void SetLineWeight(double weight) {
  double w = (weight + 0.1) * 2;
  if (w < 1.0) w = 1.0;
  if (Canvas* c = Drawing().canvas) CanvasPenWidth(*c, static_cast<float>(w));
}

void MoveToDot(double x, double y) {
  PenTo(x, y, false);
}
void LineToDot(double x, double y) {
  PenTo(x, y, true);
}
void MoveToSheet(double x, double y) {
  MoveToDot(SheetToDotX(x), SheetToDotY(y));
}

void LineToSheet(double x, double y, int dash_kind, int colour) {
  DrawingState& d = Drawing();
  if (d.canvas == nullptr) return;
  if (colour != 1) CanvasPenColour(*d.canvas, static_cast<Colour>(colour));
  CanvasPenStyle(*d.canvas, 0);
  const double x1 = SheetToDotX(x);
  const double y1 = SheetToDotY(y);
  if (dash_kind == 0) {
    LineToDot(x1, y1);
    return;
  }
  const uint32_t pattern = dash_kind == 3 ? 0xF5F5F5F5u : 0xAAAAAAAAu;
  const double x0 = d.pen_x;
  const double y0 = d.pen_y;
  const double length =
      std::min(base::SafeSqrt((x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0)), kMaxDashLength);
  const int n = std::max(static_cast<int>(length), 1);
  const int step = std::max(3 * d.canvas->PenWidth(), 1);
  uint32_t mask = 0;
  for (int l = 0; l < n; l += step) {
    if (mask == 0) mask = 0x80000000u;
    const double px = (x0 * (n - l) + x1 * l) / n;
    const double py = (y0 * (n - l) + y1 * l) / n;
    if ((pattern & mask) != 0) LineToDot(px, py);
    MoveToDot(px, py);
    mask >>= 1;
  }
}

void DrawSheetLine(double x1, double y1, double x2, double y2, int dash_kind, int colour) {
  MoveToSheet(x1, y1);
  LineToSheet(x2, y2, dash_kind, colour);
}

}  // namespace zarvel::drawing
