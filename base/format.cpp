#include "base/format.h"

#include <cstdarg>
#include <cstdio>

namespace zarvel::base {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string s = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      s += Format("\\u%04x", static_cast<unsigned>(c));
    } else {
      s += c;
    }
  }
  return s + "\"";
}

}  // namespace zarvel::base
