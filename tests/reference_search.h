// A plain, literal version of the cutting search, step by step as the algorithm is written:
// full scans, full clears, whole-record copies and sorts. The real search must give exactly
// the same plans; this one exists only to check that.
#pragma once

#include <cstdint>

#include "optimiser/records.h"

namespace zarvel::testing {

// Same contract as optimiser::RunSearch without progress, keys or pauses.
int ReferenceSearch(optimiser::OptimiserRecords& records, int attempts);
// The same, counting the work as the real search does: each draw, and one more for each fill.
int CountedReferenceSearch(optimiser::OptimiserRecords& records, int attempts, int64_t& work);

}  // namespace zarvel::testing
