// The core's Canvas on a QPainter: a 32-bit QImage for the preview, a QPrinter for paper and
// PDF. GDI conventions are kept: text is placed by the top-left of its character cell, a font's
// height is the cell height and its width the width of a half-width character.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>

#include "drawing/canvas.h"
#include "drawing/playback.h"

class QPrinter;

namespace zarvel::platform {

class QtCanvas final : public drawing::Canvas {
 public:
  // Paints with `painter`, whose device must outlive the canvas; `clip` is the drawable area.
  QtCanvas(QPainter& painter, const QRect& clip);

  void SetFont(const drawing::LogicalFont& font) override;
  void SetFontColour(drawing::Colour colour) override;
  void SetPenColour(drawing::Colour colour) override;
  void SetPenWidth(int width) override;
  int PenWidth() const override { return pen_width_; }
  void SetPenStyle(int style) override;
  void SetBrushColour(drawing::Colour colour) override;
  void SetBrushStyle(int style) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void TextOut(int x, int y, const std::string& text) override;
  void FillRect(const drawing::Rect& rect) override;
  drawing::Rect ClipRect() const override;
  drawing::LogicalFont Font() const override { return logical_font_; }
  int TextWidth(const std::string& text) override;
  int TextHeight(const std::string& text) override;
  void TextOutClipped(const drawing::Rect& clip, int x, int y, const std::string& text) override;

 private:
  void ApplyPen();

  QPainter& painter_;
  QRect clip_;
  QPoint position_;
  QColor pen_colour_{Qt::black};
  int pen_width_ = 1;
  int pen_style_ = 0;
  QColor brush_colour_{Qt::white};
  int brush_style_ = 0;
  QColor font_colour_{Qt::black};
  QFont font_;
  drawing::LogicalFont logical_font_;
  double font_ascent_ = 0;
  double font_x_scale_ = 1;
  int escapement_ = 0;
  bool bold_ = false;  // glyph outlines thickened by kBoldStroke of the font's size
  static constexpr double kBoldStroke = 0.045;
};

// Qt colour of a Windows colour value 0x00BBGGRR.
QColor ToQColor(drawing::Colour colour);

// The family drawn for a requested face (ＭＳ ゴシック → IPAGothic, ...); UTF-8 in and out.
QString FamilyForFace(const QString& face);

// A play target for a 32-bit bitmap or a printer, painting through `canvas`.
drawing::PlayTarget BitmapTarget(const QImage& image, QtCanvas& canvas);
drawing::PlayTarget PrinterTarget(const QPrinter& printer, QtCanvas& canvas);

// The image's pixels for the core's bitmap operations (Format_RGB32 or ARGB32).
drawing::BitmapView ViewOf(QImage& image);

}  // namespace zarvel::platform
