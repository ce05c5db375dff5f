// Playing a recorded page onto a bitmap or the printer, and halving a bitmap for display.
#pragma once

#include <cstddef>
#include <cstdint>

#include "drawing/canvas.h"

namespace zarvel::drawing {

inline constexpr int kRecordingWidth = 1800;  // dots of the recording surface
inline constexpr int kRecordingHeight = 2700;
inline constexpr int kFirstReportSlot = 10;  // report page p is slot p + 10

// The paper pages are played on: on screen (and in page images) a light sheet, the colour of
// the window's fields at rest (red 240, green 240, blue 224); on the printer white.
inline constexpr Colour kScreenPaper = 0xE0F0F0;
inline constexpr Colour kPrinterPaper = 0xFFFFFF;

struct PlayTarget {
  enum class Kind { kBitmap, kPrinter };
  Kind kind = Kind::kBitmap;
  Canvas* canvas = nullptr;
  // Bitmap: its size in dots.
  int width = 0;
  int height = 0;
  // Printer: dots per inch and the unprintable margins in dots.
  double log_pixels_x = 0;
  double log_pixels_y = 0;
  double physical_offset_x = 0;
  double physical_offset_y = 0;
};

// The geometry a page is played with.
struct PlayGeometry {
  double sx = 1;
  double sy = 1;
  double ox = 0;
  double oy = 0;
  double pen_addend = 0;
  double pen_scale = 1;
};

PlayGeometry GeometryFor(const PlayTarget& target, int extent_w, int extent_h);
// For a page placed on the whole sheet (`sheet_w` × `sheet_h` dots at 10 per mm): on the printer
// from the paper's corner at the printer's resolution; on a bitmap the sheet scaled alike in
// both directions to the largest size that fits, from the bitmap's corner.
PlayGeometry SheetGeometryFor(const PlayTarget& target, int sheet_w, int sheet_h);

void PlayPage(const PlayTarget& target, int slot, int extent_w, int extent_h, Colour background);
void PlayReportPage(const PlayTarget& target, int page, int extent_w, int extent_h,
                    Colour background);

// A 32-bit bitmap seen through its scan lines.
struct BitmapView {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  // words from one row to the next

  uint32_t* Row(int y) const { return pixels + stride * y; }
};

// Shrinks src into dst by averaging 2 × 2 dots (each channel's two low bits cleared first);
// destination row i comes from source rows 2(i - first_row) and the one below. Rows without
// source are left alone. The top byte of each result is set (opaque).
void HalveBitmap(const BitmapView& dst, const BitmapView& src, int first_row);

}  // namespace zarvel::drawing
