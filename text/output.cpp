#include "text/output.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/cp932.h"
#include "drawing/pages.h"
#include "drawing/primitives.h"

namespace zarvel::text {
namespace {

StFont& Style() {
  return drawing::CurrentPageContext().text_style;
}

// Unit and exponent markers, in the order that decides ties.
struct Marker {
  const char* utf8;
  bool power_of_ten;  // "$^" and "$~": the marker prints as "10"
};
constexpr Marker kMarkers[] = {
    {"/cm2", false}, {"(cm2", false}, {"mm2", false},  {"/m2", false},  {"/m3", false},
    {"(m2", false},  {"(mm2", false}, {"(mm3", false}, {"(mm4", false}, {")2", false},
    {")3", false},   {"・t2", false}, {"$^", true},    {"$~", true},    {"[m2", false},
    {"[m4", false},  {"m/s2", false}, {"π2", false},
};

bool IsRuleAcross(const std::string& ch) {
  return ch == base::Lit("─") || ch == base::Lit("━");
}
bool IsRuleDown(const std::string& ch) {
  return ch == base::Lit("│") || ch == base::Lit("┃");
}

}  // namespace

const StFont& TextStyle() {
  return Style();
}

void SetTextStyle(double h, double w, double a, int font_code) {
  const double dpm = drawing::Drawing().dots_per_mm;
  if (h < 0) h = -h / dpm + 0.01;
  if (w <= 0) w = h * 0.5;
  if (a < 0) a += 360;
  StFont& s = Style();
  s.height = h;
  s.width = w;
  s.angle = a;
  auto to_int = [](double v) { return static_cast<int>(std::clamp(std::trunc(v), -1e9, 1e9)); };
  s.device_height = std::max(6, to_int((h + 0.01) * dpm));
  s.device_width = std::max(4, to_int((w + 0.01) * dpm));
  s.angle_tenths = to_int((a + 0.01) * 10);
  s.font_code = font_code;
  drawing::Canvas* canvas = drawing::DrawingCanvas();
  if (canvas == nullptr) return;
  drawing::CanvasSetFont(*canvas, std::max(6, s.device_height & ~1),
                         std::max(4, s.device_width & ~1), s.angle_tenths, s.font_code);
  drawing::CanvasFontColour(*canvas, 0);
  drawing::CanvasBrushStyle(*canvas, 1);
}

void GetTextStyle(double& height, double& width, double& angle, int& font_code) {
  const StFont& s = Style();
  height = s.height;
  width = s.width;
  angle = s.angle;
  font_code = s.font_code;
}

void RestoreTextStyle(const StFont& style) {
  SetTextStyle(style.height, style.width, style.angle, style.font_code);
}

void DrawTextCell(double x, double y, const std::string& character) {
  drawing::Canvas* canvas = drawing::DrawingCanvas();
  if (canvas == nullptr) return;
  auto snap = [](double v) {
    return static_cast<float>(2 * std::trunc(std::clamp(0.5 * v + 0.5, -1e9, 1e9)) + 1);
  };
  drawing::CanvasText(*canvas, snap(x), snap(y), character);
}

void DrawTextRun(double x, double y, double along, double across, const std::string& text) {
  const StFont& s = Style();
  const double dpm = drawing::Drawing().dots_per_mm;
  const double x0 = drawing::SheetToDotX(x);
  const double y0 = drawing::SheetToDotY(y);
  const double al = drawing::MmToDotsX(along);
  const double ac = drawing::MmToDotsY(across);
  const double p = s.width * dpm;
  double cos = 1;
  double sin = 0;
  if (s.angle_tenths != 0) {
    const double phi = -s.angle_tenths * 0.1 * std::numbers::pi / 180;
    cos = std::cos(phi);
    sin = std::sin(phi);
  }
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double X = x0 + i * p * cos + al * cos - ac * sin;
    const double Y = y0 + i * p * sin + al * sin + ac * cos;
    const auto b = static_cast<unsigned char>(text[i]);
    if (IsTextLeadByte(b)) {
      if (i + 1 < n) {
        const std::string ch = text.substr(i, 2);
        if (IsRuleAcross(ch)) {
          DrawTextCell(X - p / 4, Y, ch);
          DrawTextCell(X + p / 4, Y, ch);
        } else if (IsRuleDown(ch)) {
          DrawTextCell(X, Y - p / 3, ch);
          DrawTextCell(X, Y + p / 3, ch);
        } else {
          DrawTextCell(X, Y, ch);
        }
      }
      ++i;  // the trail byte (a lone lead byte at the end draws nothing)
    } else if (b != '$') {
      DrawTextCell(X, Y, std::string(1, static_cast<char>(b)));
    }
  }
}

void PutText(double x, double y, double along, double across, const std::string& input) {
  std::string text = input;
  const double w = Style().width;
  const double h = Style().height;
  while (true) {
    std::size_t best = std::string::npos;
    const Marker* marker = nullptr;
    for (const Marker& m : kMarkers) {
      const std::size_t at = text.find(base::Lit(m.utf8));
      if (at < best) {
        best = at;
        marker = &m;
      }
    }
    if (marker == nullptr) break;
    std::size_t n = base::Lit(marker->utf8).size();
    bool negative = false;
    if (marker->power_of_ten) {  // "$^6" prints "10" and a small "6"; "$~3" "10" and "-3"
      negative = text[best + 1] == '~';
      text[best] = '1';
      text[best + 1] = '0';
      n = 3;
    }
    // head: everything before the superscript byte; sup: that byte; rest: what follows.
    const std::size_t sup_at = best + n - 1;
    const std::string head = text.substr(0, std::min(sup_at, text.size()));
    std::string sup = sup_at < text.size() ? text.substr(sup_at, 1) : std::string();
    if (negative) sup = "-" + sup;
    const std::string rest = sup_at + 1 < text.size() ? text.substr(sup_at + 1) : std::string();
    DrawTextRun(x, y, along, across, head);
    along += head.size() * w;
    const StFont saved = Style();
    SetTextStyle(0.75 * h, w, saved.angle, saved.font_code);
    DrawTextRun(x, y, along, across, sup);
    along += sup.size() * w;
    RestoreTextStyle(saved);
    text = rest;
  }
  DrawTextRun(x, y, along, across, text);
}

void PutTextAt(double x, double y, const std::string& text) {
  PutText(x, y, 0, 0, text);
}

void PutTextCentred(double x, double y, const std::string& text) {
  const StFont& s = Style();
  PutNotationText(x, y, -static_cast<double>(text.size()) * s.width / 2, s.height / 8, text);
}

void PutTextAbove(double x, double y, const std::string& text) {
  const StFont& s = Style();
  PutNotationText(x, y, -static_cast<double>(text.size()) * s.width / 2, -s.height, text);
}

}  // namespace zarvel::text
