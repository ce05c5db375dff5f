// Text that comes from outside files (cut lists, parts lists, part files, stock counts): which
// bytes are blanks, how its encoding is told, and how a line of it splits into fields. Every
// reader of such text uses these, so that a blank or a quoted comma means the same everywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarvel::base {

enum class Encoding { kCp932, kUtf8 };

// The blank rule: control bytes, the ASCII space and the full-width space (U+3000; 0x81 0x40
// in CP932). The number of bytes of the blank at s[i], 0 when none stands there.
std::size_t BlankAt(std::string_view s, std::size_t i, Encoding encoding);

// Blanks off both ends (walking whole characters, so no trail byte is taken for a blank).
std::string_view TrimAllBlanks(std::string_view s, Encoding encoding);

// Trimmed, and every run of blanks inside made one ASCII space: "HEA　 200 " → "HEA 200".
std::string FoldAllBlanks(std::string_view s, Encoding encoding);

// Well-formed UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool IsValidUtf8(std::string_view s);

// Bytes of an outside text as UTF-8: a byte-order mark dropped; UTF-8 when the bytes are valid
// UTF-8, else CP932, and Latin-1 only for the bytes CP932 cannot read either. Nothing is lost.
std::string DecodeToUtf8(std::string_view bytes);

// The separator a line of a list uses: a TAB when one stands outside quotes, else a semicolon,
// else a comma.
char FieldSeparator(std::string_view line);

// A line's fields: double quotes enclose a field (a doubled quote inside stands for one), and
// each field is trimmed by the blank rule. The separators, quotes and blanks this looks for
// never occur as the second byte of a CP932 or UTF-8 character.
std::vector<std::string> SplitFields(std::string_view line, char separator, Encoding encoding);

}  // namespace zarvel::base
