// QR codes on report pages: the symbol from libqrencode, drawn as filled rectangles.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zarvel::report {

// Light modules the standard asks for around the symbol, on every side.
inline constexpr int kQrQuietModules = 4;

struct QrSymbol {
  int width = 0;              // modules per side, without the quiet zone
  std::vector<uint8_t> dark;  // width × width, row by row: 1 for a dark module
  bool Dark(int x, int y) const { return dark[static_cast<std::size_t>(y * width + x)] != 0; }
  // Modules per side with the quiet zone.
  int Span() const { return width + 2 * kQrQuietModules; }
};

enum class QrLevel { kLow, kMedium };

// The symbol of one line of UTF-8 text (8-bit mode, the smallest version that holds it);
// nothing when the text is empty, holds a zero byte or is too long for any version.
std::optional<QrSymbol> EncodeQr(std::string_view utf8, QrLevel level);

// The symbol with the most error correction whose modules are at least `min_module` mm when
// it takes `side` mm with its quiet zone; the lowest level when none is that large.
std::optional<QrSymbol> EncodeQrFor(std::string_view utf8, double side, double min_module);

// Draws the symbol with its quiet zone in the square of `side` sheet mm at (x, y): one filled
// rectangle per run of dark modules in a row. Module edges are computed once per grid line, so
// neighbouring rectangles meet without a gap or an overlap when played.
void DrawQrCode(double x, double y, double side, const QrSymbol& symbol);

}  // namespace zarvel::report
