// A stock count's bytes: read, and when accepted, written as the yard lists it and read back to
// the same items.
#include <cstddef>
#include <cstdint>
#include <string>

#include "yard/stock_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<zarvel::yard::NewItem> items;
  std::string error;
  if (!zarvel::yard::ReadStockCsv(bytes, items, error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  std::vector<zarvel::yard::Item> listed;
  for (const zarvel::yard::NewItem& n : items) {
    // Fields that hold a line break or a leading blank do not survive a line-based reader.
    if (n.section.find_first_of("\r\n") != std::string::npos ||
        n.location.find_first_of("\r\n") != std::string::npos ||
        n.lot.find_first_of("\r\n") != std::string::npos)
      return 0;
    listed.push_back(
        {1, n.section, n.length, n.count, n.offcut, n.location, n.lot, n.source, n.grade});
  }
  std::vector<zarvel::yard::NewItem> again;
  if (!zarvel::yard::ReadStockCsv(zarvel::yard::StockCsv(listed), again, error) ||
      again.size() != items.size())
    __builtin_trap();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (again[i].length != items[i].length || again[i].count != items[i].count ||
        again[i].offcut != items[i].offcut)
      __builtin_trap();
  return 0;
}
