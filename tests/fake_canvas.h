// A canvas that writes down what is done to it.
#pragma once

#include <string>
#include <vector>

#include "base/format.h"
#include "drawing/canvas.h"

namespace zarvel::testing {

class FakeCanvas final : public drawing::Canvas {
 public:
  void SetFont(const drawing::LogicalFont& f) override {
    font = f;
    calls.push_back(
        base::Format("font %d %d %d w%d i%d", f.height, f.width, f.escapement, f.weight, f.italic) +
        " " + f.face_name);
  }
  void SetFontColour(drawing::Colour c) override {
    calls.push_back(base::Format("fontcolour %06X", c));
  }
  void SetPenColour(drawing::Colour c) override {
    calls.push_back(base::Format("pencolour %06X", c));
  }
  void SetPenWidth(int w) override {
    pen_width = w;
    calls.push_back(base::Format("penwidth %d", w));
  }
  int PenWidth() const override { return pen_width; }
  void SetPenStyle(int s) override { calls.push_back(base::Format("penstyle %d", s)); }
  void SetBrushColour(drawing::Colour c) override {
    calls.push_back(base::Format("brush %06X", c));
  }
  void SetBrushStyle(int s) override { calls.push_back(base::Format("brushstyle %d", s)); }
  void MoveTo(int x, int y) override { calls.push_back(base::Format("moveto %d %d", x, y)); }
  void LineTo(int x, int y) override { calls.push_back(base::Format("lineto %d %d", x, y)); }
  void TextOut(int x, int y, const std::string& t) override {
    calls.push_back(base::Format("text %d %d ", x, y) + t);
  }
  void FillRect(const drawing::Rect& r) override {
    calls.push_back(base::Format("fill %d %d %d %d", r.left, r.top, r.right, r.bottom));
  }
  drawing::Rect ClipRect() const override { return clip; }
  drawing::LogicalFont Font() const override { return font; }
  int TextWidth(const std::string& t) override { return drawing::NominalTextWidth(font, t); }
  int TextHeight(const std::string&) override { return drawing::NominalTextHeight(font); }
  void TextOutClipped(const drawing::Rect& r, int x, int y, const std::string& t) override {
    calls.push_back(
        base::Format("cliptext %d %d %d %d %d %d ", r.left, r.top, r.right, r.bottom, x, y) + t);
  }

  std::vector<std::string> calls;
  drawing::LogicalFont font;
  int pen_width = 1;
  drawing::Rect clip{0, 0, 1800, 2700};
};

}  // namespace zarvel::testing
