// The optimiser's records: the stock and cut lists, the planning conditions and the plans.
//
// All tables have 1-based items; item 0 is scratch (the sorts' exchange slot, the search's
// sentinel). A job's tables hold what its grids can (kMaxEntries, kMaxPatterns); the records of
// several jobs planned together are widened to their lists (OptimiserRecords::Widen).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
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
// Widened records (several jobs' pieces planned as one): the most entries a list takes, and the
// most patterns a plan may have (each holds a piece at least).
inline constexpr int kMaxWideEntries = 2047;
inline constexpr int kMaxWidePatterns = 50000;

// A table of items sized when made. Assigning keeps its size when the other is no larger (the
// items beyond the other's are cleared), so that a widened record stays wide whatever is copied
// into it; the items are reached by index or as an array.
template <class T>
class Table {
 public:
  Table() = default;
  explicit Table(std::size_t size) : items_(size) {}
  Table(const Table&) = default;
  Table& operator=(const Table& other) {
    if (other.items_.size() >= items_.size()) {
      items_ = other.items_;
    } else {
      std::copy(other.items_.begin(), other.items_.end(), items_.begin());
      std::fill(items_.begin() + static_cast<std::ptrdiff_t>(other.items_.size()), items_.end(),
                T{});
    }
    return *this;
  }
  // Any integer index (a template, so that no index type prefers the array conversion).
  template <class I>
  T& operator[](I i) {
    return items_[static_cast<std::size_t>(i)];
  }
  template <class I>
  const T& operator[](I i) const {
    return items_[static_cast<std::size_t>(i)];
  }
  operator T*() { return items_.data(); }
  operator const T*() const { return items_.data(); }
  std::size_t Size() const { return items_.size(); }

 private:
  std::vector<T> items_;
};

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
  Table<LengthEntry> entries = Table<LengthEntry>(kMaxEntries + 1);

  bool Empty() const { return count == 0; }
  int32_t Capacity() const { return static_cast<int32_t>(entries.Size()) - 1; }
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
  BarPattern() = default;
  explicit BarPattern(std::size_t width) : piece_counts(width) {}
  int32_t stock_index = 0;
  double remnant = 0;
  double remnant_rate = 0;
  // Per cut entry 1..capacity; index 0 unused.
  Table<int32_t> piece_counts = Table<int32_t>(kMaxEntries + 1);
  int32_t repeat_count = 0;
  int32_t shortest_piece = 0;  // set when the plan is finalised
};

// A plan's patterns: a job's plan holds its kMaxPatterns slots from the start; a widened plan
// adds slots (as wide as its cut list) as they are used. Slots never move once made.
class PatternTable {
 public:
  PatternTable(std::size_t size, std::size_t width) : width_(width) { Grow(size); }
  template <class I>
  BarPattern& operator[](I at) {
    const auto i = static_cast<std::size_t>(at);
    if (i >= items_.size()) Grow(i + 1);
    return items_[i];
  }
  template <class I>
  const BarPattern& operator[](I i) const {
    return items_[static_cast<std::size_t>(i)];
  }
  std::size_t Width() const { return width_; }

 private:
  void Grow(std::size_t size) {
    while (items_.size() < size) items_.emplace_back(width_);
  }
  std::size_t width_;
  std::deque<BarPattern> items_;
};

struct CuttingPlan {
  int32_t pattern_count = 0;  // 0: no valid plan
  double required_length = 0;
  double stock_length = 0;
  double remnant_length = 0;
  double remnant_rate = 0;
  double loss_rate = 0;
  int32_t max_patterns = kMaxPatterns;
  PatternTable patterns{kMaxPatterns + 2, kMaxEntries + 1};  // slot 0 is the exchange slot

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

  // Makes the records take lists of up to `entries` lengths (at most kMaxWideEntries) and plans
  // of up to kMaxWidePatterns patterns, for several jobs planned as one; emptied. Records of up
  // to kMaxEntries lengths stay as a job's.
  void Widen(int entries);
  bool Wide() const { return cut.Capacity() > kMaxEntries; }
};

// How far beyond its length a bar of stock entry k may be filled: the stock margin (the mill's
// plus tolerance), or nothing for a measured offcut.
inline int32_t StockMargin(const OptimiserRecords& records, int k) {
  return records.stock.entries[k].measured ? 0 : records.conditions.margin;
}

// For each stock entry the best plan cuts at all, in stock-list order.
std::vector<StockBarsUsed> StockUsed(const OptimiserRecords& records);

}  // namespace zarvel::optimiser
