// The optimiser's records: the stock and cut lists, the planning conditions and the plans.
//
// All tables are fixed-size with 1-based items; item 0 is scratch (the sorts' exchange slot,
// the search's sentinel). Only the two names of the conditions allocate once constructed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "optimiser/random.h"

namespace zarvel::optimiser {

inline constexpr int kMaxEntries = 103;    // data entries of a length list
inline constexpr int kMaxPatterns = 2000;  // patterns of a plan
inline constexpr double kRateSentinel = 999.0;
inline constexpr int32_t kLengthSentinel = 99999;
inline constexpr int32_t kShortestSentinel = 999999;

struct LengthEntry {
  int32_t length = 0;
  int32_t quantity = 0;
  int32_t remaining = 0;  // working counter of the search
  bool measured = false;  // stock: an offcut measured in the yard, filled without the margin
};

// A piece mark (符号) of the cut list: `count` pieces of `length` carry it.
struct PieceMark {
  std::string mark;  // CP932
  int32_t length = 0;
  int32_t count = 0;
  bool operator==(const PieceMark&) const = default;
};

struct LengthList {
  int32_t count = 0;
  LengthEntry entries[kMaxEntries + 1] = {};

  bool Empty() const { return count == 0; }
  // Appends an entry; returns false (and stores nothing) when the list is full.
  bool Append(int32_t length, int32_t quantity);
  // Exchange sort by length ascending through entry 0 (not stable); of one length, bars with
  // their margin before measured offcuts.
  void SortByLength();
  // Adds the quantities of equal lengths (and equal measure) into one entry; the list must be
  // sorted.
  void MergeEqualLengths();
  // The sum of length × quantity, in mm.
  double TotalLength() const;
};

struct BarPattern {
  int32_t stock_index = 0;
  double remnant = 0;
  double remnant_rate = 0;
  int32_t piece_counts[kMaxEntries + 1] = {};  // per cut entry 1..103; index 0 unused
  int32_t repeat_count = 0;
  int32_t shortest_piece = 0;  // set when the plan is finalised
};

struct CuttingPlan {
  int32_t pattern_count = 0;  // 0: no valid plan
  double required_length = 0;
  double stock_length = 0;
  double remnant_length = 0;
  double remnant_rate = 0;
  double loss_rate = 0;
  BarPattern patterns[kMaxPatterns + 2] = {};  // slot 0 is the exchange slot

  // Copies the totals and the patterns in use, not the unused slots.
  void CopyFrom(const CuttingPlan& other);
  // The remnant and loss rates (%) from the stock, remnant and required lengths.
  void SetRates();
};

// 最適's remnant policy: offcuts in hand first, remnants of at least `keep` mm kept (no loss),
// shorter ones scrapped (see remnant_policy.h).
struct RemnantPolicy {
  bool offcuts_first = false;
  int32_t keep = 0;  // mm
  bool operator==(const RemnantPolicy&) const = default;
};

struct Conditions {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  std::string project_name;  // CP932, trimmed
  std::string member_name;   // CP932, trimmed
  std::string grade;         // CP932: the steel grade; empty when not known
  double unit_weight = 0;    // kg/m
  int32_t margin = 0;        // stock margin, mm
  int32_t kerf = 0;          // mm
  int32_t priority_length = 0;
  RemnantPolicy policy;  // applied at 最適 only
};

// Bars of one stock length (that a plan cuts, or that a job lacks).
struct StockBarsUsed {
  int32_t length = 0;
  long long bars = 0;
  bool operator==(const StockBarsUsed&) const = default;
};

// Bars of one stock length that are measured offcuts from the yard.
struct MeasuredBars {
  int32_t length = 0;
  long long bars = 0;
  bool operator==(const MeasuredBars&) const = default;
};

// Marks `measured` bars of each length in `list` as measured offcuts: an entry of such a length
// is split when only some of its bars are (the measured part after it), so that the margin
// stays with the other bars. Lengths the list does not hold are ignored.
void MarkMeasured(LengthList& list, const std::vector<MeasuredBars>& measured);

// Everything the run reads and writes. The window and each command own one, made on the heap
// (about 2 MB); tests make their own.
struct OptimiserRecords {
  LengthList stock;
  LengthList cut;
  Conditions conditions;
  CuttingPlan current;
  CuttingPlan best;
  RandomGenerator random;
  // Set by a run at 最適: the bounds no plan can beat (mm of regular stock, then of priority
  // stock with that much regular stock), whether the best plan reaches them, and whether Shift
  // or the time guard ended the run.
  bool exact_run = false;
  double regular_bound = 0;
  double priority_bound = 0;
  double scrap_bound = 0;  // with the remnant policy: no plan of that mill stock scraps less
  bool proven_optimal = false;
  bool stopped = false;
  // Set by a search that the work limit stopped before its last attempt; the attempts it made.
  bool work_limit_reached = false;
  int attempts_made = 0;
  // The job's piece marks as they stood at the run, for the pages and outputs that name them.
  std::vector<PieceMark> marks;
  // Set by a run that the stock cannot cover: the least bars to add per stock length, and the
  // job with them added and planned.
  std::vector<StockBarsUsed> shortage;
  std::shared_ptr<const OptimiserRecords> with_shortage;
};

// How far beyond its length a bar of stock entry k may be filled: the stock margin (the mill's
// plus tolerance), or nothing for a measured offcut.
inline int32_t StockMargin(const OptimiserRecords& records, int k) {
  return records.stock.entries[k].measured ? 0 : records.conditions.margin;
}

// For each stock entry the best plan cuts at all, in stock-list order.
std::vector<StockBarsUsed> StockUsed(const OptimiserRecords& records);

}  // namespace zarvel::optimiser
