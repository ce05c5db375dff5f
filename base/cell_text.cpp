#include "base/cell_text.h"

#include "base/format.h"
#include "base/numbers.h"

namespace zarvel::base {

CellValue ParseCellText(std::string_view text) {
  CellValue v;
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos) {
    v.length = AtoI(text);
    return v;
  }
  v.length = AtoI(text.substr(0, point));
  v.count = AtoI(text.substr(point + 1, 99));
  if (v.count < 1) v.count = 1;
  return v;
}

std::string FormatCellText(std::string_view text) {
  const CellValue v = ParseCellText(text);
  if (v.length == 0) return {};
  return Format("%5d.%3d", v.length, v.count);
}

}  // namespace zarvel::base
