// Code page 932 (Shift-JIS, Windows flavour) text inside the core.
//
// Every text the core stores, measures or writes is a std::string of CP932 bytes, because
// columns and widths count bytes. Source literals are UTF-8 and pass through Lit() once.
#pragma once

#include <string>
#include <string_view>

namespace zarvel::base {

// True for a byte that opens a two-byte CP932 character.
constexpr bool IsLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Byte length of the character that starts at s[i] (1 or 2; a lone lead byte at the end is 1).
inline std::size_t CharLength(std::string_view s, std::size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// The longest start of a CP932 text within `bytes` bytes, cut only between characters.
inline std::string HeadBytes(std::string_view s, std::size_t bytes) {
  std::size_t end = 0;
  while (end < s.size()) {
    const std::size_t next = end + CharLength(s, end);
    if (next > bytes) break;
    end = next;
  }
  return std::string(s.substr(0, end));
}

// UTF-8 to CP932. A character CP932 cannot hold, or a malformed UTF-8 sequence, becomes "?".
std::string Utf8ToCp932(std::string_view utf8);

// CP932 to UTF-8. A byte sequence that is not CP932 becomes U+FFFD; nothing is dropped silently.
std::string Cp932ToUtf8(std::string_view cp932);

// A UTF-8 text as CP932, converted once and cached for the life of the process (keyed by the
// text itself, so any string may be passed; meant for the program's own literals).
const std::string& Lit(std::string_view utf8);

}  // namespace zarvel::base
