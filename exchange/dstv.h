// DSTV NC1 part files, as detailing software writes one per part: the header ("ST" block) read
// for the saw: piece mark, grade, quantity, profile, profile code, length and weight per metre.
#pragma once

#include <string>
#include <string_view>

namespace zarvel::exchange {

struct DstvPart {
  std::string order;    // UTF-8 (the file's text decoded: UTF-8, Shift_JIS or Latin-1)
  std::string drawing;  // UTF-8
  std::string mark;     // UTF-8
  std::string grade;    // UTF-8
  long long quantity = 0;
  std::string profile;       // UTF-8, blanks folded to one
  std::string profile_code;  // "I", "U", "L", "B", "RU", "RO", "M", "C", "T", "SO"
  double length = 0;         // mm, as written (decimals kept)
  double kg_per_m = 0;       // 0 when the writer left it out (plates: per m² × the width)
};

struct DstvRead {
  bool ok = false;
  DstvPart part;
  std::string error;  // UTF-8: which field and why, when !ok
};

// Largest part file read.
inline constexpr std::size_t kMaxDstvSize = 16 * 1024 * 1024;

// Reads the header of a part file. Numbers are read strictly as decimal numbers with a point or a
// decimal comma ("6236:88" or "x" are refused, naming the field); a length may carry further
// numbers after a comma (a saw length), which are ignored. When a field is refused, `part`
// still holds the profile when it was read, so the job it belongs to is known.
DstvRead ReadDstv(std::string_view bytes);

// Whether the bytes begin, after comments, with the "ST" line of a part file: a part file
// whatever its name.
bool LooksLikeDstv(std::string_view bytes);

}  // namespace zarvel::exchange
