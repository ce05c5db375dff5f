#include "drawing/playback.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "base/numbers.h"
#include "drawing/font.h"
#include "drawing/pages.h"
#include "drawing/primitives.h"

namespace zarvel::drawing {
namespace {

constexpr double kInchPerMm = 0.03937007874015748;
constexpr double kPrinterMarginMm = 15;
constexpr int kMinExtent = 99;

// A real from recorded data as an int, clamped so that nonsense words stay harmless.
int ClampToInt(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(std::trunc(v), -1e9, 1e9));
}

}  // namespace

PlayGeometry GeometryFor(const PlayTarget& t, int extent_w, int extent_h) {
  const double ew = std::max(extent_w, kMinExtent);
  const double eh = std::max(extent_h, kMinExtent);
  PlayGeometry g;
  if (t.kind == PlayTarget::Kind::kPrinter) {
    const double dpm_x = t.log_pixels_x * kInchPerMm;
    const double dpm_y = t.log_pixels_y * kInchPerMm;
    g.sx = kPageWidthMm * dpm_x / ew;
    g.sy = kPageHeightMm * dpm_y / eh;
    g.ox = (kPrinterMarginMm - t.physical_offset_x / std::max(dpm_x, 1e-9)) * dpm_x;
    g.oy = (kPrinterMarginMm - t.physical_offset_y / std::max(dpm_y, 1e-9)) * dpm_y;
    g.pen_addend = 1;
  } else {
    g.sx = t.width / ew;
    g.sy = t.height / eh;
  }
  g.pen_scale = base::SafeSqrt(g.sx);
  return g;
}

PlayGeometry SheetGeometryFor(const PlayTarget& t, int sheet_w, int sheet_h) {
  PlayGeometry g;
  if (t.kind == PlayTarget::Kind::kPrinter) {
    g.sx = t.log_pixels_x * kInchPerMm / kRecordingDotsPerMm;
    g.sy = t.log_pixels_y * kInchPerMm / kRecordingDotsPerMm;
    g.ox = -t.physical_offset_x;
    g.oy = -t.physical_offset_y;
    g.pen_addend = 1;
  } else {
    const double s = std::min(static_cast<double>(t.width) / std::max(sheet_w, kMinExtent),
                              static_cast<double>(t.height) / std::max(sheet_h, kMinExtent));
    g.sx = g.sy = s;
  }
  g.pen_scale = base::SafeSqrt(g.sx);
  return g;
}

void PlayPage(const PlayTarget& t, int slot, int extent_w, int extent_h, Colour background) {
  if (t.canvas == nullptr) return;
  Canvas& canvas = *t.canvas;
  if (t.kind == PlayTarget::Kind::kBitmap) {
    canvas.SetBrushColour(background);
    canvas.SetBrushStyle(0);
    canvas.FillRect(canvas.ClipRect());
  }
  if (slot < 0 || slot > LastPageIndex()) return;
  const SheetSize sheet = PageSheet(slot);
  const PlayGeometry g = sheet.width > 0 ? SheetGeometryFor(t, sheet.width, sheet.height)
                                         : GeometryFor(t, extent_w, extent_h);
  int brush_style = 0;  // as the fill above, or the printer's own
  const std::span<const uint32_t> words = PageWords(slot);
  std::size_t pos = 0;
  auto point = [&](std::size_t i) {
    const double x = static_cast<double>(WordFloat(words[i])) * g.sx + g.ox;
    const double y = static_cast<double>(WordFloat(words[i + 1])) * g.sy + g.oy;
    return std::pair{x, y};
  };
  while (pos + 1 < words.size()) {
    const uint32_t op = words[pos];
    const uint32_t len = words[pos + 1];
    // A command must fit the page and move on; anything else ends the page like an unknown one.
    if (len < 2 || len > words.size() - pos) break;
    const std::span<const uint32_t> c = words.subspan(pos, len);
    auto need = [&](std::size_t n) { return c.size() >= n; };
    switch (op) {
      case kOpSetFont:
        if (!need(6)) return;
        MakeCanvasFont(canvas, ClampToInt(static_cast<int32_t>(c[2]) * g.sy),
                       ClampToInt(static_cast<int32_t>(c[3]) * g.sx), static_cast<int32_t>(c[4]),
                       static_cast<int32_t>(c[5]));
        break;
      case kOpFontColour:
        if (!need(3)) return;
        canvas.SetFontColour(c[2]);
        break;
      case kOpPenColour:
        if (!need(3)) return;
        canvas.SetPenColour(c[2]);
        break;
      case kOpPenStyle:
        if (!need(3)) return;
        canvas.SetPenStyle(static_cast<int>(c[2] & 0xFF));
        break;
      case kOpBrushStyle:
        if (!need(3)) return;
        brush_style = static_cast<int>(c[2] & 0xFF);
        canvas.SetBrushStyle(brush_style);
        break;
      case kOpSheet:
        if (!need(4)) return;
        break;  // read before the page is played
      case kOpFillRect: {
        if (!need(7)) return;
        // Each edge on its nearest dot: the same edge gives the same dot for every rectangle.
        auto dot = [](double v) { return ClampToInt(std::floor(v + 0.5)); };
        const auto [l, tp] = point(pos + 2);
        const auto [r, b] = point(pos + 4);
        canvas.SetBrushColour(c[6]);
        canvas.SetBrushStyle(0);
        canvas.FillRect({dot(l), dot(tp), dot(r), dot(b)});
        canvas.SetBrushStyle(brush_style);
        break;
      }
      case kOpPenWidth: {
        if (!need(3)) return;
        const double w = WordFloat(c[2]);
        canvas.SetPenWidth(ClampToInt((g.pen_addend + w) * g.pen_scale + 0.5));
        break;
      }
      case kOpText: {
        if (!need(5)) return;
        const auto [x, y] = point(pos + 2);
        char bytes[3] = {0, 0, 0};
        std::memcpy(bytes, &c[4], 2);
        canvas.TextOut(ClampToInt(x), ClampToInt(y), std::string(bytes));
        break;
      }
      case kOpMoveTo:
      case kOpLineTo: {
        if (!need(4)) return;
        const auto [x, y] = point(pos + 2);
        const int px = ClampToInt(x + 0.1) | 1;
        const int py = ClampToInt(y + 0.1) | 1;
        if (op == kOpMoveTo) {
          canvas.MoveTo(px, py);
        } else {
          canvas.LineTo(px, py);
        }
        break;
      }
      default:
        return;  // an unknown command ends the page
    }
    pos += len;
  }
}

void PlayReportPage(const PlayTarget& t, int page, int extent_w, int extent_h, Colour background) {
  PlayPage(t, page + kFirstReportSlot, extent_w, extent_h, background);
}

void HalveBitmap(const BitmapView& dst, const BitmapView& src, int first_row) {
  const int width = std::min(dst.width, src.width / 2);
  for (int i = 0; i < dst.height; ++i) {
    const int64_t s = 2 * (int64_t{i} - first_row);
    if (s < 0 || s + 1 >= src.height) continue;
    const uint32_t* a = src.Row(static_cast<int>(s));
    const uint32_t* b = src.Row(static_cast<int>(s) + 1);
    uint32_t* out = dst.Row(i);
    for (int j = 0; j < width; ++j) {
      constexpr uint32_t kMask = 0xFCFCFC;
      const uint32_t sum =
          (a[2 * j] & kMask) + (a[2 * j + 1] & kMask) + (b[2 * j] & kMask) + (b[2 * j + 1] & kMask);
      out[j] = (sum >> 2) | 0xFF000000u;
    }
  }
}

}  // namespace zarvel::drawing
