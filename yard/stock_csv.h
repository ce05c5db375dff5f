// A stock count from a spreadsheet: one item a line (section, length, count, and optionally
// offcut, location and lot), and the yard's items written the same way.
#pragma once

#include <string>
#include <vector>

#include "yard/yard.h"

namespace zarvel::yard {

inline constexpr std::size_t kMaxStockCsvSize = 64 * 1024 * 1024;

// Reads the bytes (UTF-8 with or without a byte-order mark, else CP932). Fields are separated
// by commas or TABs, and may be quoted. A first line naming its columns (section/鋼材名,
// length/長さ, count/本数, offcut/端材, location/置場, lot/ロット, grade/材質; other columns are
// ignored) sets their order; without one the order is section, length, count, offcut, location,
// lot, grade. Blank
// lines are skipped. False with `error` (UTF-8, naming the line) on a line it cannot read or
// whose length or count the yard does not take.
bool ReadStockCsv(const std::string& bytes, std::vector<NewItem>& items, std::string& error);

// The items as CSV with the heading line
// "id,section,length,count,offcut,location,lot,source,grade" (UTF-8, CR LF), which ReadStockCsv
// reads back.
std::string StockCsv(const std::vector<Item>& items);

}  // namespace zarvel::yard
