// A part file's bytes: read as a DSTV header, and when accepted, grouped into a job's cut list
// with its marks; a header either reads or says why, and a read part stays within the grid.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "exchange/dstv.h"
#include "exchange/part_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const zarvel::exchange::DstvRead r = zarvel::exchange::ReadDstv(bytes);
  if (r.ok != r.error.empty()) __builtin_trap();
  if (!r.ok) return 0;
  const zarvel::exchange::DstvPart& p = r.part;
  if (p.quantity < 1 || p.quantity > 99999 || !(p.length > 0) || p.length > 99999) __builtin_trap();
  const auto jobs = zarvel::exchange::GroupParts(
      {{"f", p.mark, p.profile, p.grade, "", p.length, p.quantity, p.kg_per_m, false}}, 102);
  if (jobs.size() != 1 || jobs[0].pieces.size() != 1) __builtin_trap();
  if (jobs[0].pieces[0].length != static_cast<int32_t>(std::ceil(p.length - 1e-9)))
    __builtin_trap();
  return 0;
}
