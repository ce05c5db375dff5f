#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "base/cp932.h"

namespace zarvel::text {
namespace {

constexpr int kMaxSpaces = 1024;
constexpr int kMaxRepeats = 256;

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  }
  return out;
}

// The leading integer of a short text: optional sign, then digits.
int LeadingInt(std::string_view s) {
  int value = 0;
  std::from_chars(s.data(), s.data() + s.size(), value);
  return value;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

int32_t TruncToInt32(long double x) {
  if (std::isnan(x)) return 0;
  if (x >= static_cast<long double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (x <= static_cast<long double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(x);
}

long double ParseNumber(std::string_view text) {
  std::string_view trimmed = TrimBlanks(text);
  std::string converted;
  if (!trimmed.empty() && static_cast<unsigned char>(trimmed.front()) >= 0x80) {
    converted = HalfWidthDigits(trimmed);
    trimmed = TrimBlanks(converted);
  }
  std::string taken;
  for (char c : trimmed) {
    if (c == ',') continue;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':') {
      taken += c;
    } else {
      break;
    }
  }
  // Read as far as the characters form a number; from_chars ignores the locale.
  double value = 0.0;
  const auto [end, ec] = std::from_chars(taken.data(), taken.data() + taken.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large (or too small) for a double: saturate, or read as 0.
    const std::string_view number(taken.data(), static_cast<std::size_t>(end - taken.data()));
    const std::size_t first = number.find_first_of("123456789");
    const bool large = first != std::string_view::npos && first < number.find('.');
    value = large ? (number.front() == '-' ? -HUGE_VAL : HUGE_VAL) : 0.0;
  } else if (ec != std::errc{}) {
    value = 0.0;
  }
  long double result = value;
  const std::size_t colon = taken.find(':');
  if (colon != std::string::npos) {
    int minutes = LeadingInt(std::string_view(taken).substr(colon + 1, 2));
    if (minutes >= 59) minutes = 59;
    result += minutes / 60.0L;
  }
  return result;
}

int32_t AtoI(std::string_view text) {
  const std::string upper = UpperAscii(text);
  const std::string_view t = TrimBlanks(upper);
  if (t.size() >= 2 && t[0] == '0' && t[1] == 'X') {
    bool any = false;
    int64_t value = 0;
    for (char c : t.substr(2)) {
      int digit = 0;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      any = true;
      value = std::min<int64_t>(value * 16 + digit, std::numeric_limits<int32_t>::max());
    }
    if (any) return static_cast<int32_t>(value);
  }
  const long double x = ParseNumber(t);
  return TruncToInt32(x >= 0 ? std::trunc(x + 0.1L) : std::trunc(x - 0.1L));
}

long double ControlNumber(const Control& control) {
  switch (control.Kind()) {
    case ControlKind::kLabel:
    case ControlKind::kEdit:
    case ControlKind::kComboBox:
      return ParseNumber(control.Text());
    case ControlKind::kCheckBox:
      return control.Checked() ? 1 : 0;
    case ControlKind::kOther:
      break;
  }
  return 0;
}

std::string HalfWidthDigits(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharLength(text, i);
    const auto trail = n == 2 ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (n == 2 && static_cast<unsigned char>(text[i]) == 0x82 && trail >= 0x4F && trail <= 0x58) {
      out += static_cast<char>('0' + (trail - 0x4F));
    } else {
      out.append(text.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string FoldFullWidthSpaces(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    if (static_cast<unsigned char>(out[i]) == 0x81 && i + 1 < out.size() &&
        static_cast<unsigned char>(out[i + 1]) == 0x40) {
      out[i] = ' ';
      out[i + 1] = ' ';
    }
  }
  return out;
}

std::string Spaces(int n) {
  static const std::string blanks(kMaxSpaces, ' ');
  if (n <= 0) return {};
  return blanks.substr(0, static_cast<std::size_t>(std::min(n, kMaxSpaces)));
}

std::string RepeatText(std::string_view text, int n) {
  std::string out;
  if (n <= 0) return out;
  n = std::min(n, kMaxRepeats);
  out.reserve(text.size() * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) out.append(text);
  return out;
}

int SplitAt(char* buffer, int max_parts, char separator, char* parts[]) {
  if (max_parts < 1) max_parts = 1;
  parts[0] = buffer;
  int count = 1;
  for (char* p = buffer; *p != '\0' && count < max_parts; ++p) {
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      ++p;  // the trail byte of a two-byte character is never a separator
    } else if (*p == separator) {
      *p = '\0';
      parts[count++] = p + 1;
    }
  }
  return count;
}

double RoundHalfDown(double x) {
  return x >= 0 ? std::trunc(x + 0.49999) : std::trunc(x - 0.49999);
}

double SafeSqrt(double x) {
  if (std::isnan(x) || x < 0) return 0;
  return std::sqrt(x);
}

}  // namespace zarvel::text
