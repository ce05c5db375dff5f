#include "text/fit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/cp932.h"
#include "base/numbers.h"

namespace zarvel::text {
namespace {

constexpr std::size_t kMaxCellText = 510;
constexpr int kMaxCellLines = 64;

}  // namespace

void SetCanvasFont(drawing::Canvas& canvas, int height, int width, double angle, int face) {
  const drawing::LogicalFont current = canvas.Font();
  const int h = height > 0 ? height : std::abs(current.height);
  const int w = width > 0 ? width : h / 2;
  drawing::LogicalFont f;
  f.height = std::max(h, 1);
  f.width = std::max(w, 1);
  f.escapement = static_cast<int32_t>(std::trunc(std::clamp(angle * 10, -1e9, 1e9)));
  f.face_name = face == 1   ? base::Lit("ＭＳ ゴシック")
                : face == 2 ? base::Lit("ＭＳ 明朝")
                            : current.face_name;
  canvas.SetFont(f);
}

void DrawFittedText(drawing::Canvas& canvas, int x, int y, int width, const std::string& text) {
  const int h0 = std::abs(canvas.Font().height);
  if (width <= 0) {
    canvas.TextOut(x, y, text);
  } else {
    int tw = canvas.TextWidth(text);
    int cw = tw / std::max<int>(1, static_cast<int>(text.size()));
    while (width < tw && cw > 0) {
      --cw;
      SetCanvasFont(canvas, h0, cw, 0, 0);
      tw = canvas.TextWidth(text);
    }
    canvas.TextOutClipped({x, y, x + width, y + h0}, x + (width - tw) / 2, y, text);
  }
  // Back to the height as a character height, which also restores the natural width.
  drawing::LogicalFont f = canvas.Font();
  f.height = -h0;
  f.width = 0;
  canvas.SetFont(f);
}

void DrawCellLines(drawing::Canvas& canvas, const drawing::Rect& cell, const std::string& text) {
  std::vector<char> buffer(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(
                                                            std::min(text.size(), kMaxCellText)));
  buffer.push_back('\0');
  char* parts[kMaxCellLines];
  const int n = base::SplitAt(buffer.data(), kMaxCellLines, ',', parts);
  const int lh = canvas.TextHeight("#");
  const double gap = (static_cast<double>(cell.bottom - cell.top) - lh * n) / n;
  double y = gap / 2 + 0.5;
  for (int i = 0; i < n; ++i) {
    std::string line(parts[i]);
    std::replace(line.begin(), line.end(), '$', ' ');
    DrawFittedText(canvas, cell.left, static_cast<int>(std::trunc(cell.top + y)),
                   cell.right - cell.left, line);
    y += lh + gap;
  }
}

}  // namespace zarvel::text
