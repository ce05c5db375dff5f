// The drawing surface as the core sees it: a canvas with pens, brushes, fonts, text and lines
// in device dots. The platform layer implements it with Qt; tests record the calls.
#pragma once

#include <cstdint>
#include <string>

namespace zarvel::drawing {

// Windows colour value 0x00BBGGRR.
using Colour = uint32_t;

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The logical-font record a font is built from.
struct LogicalFont {
  int32_t height = 0;      // character cell height in dots
  int32_t width = 0;       // average character width in dots (a half-width character)
  int32_t escapement = 0;  // tenths of a degree, counter-clockwise
  int32_t orientation = 0;
  int32_t weight = 400;  // 400 normal, 700 bold
  uint8_t italic = 0;
  uint8_t underline = 0;
  uint8_t strike_out = 0;
  uint8_t char_set = 128;  // Shift-JIS
  uint8_t out_precision = 0;
  uint8_t clip_precision = 0;
  uint8_t quality = 0;
  uint8_t pitch_and_family = 0;
  std::string face_name;  // CP932

  bool operator==(const LogicalFont&) const = default;
};

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void SetFont(const LogicalFont& font) = 0;
  virtual void SetFontColour(Colour colour) = 0;
  virtual void SetPenColour(Colour colour) = 0;
  virtual void SetPenWidth(int width) = 0;
  virtual int PenWidth() const = 0;
  virtual void SetPenStyle(int style) = 0;  // 0 solid
  virtual void SetBrushColour(Colour colour) = 0;
  virtual void SetBrushStyle(int style) = 0;  // 0 solid, 1 clear
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  // Draws CP932 text with the top-left of its character cell at (x, y).
  virtual void TextOut(int x, int y, const std::string& text) = 0;
  // Fills with the brush.
  virtual void FillRect(const Rect& rect) = 0;
  virtual Rect ClipRect() const = 0;

  // Measuring and clipped output, for cells drawn on screen.
  virtual LogicalFont Font() const = 0;  // the font as last set
  virtual int TextWidth(const std::string& text) = 0;
  virtual int TextHeight(const std::string& text) = 0;
  virtual void TextOutClipped(const Rect& clip, int x, int y, const std::string& text) = 0;
};

// Metrics for canvases that measure nothing real: a byte column is the font's width (half its
// height when the width is 0), a line its height.
inline int NominalTextWidth(const LogicalFont& f, const std::string& text) {
  const int h = f.height < 0 ? -f.height : f.height;
  return static_cast<int>(text.size()) * (f.width > 0 ? f.width : h / 2);
}
inline int NominalTextHeight(const LogicalFont& f) {
  return f.height < 0 ? -f.height : f.height;
}

}  // namespace zarvel::drawing
