#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "base/cp932.h"

namespace zarvel::base {
namespace {

constexpr int kMaxSpaces = 1024;
constexpr int kMaxRepeats = 256;

// The leading integer of a short text: optional sign, then digits.
int LeadingInt(std::string_view s) {
  int value = 0;
  std::from_chars(s.data(), s.data() + s.size(), value);
  return value;
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  }
  return out;
}

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

namespace {

// The characters ParseNumber reads: digits, sign, point and colon, with commas skipped, after
// blanks are trimmed and (for a text starting with a two-byte character) full-width digits folded.
std::string TakenNumberChars(std::string_view text) {
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
  return taken;
}

// The minutes after the first colon (two characters, read as an integer), 59 at most.
int MinutesPart(std::string_view taken) {
  const std::size_t colon = taken.find(':');
  if (colon == std::string_view::npos) return 0;
  return std::min(LeadingInt(taken.substr(colon + 1, 2)), 59);
}

// trunc(x + 0.1) for x >= 0 and trunc(x - 0.1) below, x being the number ParseNumber reads from
// `taken` (sign, digits, point, digits, then minutes added), worked out on the decimal digits
// themselves: in binary "1.9" is a little under 1.9 and would round down.
int32_t RoundedDecimal(std::string_view taken) {
  // The number as from_chars reads it: [-]digits[.digits] or [-].digits, at least one digit.
  std::string_view s = taken;
  const bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  const std::size_t int_end = std::min(s.find_first_not_of("0123456789"), s.size());
  std::string_view whole = s.substr(0, int_end);
  std::string_view fraction;
  if (int_end < s.size() && s[int_end] == '.') {
    fraction = s.substr(int_end + 1);
    fraction =
        fraction.substr(0, std::min(fraction.find_first_not_of("0123456789"), fraction.size()));
  }
  // The whole part, saturated far beyond the int32 range (the minutes cannot matter there).
  constexpr int64_t kHuge = int64_t{1} << 40;
  int64_t whole_value = 0;
  for (char c : whole) whole_value = std::min(whole_value * 10 + (c - '0'), kHuge);
  if (whole_value >= kHuge)
    return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
  // 60 × fraction = sixtieths + rest, 0 <= rest < 1: multiply the digits by 60 from the right.
  int carry = 0;
  bool rest = false;
  for (std::size_t i = fraction.size(); i-- > 0;) {
    const int v = (fraction[i] - '0') * 60 + carry;
    rest = rest || v % 10 != 0;
    carry = v / 10;
  }
  const int64_t sixtieths = carry;
  const int64_t minutes = MinutesPart(taken);
  // 60x = w + rho with w whole and 0 <= rho < 1.
  const int64_t magnitude = whole_value * 60 + sixtieths;
  const int64_t w = !negative ? magnitude + minutes : minutes - magnitude - (rest ? 1 : 0);
  const bool rho = rest;
  // x + 0.1 = (60x + 6) / 60; the fraction rho never carries 60x + 6 past a multiple of 60.
  if (w >= 0) return TruncToInt32((w + 6) / 60);
  const int64_t down = -w - (rho ? 1 : 0);  // -60x = down + (1 - rho) when rho, else down
  return TruncToInt32(-((down + 6) / 60));
}

}  // namespace

long double ParseNumber(std::string_view text) {
  const std::string taken = TakenNumberChars(text);
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
  return value + MinutesPart(taken) / 60.0L;
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
  return RoundedDecimal(TakenNumberChars(t));
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

}  // namespace zarvel::base
