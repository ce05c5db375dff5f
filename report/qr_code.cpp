#include "report/qr_code.h"

#include <qrencode.h>

#include <memory>
#include <string>

#include "drawing/pages.h"
#include "drawing/primitives.h"

namespace zarvel::report {

std::optional<QrSymbol> EncodeQr(std::string_view utf8, QrLevel level) {
  if (utf8.empty() || utf8.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string text(utf8);
  const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString(text.c_str(), 0, level == QrLevel::kLow ? QR_ECLEVEL_L : QR_ECLEVEL_M,
                          QR_MODE_8, 1),
      &QRcode_free);
  if (code == nullptr || code->width <= 0) return std::nullopt;
  QrSymbol s;
  s.width = code->width;
  s.dark.resize(static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.width));
  for (std::size_t i = 0; i < s.dark.size(); ++i) s.dark[i] = code->data[i] & 1;
  return s;
}

std::optional<QrSymbol> EncodeQrFor(std::string_view utf8, double side, double min_module) {
  std::optional<QrSymbol> medium = EncodeQr(utf8, QrLevel::kMedium);
  if (medium && side / medium->Span() >= min_module) return medium;
  std::optional<QrSymbol> low = EncodeQr(utf8, QrLevel::kLow);
  return low ? low : medium;
}

void DrawQrCode(double x, double y, double side, const QrSymbol& s) {
  drawing::Canvas* canvas = drawing::DrawingCanvas();
  if (canvas == nullptr || s.width <= 0) return;
  const double module = drawing::MmToDotsX(side) / s.Span();
  const double x0 = drawing::SheetToDotX(x);
  const double y0 = drawing::SheetToDotY(y);
  auto edge_x = [&](int k) { return static_cast<float>(x0 + (k + kQrQuietModules) * module); };
  auto edge_y = [&](int k) { return static_cast<float>(y0 + (k + kQrQuietModules) * module); };
  for (int row = 0; row < s.width; ++row) {
    for (int col = 0; col < s.width;) {
      if (!s.Dark(col, row)) {
        ++col;
        continue;
      }
      int end = col + 1;
      while (end < s.width && s.Dark(end, row)) ++end;
      drawing::CanvasFillRect(*canvas, edge_x(col), edge_y(row), edge_x(end), edge_y(row + 1), 0);
      col = end;
    }
  }
}

}  // namespace zarvel::report
