#include "base/outside_text.h"

#include "base/cp932.h"

namespace zarvel::base {

std::size_t BlankAt(std::string_view s, std::size_t i, Encoding encoding) {
  const auto b = static_cast<unsigned char>(s[i]);
  if (b <= ' ') return 1;
  if (encoding == Encoding::kCp932)
    return b == 0x81 && i + 1 < s.size() && s[i + 1] == '\x40' ? 2 : 0;
  return s.substr(i, 3) == "\xE3\x80\x80" ? 3 : 0;
}

namespace {

std::size_t CharBytes(std::string_view s, std::size_t i, Encoding encoding) {
  if (encoding == Encoding::kCp932) return CharLength(s, i);
  std::size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

std::string_view TrimAllBlanks(std::string_view s, Encoding encoding) {
  std::size_t first = s.size(), end = 0;
  for (std::size_t i = 0; i < s.size();) {
    if (const std::size_t blank = BlankAt(s, i, encoding)) {
      i += blank;
      continue;
    }
    const std::size_t n = CharBytes(s, i, encoding);
    if (first == s.size()) first = i;
    end = i + n;
    i += n;
  }
  return first == s.size() ? std::string_view() : s.substr(first, end - first);
}

std::string FoldAllBlanks(std::string_view s, Encoding encoding) {
  const std::string_view t = TrimAllBlanks(s, encoding);
  std::string out;
  bool blank = false;
  for (std::size_t i = 0; i < t.size();) {
    if (const std::size_t n = BlankAt(t, i, encoding)) {
      blank = true;
      i += n;
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    const std::size_t n = CharBytes(t, i, encoding);
    out.append(t.substr(i, n));
    i += n;
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = b >= 0xC2 && b <= 0xDF   ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second >= 0xA0) ||
        (b == 0xF0 && second < 0x90) || (b == 0xF4 && second >= 0x90))
      return false;
    i += n;
  }
  return true;
}

std::string DecodeToUtf8(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out, cp932;  // cp932: readable characters waiting for one conversion
  const auto flush = [&] {
    out += Cp932ToUtf8(cp932);
    cp932.clear();
  };
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    std::size_t n = 0;  // CP932 bytes of a readable character here; 0: none
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
      n = 1;
    } else if (IsLeadByte(b) && (b < 0x85 || b > 0x86) && (b < 0xEB || b > 0xF9) &&
               i + 1 < bytes.size()) {
      // (0x85-0x86 and 0xEB-0xEF lead no character, 0xF0-0xF9 the user-defined ones: no text
      // a writer means)
      const auto t = static_cast<unsigned char>(bytes[i + 1]);
      if (t >= 0x40 && t <= 0xFC && t != 0x7F) n = 2;
    }
    if (n > 0) {
      cp932.append(bytes.substr(i, n));
      i += n;
      continue;
    }
    flush();  // a byte neither reads: Latin-1
    out += static_cast<char>(0xC0 | (b >> 6));
    out += static_cast<char>(0x80 | (b & 0x3F));
    ++i;
  }
  flush();
  return out;
}

char FieldSeparator(std::string_view line) {
  bool quoted = false, semicolon = false;
  for (const char c : line) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\t') return '\t';
    semicolon = semicolon || c == ';';
  }
  return semicolon ? ';' : ',';
}

std::vector<std::string> SplitFields(std::string_view line, char separator, Encoding encoding) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == separator && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& f : fields) f = std::string(TrimAllBlanks(f, encoding));
  return fields;
}

}  // namespace zarvel::base
