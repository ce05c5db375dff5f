#include "job/num_entry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "base/format.h"

namespace zarvel::job {

std::string RightAlign(const std::string& text, int width) {
  const auto w = static_cast<std::size_t>(width <= 0 ? 1 : width);
  if (text.size() >= w) return text.substr(text.size() - w);
  return std::string(w - text.size(), ' ') + text;
}

int MapEntryChar(char32_t ch) {
  if (ch < 0x80) return static_cast<int>(ch);
  if (ch >= U'０' && ch <= U'９') return '0' + static_cast<int>(ch - U'０');
  switch (ch) {
    case U'．':
      return '.';
    case U'－':
      return '-';
    case U'＋':
      return '+';
    case U'Ｅ':
    case U'ｅ':
    case U'え':
      return 'e';
    default:
      return 0;
  }
}

EntryState& Entry() {
  static EntryState state;
  return state;
}

void BeginEntry(const void* target, const std::string& text, int width) {
  EntryState& e = Entry();
  e.target = target;
  e.width = width < 1 ? 1 : width;
  e.original = text;
  e.key_count = 0;
}

std::string ShiftInChar(const std::string& text, int key) {
  EntryState& e = Entry();
  const auto w = static_cast<std::size_t>(e.width);
  if (key >= 32) {
    std::string t = e.key_count == 0 ? std::string() : text;
    t = RightAlign(t, e.width);
    ++e.key_count;
    return t.substr(1) + static_cast<char>(key);
  }
  if (e.key_count > 0) {
    if (key == kKeyEscape) {
      e.key_count = 0;
      return e.original;
    }
    if (key == kKeyBackspace) return std::string(1, ' ').append(text, 0, w - 1);
    return text;
  }
  if (key == kKeyBackspace) {
    std::string t;
    for (char c : e.original)
      if (c != ' ') t += c;
    if (!t.empty()) t.pop_back();
    ++e.key_count;
    return t.size() >= w ? t : std::string(w - t.size(), ' ') + t;
  }
  return text;
}

namespace {

// The number a text starts with, read as the C library reads it (locale aside): blanks, an
// optional sign, digits; out of range saturates, nothing readable is 0.
template <typename T>
T LeadingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  T v = 0;
  const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), v);
  (void)end;
  if (ec == std::errc::result_out_of_range)
    return text[i] == '-' ? std::numeric_limits<T>::lowest() : std::numeric_limits<T>::max();
  return ec == std::errc{} ? v : 0;
}

}  // namespace

std::string FormatNumberText(const std::string& text, int tag) {
  const int w = TagWidth(tag);
  const int d = TagDecimals(tag);
  if (w == 0) return text;
  if (d > 0) return base::Format("%*.*f", w, d, LeadingNumber<double>(text));
  // Beyond int, the C reading saturates; keep that rather than wrap.
  const long long v = LeadingNumber<long long>(text);
  const long long clamped = std::max<long long>(std::min<long long>(v, INT32_MAX), INT32_MIN);
  return base::Format("%*lld", w, clamped);
}

int GridCellWidth(int column_width, int font_height) {
  const int half = (font_height < 0 ? -font_height : font_height) / 2;
  if (half == 0) return 1;
  const int w = (column_width - 3) / half;
  return w > 0 ? w : 1;
}

}  // namespace zarvel::job
