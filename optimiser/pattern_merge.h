// Fewer patterns for an integer plan, by re-splitting the pieces of a few patterns among the
// same bars (merging in the manner of KOMBI): two patterns become one, three become two, and a
// pattern or two may instead become bars of up to two other patterns of the plan (cut more often
// then). A group may hold patterns of several stock entries: each bar keeps its own. So the
// stock of the plan is the same to the bar, and every piece is cut exactly as often as before.
//
// The model is that of exact.h: a bar of capacity C (its length, margin and one kerf) takes
// pieces whose weights (length + kerf) add up to at most C.
//
// The work is bounded by a count of steps (groups tried and choices made in the search over
// their splits), never by the clock: the same plan and count give the same result everywhere.
#pragma once

#include <cstdint>
#include <vector>

namespace zarvel::optimiser {

// A pattern of a plan: its stock entry (0-based), its pieces per cut entry (0-based) and how many
// bars are cut by it.
struct MergePattern {
  int stock = 0;
  std::vector<int32_t> counts;
  int64_t times = 0;
  bool operator==(const MergePattern&) const = default;
};

struct MergeJob {
  std::vector<int64_t> weights;     // per cut entry: length + kerf, above 0
  std::vector<int64_t> capacities;  // per stock entry: length + margin + kerf
  std::vector<int64_t> lengths;     // per stock entry, for the scrap below
  // Above 0: remnants shorter than this are scrap, and no merge may raise the plan's scrap.
  int32_t keep = 0;
};

struct MergeResult {
  std::vector<MergePattern> plan;  // the plan with its patterns merged, in the order of the input
  int64_t steps = 0;               // steps taken
  bool out_of_steps = false;       // the count ended it before every group was tried
};

// The largest group tried: this many patterns become one fewer.
inline constexpr int kMaxMergeGroup = 3;

// Merges the patterns of `plan` (each of which must fit its bar) within `steps` steps. Equal
// patterns are joined first; a pattern cut no times is dropped.
MergeResult MergePatterns(const MergeJob& job, const std::vector<MergePattern>& plan,
                          int64_t steps);

}  // namespace zarvel::optimiser
