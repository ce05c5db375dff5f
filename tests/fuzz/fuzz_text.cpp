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
  (void)base::ParseNumber(s);
  (void)base::AtoI(s);
  const std::string cell = base::FormatCellText(s);
  if (base::FormatCellText(cell) != cell) __builtin_trap();  // canonical stays canonical
  if (base::FoldFullWidthSpaces(s).size() != s.size()) __builtin_trap();
  (void)base::HalfWidthDigits(s);
  std::vector<char> buffer(s.begin(), s.end());
  buffer.push_back('\0');
  char* parts[8];
  const int n = base::SplitAt(buffer.data(), 8, ',', parts);
  if (n < 1 || n > 8) __builtin_trap();
  (void)job::FormatNumberText(s, size % 100);
  static int target;
  job::BeginEntry(&target, s, static_cast<int>(size % 20));
  std::string t = s;
  for (unsigned char c : s) t = job::ShiftInChar(t, c);
  (void)base::Utf8ToCp932(base::Cp932ToUtf8(s));
  return 0;
}
