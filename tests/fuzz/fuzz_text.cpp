// The number parsers, cell normaliser, odometer entry and CP932 conversions on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/cell_text.h"
#include "base/cp932.h"
#include "base/numbers.h"
#include "job/num_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace zarvel;
  const std::string s(reinterpret_cast<const char*>(data), size);
  (void)text::ParseNumber(s);
  (void)text::AtoI(s);
  const std::string cell = text::FormatCellText(s);
  if (text::FormatCellText(cell) != cell) __builtin_trap();  // canonical stays canonical
  if (text::FoldFullWidthSpaces(s).size() != s.size()) __builtin_trap();
  (void)text::HalfWidthDigits(s);
  std::vector<char> buffer(s.begin(), s.end());
  buffer.push_back('\0');
  char* parts[8];
  const int n = text::SplitAt(buffer.data(), 8, ',', parts);
  if (n < 1 || n > 8) __builtin_trap();
  (void)job::FormatNumberText(s, size % 100);
  static int target;
  job::BeginEntry(&target, s, static_cast<int>(size % 20));
  std::string t = s;
  for (unsigned char c : s) t = job::ShiftInChar(t, c);
  (void)text::Utf8ToCp932(text::Cp932ToUtf8(s));
  return 0;
}
