// Text fitted into screen cells: a cell's comma-separated lines spread over its height, each
// narrowed to the cell's width. Drawn directly on a canvas in pixels; nothing is recorded.
#pragma once

#include <string>

#include "drawing/canvas.h"

namespace zarvel::text {

// height <= 0 keeps the current height; width <= 0 is half the height; face 1 ＭＳ ゴシック,
// 2 ＭＳ 明朝, otherwise the current face.
void SetCanvasFont(drawing::Canvas& canvas, int height, int width, double angle, int face);
// One line at (x, y), narrowed until it fits `width` and centred in it (width <= 0: as is).
void DrawFittedText(drawing::Canvas& canvas, int x, int y, int width, const std::string& text);
// The comma-separated lines of `text` spread evenly over the cell.
void DrawCellLines(drawing::Canvas& canvas, const drawing::Rect& cell, const std::string& text);

}  // namespace zarvel::text
