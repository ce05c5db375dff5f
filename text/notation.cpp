// The symbol notation of report texts: "N~" and "B~" with bars, narrowed full-width capitals,
// enlarged Greek letters, primes and subscripts, "$Σ", "$(" and "$)", and "#" placeholders.
// Each special piece is drawn on its own and blanked, then the rest of the line is drawn.
#include <algorithm>

#include "base/cp932.h"
#include "text/fields.h"
#include "text/output.h"

namespace zarvel::text {
namespace {

bool IsEnlargedGreek(const std::string& ch) {
  static const std::string& list = base::Lit("αγεικνπστυχω");
  for (std::size_t i = 0; i + 1 < list.size(); i += 2)
    if (list.compare(i, 2, ch) == 0) return true;
  return false;
}

void Blank(std::string& t, std::size_t from, std::size_t count) {
  for (std::size_t k = from; k < from + count && k < t.size(); ++k) t[k] = ' ';
}

}  // namespace

void PutNotationText(double x, double y, double along, double across, const std::string& text) {
  const StFont saved = TextStyle();
  const double w = saved.width;
  const double h = saved.height;
  std::string t = text + " ";
  const std::size_t len = t.size();
  std::string mask(len, ' ');
  auto with_style = [&](double height, double width, auto draw) {
    SetTextStyle(height, width, saved.angle, saved.font_code);
    draw();
    RestoreTextStyle(saved);
  };

  std::size_t i = 0;  // 0-based column
  while (i + 1 < len) {
    const double c = along + static_cast<double>(i) * w;
    if ((t[i] == 'N' || t[i] == 'B') && t[i + 1] == '~') {
      PutText(x, y, c, across - 0.5 * h, base::Lit("－"));
      const std::string& letter = t[i] == 'N' ? base::Lit("Ｎ") : base::Lit("Ｂ");
      t.replace(i, 2, letter);
    }
    const auto b1 = static_cast<unsigned char>(t[i]);
    if (IsTextLeadByte(b1)) {
      mask[i] = '1';
      mask[i + 1] = '2';
      const int code = b1 * 256 + static_cast<unsigned char>(t[i + 1]);
      const bool full_width_letter = code >= 0x8260 && code <= 0x829A;
      const bool greek = code >= 0x839F && code <= 0x83D6;
      if (full_width_letter || greek) {
        const std::string ch = t.substr(i, 2);
        if (code <= 0x8279 && full_width_letter) {  // Ａ–Ｚ, narrowed
          with_style(h, 0.875 * w, [&] { PutText(x, y, c + w / 8, across, ch); });
          Blank(t, i, 2);
        }
        if (IsEnlargedGreek(ch)) {
          with_style(1.375 * h, 0, [&] { PutText(x, y, c - w / 4, across - 0.375 * h, ch); });
          Blank(t, i, 2);
        }
        std::size_t k = 2;
        double offset = 1.75 * w;
        const char b3 = i + 2 < len ? t[i + 2] : '$';
        if (b3 == '\'' || b3 == '"') {
          PutText(x, y, c + 1.75 * w, across, std::string(1, b3));
          t[i + 2] = ' ';
          offset = 2.0 * w;
          k = 3;
        }
        std::size_t j = i + k;
        while (j < len && t[j] != '/' && t[j] != '=' && t[j] >= 0x2A && t[j] <= 0x7D) ++j;
        if (j > i + k) {
          const std::string run = t.substr(i + k, j - (i + k));
          with_style(0.75 * h, 0.875 * w,
                     [&] { PutText(x, y, c + offset, across + 0.375 * h, run); });
          Blank(t, i + k, j - (i + k));
        }
      }
      i += 2;
      continue;
    }
    if (t[i] == '$') {
      if (t.compare(i + 1, 2, base::Lit("Σ")) == 0) {
        with_style(2 * h, 2 * w,
                   [&] { PutText(x, y, c - 0.75 * w, across - 0.5 * h, base::Lit("Σ")); });
        Blank(t, i, 3);
      } else if (t[i + 1] == '(' || t[i + 1] == ')') {
        const std::string paren(1, t[i + 1]);
        with_style(2 * h, 2 * w, [&] { PutText(x, y, c, across - 0.5 * h, paren); });
        Blank(t, i, 2);
      }
      ++i;
      continue;
    }
    if (t[i] == '#') {
      i = RegisterPlaceholder(t, mask, i, x, y, along, across);
      continue;
    }
    ++i;
  }
  PutText(x, y, along, across, t);  // every piece restored the style already
}

}  // namespace zarvel::text
