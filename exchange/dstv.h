// DSTV NC1 part files, as detailing software writes one per part: the header ("ST" block) read
// for the saw: piece mark, grade, quantity, profile, profile code, length and weight per metre.
#pragma once

#include <string>
#include <string_view>

namespace zarvel::exchange {

struct DstvPart {
  std::string order;    // UTF-8 (the file's Latin text decoded)
  std::string drawing;  // UTF-8
  std::string mark;     // UTF-8
  std::string grade;    // UTF-8
  long long quantity = 0;
  std::string profile;       // UTF-8, blanks folded to one
  std::string profile_code;  // "I", "U", "L", "B", "RU", "RO", "M", "C", "T", "SO"
  double length = 0;         // mm, as written (decimals kept)
  double kg_per_m = 0;       // 0 when the writer left it out
};

struct DstvRead {
  bool ok = false;
  DstvPart part;
  std::string error;  // UTF-8: which field and why, when !ok
};

// Largest part file read.
inline constexpr std::size_t kMaxDstvSize = 16 * 1024 * 1024;

// Reads the header of a part file. Numbers are read strictly as decimal numbers ("6236:88" or
// "x" are refused, naming the field); a length may carry further numbers after a comma (a saw
// length), which are ignored.
DstvRead ReadDstv(std::string_view bytes);

// Blanks trimmed and runs of blanks folded to one: "HEA  200 " → "HEA 200".
std::string FoldBlanks(std::string_view text);

}  // namespace zarvel::exchange
