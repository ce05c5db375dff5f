// Grid cells: "length.count" texts, as typed and in their canonical "%5d.%3d" form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zarvel::base {

struct CellValue {
  int32_t length = 0;
  int32_t count = 1;  // at least 1
};

// Length before the first ".", count after it (at most 99 characters); a count below 1 is 1.
CellValue ParseCellText(std::string_view text);

// The canonical cell text: "%5d.%3d" of length and count, or empty when the length is 0.
std::string FormatCellText(std::string_view text);

}  // namespace zarvel::base
