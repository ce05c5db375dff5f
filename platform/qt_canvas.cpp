#include "platform/qt_canvas.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainterPath>
#include <QPrinter>
#include <cmath>

#include "base/cp932.h"

namespace zarvel::platform {
namespace {

// GDI pen styles by number.
Qt::PenStyle PenStyleOf(int style) {
  switch (style) {
    case 1:
      return Qt::DashLine;
    case 2:
      return Qt::DotLine;
    case 3:
      return Qt::DashDotLine;
    case 4:
      return Qt::DashDotDotLine;
    case 5:
      return Qt::NoPen;
    default:
      return Qt::SolidLine;
  }
}

// Pixel size per unit of character cell height (ascent + descent) for a family.
double CellRatio(const QString& family) {
  static QHash<QString, double> cache;
  const auto it = cache.constFind(family);
  if (it != cache.constEnd()) return *it;
  QFont f(family);
  f.setPixelSize(1000);
  const QFontMetricsF m(f);
  const double cell = m.ascent() + m.descent();
  const double ratio = cell > 0 ? 1000.0 / cell : 1.0;
  cache.insert(family, ratio);
  return ratio;
}

}  // namespace

QColor ToQColor(drawing::Colour c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

QString FamilyForFace(const QString& face) {
  static const QHash<QString, QString> map = {
      {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")},
      {QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho")},
      {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")},
      {QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho")},
      {QStringLiteral("メイリオ"), QStringLiteral("IPAexGothic")},
  };
  return map.value(face, face);
}

QtCanvas::QtCanvas(QPainter& painter, const QRect& clip) : painter_(painter), clip_(clip) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::TextAntialiasing, true);
  ApplyPen();
  SetFont(drawing::LogicalFont{.height = 16, .face_name = base::Lit("ＭＳ ゴシック")});
}

void QtCanvas::ApplyPen() {
  QPen pen(pen_colour_);
  pen.setWidth(std::max(pen_width_, 1));
  pen.setStyle(PenStyleOf(pen_style_));
  // GDI: a thin line leaves out its end dot, a thick one has round ends.
  pen.setCapStyle(pen_width_ > 1 ? Qt::RoundCap : Qt::FlatCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter_.setPen(pen);
}

void QtCanvas::SetFont(const drawing::LogicalFont& f) {
  const QString face = QString::fromUtf8(base::Cp932ToUtf8(f.face_name));
  const QString family = FamilyForFace(face);
  QFont font(family);
  int pixels = 12;
  if (f.height > 0)
    pixels = std::max(1, static_cast<int>(std::lround(f.height * CellRatio(family))));
  if (f.height < 0) pixels = std::max(1, -f.height);
  font.setPixelSize(std::min(pixels, 20000));
  // Bold is drawn as the plain glyphs with their outlines thickened (see TextOut): the IPA
  // faces have no bold, and Qt's own emulation puts every character twice into a PDF, which
  // a reader of the text then takes as separate words.
  font.setWeight(QFont::Normal);
  bold_ = f.weight >= 700;
  font.setItalic(f.italic != 0);
  font.setStyleStrategy(QFont::PreferAntialias);
  const QFontMetricsF m(font);
  font_ascent_ = m.ascent();
  // A half-width character is `width` dots wide.
  const double natural = m.horizontalAdvance(QLatin1Char('0'));
  font_x_scale_ = f.width > 0 && natural > 0 ? f.width / natural : 1.0;
  escapement_ = f.escapement;
  font_ = font;
  logical_font_ = f;
}

int QtCanvas::TextWidth(const std::string& text) {
  const QFontMetricsF m(font_);
  const double w = m.horizontalAdvance(QString::fromUtf8(base::Cp932ToUtf8(text))) * font_x_scale_;
  return static_cast<int>(std::lround(w));
}

int QtCanvas::TextHeight(const std::string&) {
  const QFontMetricsF m(font_);
  return static_cast<int>(std::lround(m.ascent() + m.descent()));
}

void QtCanvas::TextOutClipped(const drawing::Rect& r, int x, int y, const std::string& text) {
  painter_.save();
  painter_.setClipRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)));
  TextOut(x, y, text);
  painter_.restore();
}

void QtCanvas::SetFontColour(drawing::Colour c) {
  font_colour_ = ToQColor(c);
}

void QtCanvas::SetPenColour(drawing::Colour c) {
  pen_colour_ = ToQColor(c);
  ApplyPen();
}

void QtCanvas::SetPenWidth(int width) {
  pen_width_ = width;
  ApplyPen();
}

void QtCanvas::SetPenStyle(int style) {
  pen_style_ = style;
  ApplyPen();
}

void QtCanvas::SetBrushColour(drawing::Colour c) {
  brush_colour_ = ToQColor(c);
}
void QtCanvas::SetBrushStyle(int style) {
  brush_style_ = style;
}

void QtCanvas::MoveTo(int x, int y) {
  position_ = QPoint(x, y);
}

void QtCanvas::LineTo(int x, int y) {
  const QPoint to(x, y);
  if (pen_style_ != 5) painter_.drawLine(position_, to);
  position_ = to;
}

void QtCanvas::TextOut(int x, int y, const std::string& cp932) {
  const QString s = QString::fromUtf8(base::Cp932ToUtf8(cp932));
  painter_.save();
  painter_.setPen(font_colour_);
  painter_.setFont(font_);
  painter_.translate(x, y);
  if (escapement_ != 0) painter_.rotate(-escapement_ / 10.0);
  if (font_x_scale_ != 1.0) painter_.scale(font_x_scale_, 1.0);
  painter_.drawText(QPointF(0, font_ascent_), s);
  if (bold_) {
    QPainterPath outline;
    outline.addText(QPointF(0, font_ascent_), font_, s);
    painter_.strokePath(outline, QPen(font_colour_, font_.pixelSize() * kBoldStroke));
  }
  painter_.restore();
}

void QtCanvas::FillRect(const drawing::Rect& r) {
  if (brush_style_ == 1) return;  // clear brush
  painter_.fillRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)), brush_colour_);
}

drawing::Rect QtCanvas::ClipRect() const {
  return {clip_.left(), clip_.top(), clip_.right() + 1, clip_.bottom() + 1};
}

drawing::PlayTarget BitmapTarget(const QImage& image, QtCanvas& canvas) {
  drawing::PlayTarget t;
  t.kind = drawing::PlayTarget::Kind::kBitmap;
  t.canvas = &canvas;
  t.width = image.width();
  t.height = image.height();
  return t;
}

drawing::PlayTarget PrinterTarget(const QPrinter& printer, QtCanvas& canvas) {
  drawing::PlayTarget t;
  t.kind = drawing::PlayTarget::Kind::kPrinter;
  t.canvas = &canvas;
  t.log_pixels_x = printer.resolution();
  t.log_pixels_y = printer.resolution();
  const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  t.physical_offset_x = page.left() - paper.left();
  t.physical_offset_y = page.top() - paper.top();
  return t;
}

drawing::BitmapView ViewOf(QImage& image) {
  drawing::BitmapView v;
  v.pixels = reinterpret_cast<uint32_t*>(image.bits());
  v.width = image.width();
  v.height = image.height();
  v.stride = image.bytesPerLine() / 4;
  return v;
}

}  // namespace zarvel::platform
