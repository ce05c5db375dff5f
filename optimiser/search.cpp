#include "optimiser/search.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "base/cp932.h"
#include "base/format.h"

// The search is the program's hot path. It follows the plain algorithm step by step (same
// random draws, same scan order, same comparisons, same work counted) without its full scans.
// Because the cut list is sorted and merged, the entries that fit the free length form a prefix
// of the list, so the wrapped scan for the first available entry that fits is the first
// available entry from the drawn one on if that fits, and else the shortest available one. Until
// an entry runs out on the bar, that first entry comes from a table built for the step; after,
// from a bit set of the entries left. The fills of a bar only measure their remnant and remember
// where in the random sequence they began; the winner is filled again from there to record its
// pieces. The tests hold a literal version of the search and compare the two plan by plan.

namespace zarvel::optimiser {
namespace {

constexpr int kPriorityFills = 200;
constexpr int kEarlyStopAttempts = 50;  // only attempts below this stop the scan early
constexpr double kEarlyStopRemnant = 0.05;
constexpr uint32_t kRandomRange = 99999;
constexpr int kShiftAfterAttempt = 50;
constexpr int kPauseMilliseconds = 100;
constexpr int64_t kSortKeyFactor = 1000000;

// A set of a job's cut entries 1..kMaxEntries in two words. Entry kNone is always a member and
// the length table maps it to a length no bar can hold, so that a scan needs no test for an
// empty set.
struct NarrowSet {
  static constexpr int kNone = 127;
  static constexpr int kSlots = 128;
  static constexpr int kPatterns = kMaxPatterns;  // a job's plan

  uint64_t lo = 0;
  uint64_t hi = uint64_t{1} << (kNone - 64);

  void Set(int i) {
    if (i < 64) {
      lo |= uint64_t{1} << i;
    } else {
      hi |= uint64_t{1} << (i - 64);
    }
  }
  // Removes i, without a branch on the word that holds it.
  void Reset(int i) {
    const uint64_t bit = uint64_t{1} << (i & 63);
    const uint64_t in_hi = uint64_t{0} - static_cast<uint64_t>(i >> 6);  // all ones for i >= 64
    lo &= ~(bit & ~in_hi);
    hi &= ~(bit & in_hi);
  }
  int First() const { return Lowest(lo, hi); }
  // The lowest member that `from` holds too.
  int FirstWithin(const NarrowSet& from) const { return Lowest(lo & from.lo, hi & from.hi); }
  // The entries from i on (kNone among them).
  static NarrowSet From(int i) {
    NarrowSet s;
    s.lo = i < 64 ? ~uint64_t{0} << i : 0;
    s.hi = i < 64 ? ~uint64_t{0} : ~uint64_t{0} << (i - 64);
    return s;
  }
  // The lowest member of the words, kNone when none. Masks rather than conditions: the
  // compiler would make branches of them, which the random draws make unpredictable.
  static int Lowest(uint64_t lo, uint64_t hi) {
    const uint64_t lo_empty = uint64_t{0} - static_cast<uint64_t>(lo == 0);  // all ones or 0
    const uint64_t word = lo | ((hi | uint64_t{1} << (kNone - 64)) & lo_empty);
    return static_cast<int>(lo_empty & 64) + __builtin_ctzll(word);  // word is never 0
  }
};
static_assert(kMaxEntries < NarrowSet::kNone);

// The same for the widened lists of several jobs planned as one: entries 1..64 × kWords - 2.
template <int kWords>
struct WideSet {
  static constexpr int kNone = 64 * kWords - 1;
  static constexpr int kSlots = 64 * kWords;
  static constexpr int kPatterns = kMaxWidePatterns;

  uint64_t w[kWords] = {};

  WideSet() { w[kWords - 1] = uint64_t{1} << 63; }
  void Set(int i) { w[i >> 6] |= uint64_t{1} << (i & 63); }
  void Reset(int i) { w[i >> 6] &= ~(uint64_t{1} << (i & 63)); }
  int First() const {
    int k = 0;
    while (w[k] == 0) ++k;  // kNone is always a member
    return 64 * k + __builtin_ctzll(w[k]);
  }
  int FirstWithin(const WideSet& from) const {
    int k = 0;
    while ((w[k] & from.w[k]) == 0) ++k;  // both hold kNone
    return 64 * k + __builtin_ctzll(w[k] & from.w[k]);
  }
  static WideSet From(int i) {
    WideSet s;
    for (int k = 0; k < kWords; ++k)
      s.w[k] = k < (i >> 6) ? 0 : k == (i >> 6) ? ~uint64_t{0} << (i & 63) : ~uint64_t{0};
    return s;
  }
};
static_assert(kMaxWideEntries < WideSet<33>::kNone);

// `condition` ? a : b, marked as unpredictable, which lets the compiler select (cmov) rather
// than branch where the random draws would make a branch mispredict often.
template <typename T>
T Select(bool condition, T a, T b) {
  return __builtin_expect_with_probability(condition, 1, 0.5) ? a : b;
}

// x mod d for a fixed divisor d, by multiplication (Lemire's method with 32-bit words: exact
// for x below 2^17 and d below 2^15, as a drawn number and a list's entries are).
class FastModulo {
 public:
  static constexpr uint32_t kMaxX = 1u << 17;
  static constexpr uint32_t kMaxDivisor = 1u << 15;

  void SetDivisor(uint32_t d) {
    d_ = d;
    m_ = d == 0 ? 0 : ~uint32_t{0} / d + 1;
  }
  uint32_t Mod(uint32_t x) const {
    const uint32_t low = m_ * x;
    return static_cast<uint32_t>((uint64_t{low} * d_) >> 32);
  }

 private:
  uint32_t m_ = 0;
  uint32_t d_ = 1;
};
static_assert(kRandomRange <= FastModulo::kMaxX && kMaxWideEntries < FastModulo::kMaxDivisor);

// A bar with its pieces recorded, and the cut entries whose count is non-zero, so that clearing
// it costs only what was placed.
template <int kSlots>
struct FillBar {
  BarPattern bar;
  int touched[kSlots] = {};
  int touched_count = 0;

  void ClearCounts() {
    for (int i = 0; i < touched_count; ++i) bar.piece_counts[touched[i]] = 0;
    touched_count = 0;
  }
};

// A count on a bar stays below 2^31 (a piece count), so stamps 2^31 apart never meet.
constexpr int64_t kStampStep = int64_t{1} << 31;

// For a drawn cut entry: the first available entry from it on (kNone if none), its length and
// its length with the kerf.
template <class EntrySet>
struct DrawTarget {
  int64_t fit = INT64_MAX;
  int64_t step = 0;
  int64_t entry = EntrySet::kNone;
  int64_t unused = 0;  // a row of 32 bytes
};

// What the fills of one stock entry start from.
template <class EntrySet>
struct BarStart {
  int64_t length = 0;
  int64_t limit = 0;  // a bar holds pieces up to this: its length and margin
  EntrySet available;
  int lowest = EntrySet::kNone;  // the shortest available entry
};

// What the fills of one bar found: the first fill with the least remnant (of one bar, the
// lowest rate), and the work they counted.
struct FillsOutcome {
  int64_t work = 0;  // each draw, and one more for each fill
  bool within_budget = true;
  int64_t best_free = INT64_MAX;
  bool best_has_pieces = false;
  RandomGenerator best_start;  // where the best fill began
};

// The best fill of the step so far: its bar, and where in the random sequence it began.
struct StepBest {
  int stock_index = 0;
  double remnant = 0;
  double remnant_rate = kRateSentinel;
  bool has_pieces = false;
  RandomGenerator start;
};

template <class EntrySet>
class Search {
 public:
  Search(OptimiserRecords& records, const SearchHost& host) : r_(records), host_(host) {
    // The step's bar is as wide as the plan's patterns it is stored into and the cut list.
    const std::size_t width = std::max(records.best.patterns.Width(), records.cut.entries.Size());
    if (chosen_.bar.piece_counts.Size() != width) chosen_.bar = BarPattern(width);
  }

  int Run(int attempts);
  void SetWorkBudget(int64_t budget) { work_budget_ = budget; }
  int64_t Work() const { return work_; }
  BarPattern FillOnly(int stock_index, int fills);
  void Finalise();

 private:
  void PrepareLists();
  void LoadCutLengths();
  bool RunAttempt(int t);
  // The stages of one attempt.
  int64_t StartAttempt();
  bool StepHasStock();
  // The entries with pieces still to place, their counters and the draw table; after a step,
  // only what its bar changed.
  void LoadStep();
  void UpdateStep();
  void ChooseStepBar(int t);
  void RecordStepBar();
  bool StoreStepBar(int64_t& pieces_left);
  bool Abandon() {
    r_.current.pattern_count = 0;
    return false;
  }
  void BestOfN(int stock_index, int fills);
  // The fills themselves; with kBudgeted each draw is counted against the work budget.
  template <bool kBudgeted>
  void Fills(int stock_index, int fills);
  BarStart<EntrySet> StartOfBar(int stock_index) const;
  // `fills` fills from `random`'s state. With kBudgeted they stop, out of budget, before their
  // work would pass `work_left`; with kRecord the pieces of the (single) fill go into `record`.
  template <bool kBudgeted, bool kRecord>
  void RunFills(const BarStart<EntrySet>& bar, RandomGenerator& random, int fills,
                int64_t work_left, FillsOutcome& outcome, FillBar<EntrySet::kSlots>* record);
  // The stamp for the first of `fills` fills.
  int64_t StampsFor(int fills);
  void ResetStepBest() {
    step_best_.stock_index = 0;
    step_best_.remnant_rate = kRateSentinel;
  }
  bool KeyDown(int key) const { return host_.keys != nullptr && host_.keys->IsKeyDown(key); }

  OptimiserRecords& r_;
  const SearchHost& host_;
  int n_cut_ = 0;
  // Per cut entry: its length, from n_cut_ + 1 on longer than any bar can hold; the same as the
  // shortest available length, kShortestSentinel for none; its length with the kerf; its
  // `remaining` at the step.
  int64_t fit_length_[EntrySet::kSlots] = {};
  int64_t shortest_length_[EntrySet::kSlots] = {};
  int64_t step_length_[EntrySet::kSlots] = {};
  int64_t cut_remaining_[EntrySet::kSlots] = {};
  // The entries from each one on, for the wrapped scan; its answers at the step for each drawn
  // entry.
  EntrySet from_[EntrySet::kSlots];
  DrawTarget<EntrySet> targets_[EntrySet::kSlots];
  FastModulo cut_modulo_;    // modulo the number of cut entries
  EntrySet step_available_;  // cut entries with pieces still to place
  // Pieces of each entry on the bar being filled, as stamp + count: a count left by an earlier
  // fill is below the stamp and reads as 0, so nothing is cleared between fills.
  int64_t placed_[EntrySet::kSlots] = {};
  int64_t stamp_ = 0;
  StepBest step_best_;
  FillBar<EntrySet::kSlots> chosen_;  // the step's bar with its pieces
  int order_[EntrySet::kPatterns + 1] = {};
  int64_t work_ = 0;          // bar-fill draws so far
  bool over_budget_ = false;  // a fill ran out of budget: the attempt is given up, the run ends
  int64_t work_budget_ = kWorkBudget;
  int64_t max_fill_work_ = 0;          // the most one fill counts (its draws and the closing one)
  int64_t attempt_limit_ = INT64_MAX;  // work_ at which the attempt under way must end
  bool moved_[EntrySet::kPatterns + 1] = {};
  bool any_measured_ = false;  // some stock is measured (no margin)
  bool step_loaded_ = false;   // the step's entries and draw table are those of the attempt
};

template <class EntrySet>
void Search<EntrySet>::PrepareLists() {
  for (LengthList* list : {&r_.stock, &r_.cut}) {
    list->SortByLength();
    list->MergeEqualLengths();
  }
  LoadCutLengths();
}

template <class EntrySet>
void Search<EntrySet>::LoadCutLengths() {
  any_measured_ = false;
  for (int k = 1; k <= r_.stock.count; ++k) any_measured_ |= r_.stock.entries[k].measured;
  n_cut_ = r_.cut.count;
  cut_modulo_.SetDivisor(static_cast<uint32_t>(n_cut_));
  const int64_t kerf = r_.conditions.kerf;
  for (int j = 0; j < EntrySet::kSlots; ++j) {
    const bool entry = j >= 1 && j <= n_cut_;
    fit_length_[j] = entry ? r_.cut.entries[j].length : INT64_MAX;
    shortest_length_[j] = j == EntrySet::kNone ? kShortestSentinel : fit_length_[j];
    step_length_[j] = entry ? r_.cut.entries[j].length + kerf : 0;
    from_[j] = EntrySet::From(j);
  }
  max_fill_work_ = PiecesPerBarBound(r_) + 2;
}

template <class EntrySet>
int64_t Search<EntrySet>::StampsFor(int fills) {
  // Long before the stamps would overflow, every count is cleared and they start again.
  if (stamp_ > INT64_MAX - (int64_t{fills} + 2) * kStampStep) {
    std::fill(std::begin(placed_), std::end(placed_), 0);
    stamp_ = 0;
  }
  const int64_t first = stamp_ + kStampStep;
  stamp_ += (int64_t{fills} + 1) * kStampStep;
  return first;
}

template <class EntrySet>
BarStart<EntrySet> Search<EntrySet>::StartOfBar(int a) const {
  BarStart<EntrySet> start;
  start.length = r_.stock.entries[a].length;
  start.limit = start.length + StockMargin(r_, a);
  start.available = step_available_;
  start.lowest = step_available_.First();
  return start;
}

// A fill runs in two loops. Until an entry runs out on the bar, every entry available at the
// step is, and the drawn entry's table row answers the scan; after that, the bit set of what is
// left does.
template <class EntrySet>
template <bool kBudgeted, bool kRecord>
void Search<EntrySet>::RunFills(const BarStart<EntrySet>& bar, RandomGenerator& random, int fills,
                                int64_t work_left, FillsOutcome& outcome,
                                FillBar<EntrySet::kSlots>* record) {
  outcome = FillsOutcome();
  outcome.best_start = random;
  if (fills <= 0) return;
  const int64_t length = bar.length;
  const int64_t limit = bar.limit;
  const int lowest = bar.lowest;
  const int64_t lowest_fit = fit_length_[lowest];
  const int64_t lowest_step = step_length_[lowest];
  int64_t work = 0;
  if (limit < 0 || limit < lowest_fit) {
    // No piece fits: each fill draws once to find none (with no room at all, not even that)
    // and leaves the whole bar, so the first one is the best.
    const int64_t draws = limit < 0 ? 0 : 1;
    for (int f = 0; f < fills; ++f) {
      if (kBudgeted && draws != 0 && work + draws > work_left) {
        outcome.work = work + draws;
        outcome.within_budget = false;
        return;
      }
      if (draws != 0) random.Random(kRandomRange);
      work += draws + 1;
    }
    outcome.work = work;
    outcome.best_free = length;
    return;
  }
  // From here on every fill takes a piece: the bar holds the shortest one.
  const FastModulo modulo = cut_modulo_;
  const DrawTarget<EntrySet>* targets = targets_;
  int64_t stamp = StampsFor(fills);
  // The draws come two ahead: `random` stands after the last one taken, ahead1 and ahead2
  // after the next two, already reduced to entries. The processor then works out the coming
  // entries before the branches of the current draw (which the random draws make mispredict
  // often) rather than after them, and a mispredicted branch no longer waits for them.
  RandomGenerator ahead1 = random;
  int next1 = static_cast<int>(modulo.Mod(ahead1.Random(kRandomRange))) + 1;
  RandomGenerator ahead2 = ahead1;
  int next2 = static_cast<int>(modulo.Mod(ahead2.Random(kRandomRange))) + 1;
  auto draw = [&] {
    const int drawn = next1;
    random = ahead1;
    ahead1 = ahead2;
    next1 = next2;
    next2 = static_cast<int>(modulo.Mod(ahead2.Random(kRandomRange))) + 1;
    return drawn;
  };
  // Where the best fill began stays in one slot while the others begin in the other.
  int64_t best_free = INT64_MAX;
  RandomGenerator starts[2];
  int best_slot = 0;
  for (int f = 0; f < fills; ++f, stamp += kStampStep) {
    const int slot = 1 - best_slot;
    starts[slot] = random;
    int64_t free_len = length;  // the free length, never below 0
    int64_t room = limit;       // how long a piece may still be
    int exhausted = 0;          // the entry that ran out first
    // Places the piece of entry h; whether it was the entry's last one for the bar.
    auto place = [&](int h, int64_t step) {
      const int64_t stamped = placed_[h] - stamp;
      const int64_t count = std::max<int64_t>(stamped, 0);  // before this piece
      placed_[h] = stamp + count + 1;
      if constexpr (kRecord) {
        if (count == 0) record->touched[record->touched_count++] = h;
        record->bar.piece_counts[h] = static_cast<int32_t>(count + 1);
      }
      free_len = std::max<int64_t>(free_len - step, 0);
      room -= step;
      return count + 1 >= cut_remaining_[h];
    };
    auto out_of_budget = [&] {
      outcome.work = work;
      outcome.within_budget = false;
    };
    do {
      ++work;  // the draw
      if (kBudgeted && work > work_left) return out_of_budget();
      const DrawTarget<EntrySet>& t = targets[draw()];
      // The first available entry from the drawn one on is the shortest there; if it does not
      // fit, only the shortest overall can.
      const bool fits = t.fit <= room;
      const int h = static_cast<int>(Select<int64_t>(fits, t.entry, lowest));
      if (place(h, Select(fits, t.step, lowest_step))) {
        exhausted = h;
        break;
      }
    } while (room >= lowest_fit);
    if (exhausted != 0) {
      EntrySet left = bar.available;
      left.Reset(exhausted);
      int shortest = left.First();
      while (room >= shortest_length_[shortest]) {
        ++work;
        if (kBudgeted && work > work_left) return out_of_budget();
        const int drawn = draw();
        const int next = left.FirstWithin(from_[drawn]);
        const bool fits = fit_length_[next] <= room;
        // Nothing fits only when every piece is on the bar and it is longer than the sentinel.
        if (!fits & (fit_length_[shortest] > room)) break;
        const int h = Select(fits, next, shortest);
        if (place(h, step_length_[h])) {
          left.Reset(h);
          shortest = left.First();
        }
      }
    }
    ++work;  // the fill's closing count
    const bool better = free_len < best_free;
    best_free = Select(better, free_len, best_free);
    best_slot = Select(better, slot, best_slot);
  }
  outcome.work = work;
  outcome.best_free = best_free;
  outcome.best_has_pieces = true;
  outcome.best_start = starts[best_slot];
}

template <class EntrySet>
void Search<EntrySet>::BestOfN(int a, int fills) {
  // Only fills that could reach the budget pay for counting each draw against it.
  if (work_ + fills * max_fill_work_ > std::min(work_budget_, attempt_limit_)) {
    Fills<true>(a, fills);
  } else {
    Fills<false>(a, fills);
  }
}

template <class EntrySet>
template <bool kBudgeted>
void Search<EntrySet>::Fills(int a, int fills) {
  const BarStart<EntrySet> start = StartOfBar(a);
  RandomGenerator random = r_.random;
  FillsOutcome outcome;
  // The closing count of a fill included.
  const int64_t work_left = std::min(work_budget_, attempt_limit_) - 1 - work_;
  RunFills<kBudgeted, false>(start, random, fills, work_left, outcome, nullptr);
  r_.random = random;
  work_ += outcome.work;
  if (!outcome.within_budget) {
    over_budget_ = true;
    return;
  }
  if (fills <= 0) return;
  const double rate =
      100.0 * static_cast<double>(outcome.best_free) / static_cast<double>(start.length);
  if (rate < step_best_.remnant_rate) {
    step_best_.stock_index = a;
    step_best_.remnant = static_cast<double>(outcome.best_free);
    step_best_.remnant_rate = rate;
    step_best_.has_pieces = outcome.best_has_pieces;
    step_best_.start = outcome.best_start;
  }
}

// The step's best fill made again from where it began, with its pieces, into chosen_.
template <class EntrySet>
void Search<EntrySet>::RecordStepBar() {
  chosen_.ClearCounts();
  RandomGenerator random = step_best_.start;
  FillsOutcome outcome;
  RunFills<false, true>(StartOfBar(step_best_.stock_index), random, 1, 0, outcome, &chosen_);
  BarPattern& bar = chosen_.bar;
  bar.stock_index = step_best_.stock_index;
  bar.remnant = step_best_.remnant;
  bar.remnant_rate = step_best_.remnant_rate;
}

// Every counter back to the lists' quantities, the current plan empty. Returns the pieces to
// place.
template <class EntrySet>
int64_t Search<EntrySet>::StartAttempt() {
  attempt_limit_ = work_ > INT64_MAX - kAttemptWorkBudget ? INT64_MAX : work_ + kAttemptWorkBudget;
  step_loaded_ = false;
  LengthList& stock = r_.stock;
  LengthList& cut = r_.cut;
  int64_t pieces_left = 0;
  for (int k = 1; k <= stock.count; ++k) stock.entries[k].remaining = stock.entries[k].quantity;
  for (int j = 1; j <= cut.count; ++j) {
    cut.entries[j].remaining = cut.entries[j].quantity;
    pieces_left += cut.entries[j].quantity;
  }
  r_.current.pattern_count = 0;
  r_.current.stock_length = 0;
  r_.current.remnant_length = 0;
  return pieces_left;
}

// Loads the pieces still to place and tells whether a bar long enough for the longest of them
// is left.
template <class EntrySet>
bool Search<EntrySet>::StepHasStock() {
  const LengthList& stock = r_.stock;
  const LengthList& cut = r_.cut;
  // The longest bar with its margin; without measured bars, the longest bar's.
  int64_t longest_stock = 0;
  for (int k = stock.count; k >= 1; --k) {
    if (stock.entries[k].remaining > 0) {
      longest_stock =
          std::max(longest_stock, int64_t{stock.entries[k].length} + StockMargin(r_, k));
      if (!any_measured_) break;
    }
  }
  if (!step_loaded_) {
    LoadStep();
    step_loaded_ = true;
  }
  int64_t longest_cut = 0;
  for (int j = cut.count; j >= 1; --j) {
    if (cut.entries[j].remaining > 0) {
      longest_cut = cut.entries[j].length;
      break;
    }
  }
  return longest_stock != 0 && longest_stock >= longest_cut;
}

template <class EntrySet>
void Search<EntrySet>::LoadStep() {
  step_available_ = EntrySet();
  targets_[n_cut_ + 1] = DrawTarget<EntrySet>();  // none, for the rows UpdateStep moves on
  int next = EntrySet::kNone;
  for (int j = n_cut_; j >= 1; --j) {
    cut_remaining_[j] = r_.cut.entries[j].remaining;
    if (cut_remaining_[j] > 0) {
      step_available_.Set(j);
      next = j;
    }
    targets_[j].fit = fit_length_[next];
    targets_[j].step = step_length_[next];
    targets_[j].entry = next;
  }
}

// The step's bar into step_best_: the best fill of the priority stock, or else of every stock
// entry in turn (early attempts stop at the first good enough one).
template <class EntrySet>
void Search<EntrySet>::ChooseStepBar(int t) {
  LengthList& stock = r_.stock;
  ResetStepBest();
  stock.entries[0].length = kLengthSentinel;
  // Bars shorter than the priority length go first: the first available one, being sorted.
  int priority = 0;
  for (int k = 1; k <= stock.count; ++k) {
    if (stock.entries[k].remaining > 0) {
      if (stock.entries[k].length < r_.conditions.priority_length) priority = k;
      break;
    }
  }
  if (priority != 0) {
    BestOfN(priority, kPriorityFills);
    if (over_budget_) return;
    // A priority bar that takes no piece would only be scrap: scan all stock instead.
    if (!step_best_.has_pieces) ResetStepBest();
  }
  if (step_best_.stock_index != 0) return;
  for (int k = 1; k <= stock.count; ++k) {
    if (stock.entries[k].remaining <= 0) continue;
    BestOfN(k, t % 2 == 1 ? 10 : 20);
    if (over_budget_) return;
    const StepBest& best = step_best_;
    if (t < kEarlyStopAttempts &&
        best.remnant / std::max<double>(stock.entries[best.stock_index].length, 0.1) <
            kEarlyStopRemnant) {
      break;
    }
  }
}

// Adds the step's bar to the current plan as often as the pieces and its stock allow.
template <class EntrySet>
bool Search<EntrySet>::StoreStepBar(int64_t& pieces_left) {
  LengthList& cut = r_.cut;
  CuttingPlan& plan = r_.current;
  const BarPattern& b = chosen_.bar;
  LengthEntry& e = r_.stock.entries[b.stock_index];
  int32_t repeat = kLengthSentinel;
  for (int i = 0; i < chosen_.touched_count; ++i) {
    const int j = chosen_.touched[i];
    repeat = std::min(repeat, cut.entries[j].remaining / b.piece_counts[j]);
  }
  repeat = std::min(repeat, e.remaining);
  // Never loop on a repeat of 0 (a fill never takes more than remains), nor keep too many
  // patterns.
  if (repeat <= 0 || ++plan.pattern_count > plan.max_patterns) return false;
  BarPattern& slot = plan.patterns[plan.pattern_count];
  slot = b;
  slot.repeat_count = repeat;
  plan.stock_length += static_cast<double>(e.length) * repeat;
  plan.remnant_length += repeat * b.remnant;
  e.remaining -= repeat;
  for (int i = 0; i < chosen_.touched_count; ++i) {
    const int j = chosen_.touched[i];
    const int64_t placed = int64_t{b.piece_counts[j]} * repeat;
    cut.entries[j].remaining -= static_cast<int32_t>(placed);
    pieces_left -= placed;
  }
  UpdateStep();
  return true;
}

template <class EntrySet>
void Search<EntrySet>::UpdateStep() {
  for (int i = 0; i < chosen_.touched_count; ++i) {
    const int j = chosen_.touched[i];
    cut_remaining_[j] = r_.cut.entries[j].remaining;
    if (cut_remaining_[j] > 0) continue;
    // Drawn entries that found j now find the next available one (the row after j's).
    step_available_.Reset(j);
    const DrawTarget<EntrySet> next = targets_[j + 1];
    for (int d = j; d >= 1 && targets_[d].entry == j; --d) targets_[d] = next;
  }
}

template <class EntrySet>
bool Search<EntrySet>::RunAttempt(int t) {
  int64_t pieces_left = StartAttempt();
  while (pieces_left > 0) {
    // No bar left at all, or none long enough for the longest piece: this attempt fails.
    if (!StepHasStock()) return Abandon();
    ChooseStepBar(t);
    // Out of budget, or no fill was usable.
    if (over_budget_ || step_best_.stock_index == 0) return Abandon();
    RecordStepBar();
    if (!StoreStepBar(pieces_left)) return Abandon();
  }
  return r_.current.pattern_count > 0;
}

template <class EntrySet>
void Search<EntrySet>::Finalise() {
  CuttingPlan& plan = r_.best;
  const int count = plan.pattern_count;
  // Sort a permutation with exactly the exchanges of the plain sorts, then move the patterns
  // once. order_[i] is the pattern that ends up in slot i.
  for (int i = 1; i <= count; ++i) order_[i] = i;
  for (int i = 1; i < count; ++i) {
    for (int j = i + 1; j <= count; ++j) {
      if (plan.patterns[order_[i]].repeat_count < plan.patterns[order_[j]].repeat_count)
        std::swap(order_[i], order_[j]);
    }
  }
  for (int i = 1; i <= count; ++i) {
    BarPattern& p = plan.patterns[i];
    p.shortest_piece = 0;
    for (int j = 1; j <= r_.cut.count; ++j) {
      if (p.piece_counts[j] != 0) {
        p.shortest_piece = r_.cut.entries[j].length;
        break;
      }
    }
  }
  auto key = [&](int i) {
    const BarPattern& p = plan.patterns[order_[i]];
    return int64_t{r_.stock.entries[p.stock_index].length} * kSortKeyFactor + p.shortest_piece;
  };
  for (int pass = 1; pass < count; ++pass) {
    for (int k = 1; k <= count - pass; ++k) {
      if (key(k) > key(k + 1)) std::swap(order_[k], order_[k + 1]);
    }
  }
  // Apply the permutation cycle by cycle through slot 0.
  std::fill(moved_ + 1, moved_ + 1 + count, false);
  for (int i = 1; i <= count; ++i) {
    if (moved_[i] || order_[i] == i) continue;
    plan.patterns[0] = plan.patterns[i];
    int j = i;
    while (true) {
      moved_[j] = true;
      const int source = order_[j];
      if (source == i) {
        plan.patterns[j] = plan.patterns[0];
        break;
      }
      plan.patterns[j] = plan.patterns[source];
      j = source;
    }
  }
}

template <class EntrySet>
int Search<EntrySet>::Run(int attempts) {
  PrepareLists();
  attempts = std::clamp(attempts, kMinAttempts, kMaxAttempts);
  const double required = r_.cut.TotalLength();
  CuttingPlan& best = r_.best;
  CuttingPlan& current = r_.current;
  best.pattern_count = 0;
  best.remnant_rate = kRateSentinel;
  best.loss_rate = kRateSentinel;
  best.required_length = required;
  current.required_length = required;

  const std::string& running = base::Lit("(%3d) %7.3f %%\n[Shift]キーで中止");
  r_.work_limit_reached = false;
  r_.attempts_made = 0;
  int t = 1;
  for (; t <= attempts; ++t) {
    if ((t == attempts / 3 || t == 2 * attempts / 3) && host_.clock != nullptr)
      host_.clock->Pause(kPauseMilliseconds);
    if (RunAttempt(t)) {
      current.SetRates();
      if (best.loss_rate > current.loss_rate) best.CopyFrom(current);
      if (host_.progress != nullptr)
        host_.progress->SetProgressText(
            base::Format(running.c_str(), t * 100 / attempts, best.remnant_rate));
    }
    if (over_budget_) break;  // the attempt under way was given up
    if (t > kShiftAfterAttempt && KeyDown(kKeyShift)) break;
  }
  r_.attempts_made = over_budget_ ? t - 1 : std::min(t, attempts);
  r_.work_limit_reached = over_budget_;
  if (host_.progress != nullptr) {
    // Cut short by the limit, the label says so and how far the search got.
    host_.progress->SetProgressText(
        over_budget_ ? base::Format(base::Lit("(%3d) %7.3f %%\n計算量の上限で打ち切り").c_str(),
                                    (t - 1) * 100 / attempts, best.remnant_rate)
                     : base::Format("(%3d) %7.3f %%", 100, best.remnant_rate));
  }
  if (best.pattern_count == 0) return over_budget_ ? kSearchTooLarge : kSearchFailed;
  Finalise();
  return kSearchPlanned;
}

template <class EntrySet>
BarPattern Search<EntrySet>::FillOnly(int stock_index, int fills) {
  LoadCutLengths();
  LoadStep();
  ResetStepBest();
  BestOfN(stock_index, fills);
  if (step_best_.stock_index == 0) {
    BarPattern none;
    none.remnant = step_best_.remnant;
    none.remnant_rate = step_best_.remnant_rate;
    return none;
  }
  RecordStepBar();
  return chosen_.bar;
}

// Calls `f` with a search on the records: a job's on the stack as ever, widened lists' on the
// heap with a set as wide as they need.
template <class F>
auto WithSearch(OptimiserRecords& records, const SearchHost& host, F f) {
  const int capacity = records.cut.Capacity();
  if (capacity < NarrowSet::kNone) {
    Search<NarrowSet> search(records, host);
    return f(search);
  }
  if (capacity < WideSet<8>::kNone) return f(*std::make_unique<Search<WideSet<8>>>(records, host));
  return f(*std::make_unique<Search<WideSet<33>>>(records, host));
}

}  // namespace

void FinalisePlan(OptimiserRecords& records) {
  const SearchHost host;
  WithSearch(records, host, [](auto& search) {
    search.Finalise();
    return 0;
  });
}

BarPattern BestBarFill(OptimiserRecords& records, int stock_index, int fills) {
  const SearchHost host;
  return WithSearch(records, host,
                    [&](auto& search) { return search.FillOnly(stock_index, fills); });
}

int AttemptsForPrecision(int item) {
  switch (item) {
    case 0:
      return 30;
    case 1:
      return 100;
    default:
      return 500;
  }
}

int RunSearch(OptimiserRecords& records, const SearchHost& host, int attempts, int64_t work_budget,
              int64_t* work) {
  return WithSearch(records, host, [&](auto& search) {
    search.SetWorkBudget(work_budget);
    const int result = search.Run(attempts);
    if (work != nullptr) *work = search.Work();
    return result;
  });
}

int64_t PiecesPerBarBound(const OptimiserRecords& r) {
  if (r.stock.count == 0 || r.cut.count == 0) return 0;
  int64_t reach = 0, shortest = INT64_MAX, pieces = 0;  // reach: the longest bar with its margin
  for (int k = 1; k <= r.stock.count; ++k)
    reach = std::max<int64_t>(reach, int64_t{r.stock.entries[k].length} + StockMargin(r, k));
  for (int j = 1; j <= r.cut.count; ++j) {
    shortest = std::min<int64_t>(shortest, r.cut.entries[j].length);
    pieces += std::max(r.cut.entries[j].quantity, 0);
  }
  // A kerf that makes a piece take no room at all bounds a bar only by the pieces there are.
  const int64_t step = shortest + r.conditions.kerf;
  if (step <= 0) return pieces;
  // The n-th piece fits while reach - (n - 1) × step >= shortest, that is while
  // n × step <= reach + kerf.
  const int64_t room = std::max<int64_t>(reach + r.conditions.kerf, 0);
  return std::min(pieces, room / step);
}

bool WithinSearchLimits(const OptimiserRecords& records, int64_t work_budget) {
  // A fill counts each piece it places, one closing draw, and one for the fill itself.
  return PiecesPerBarBound(records) + 2 <= std::min(work_budget, kAttemptWorkBudget);
}

}  // namespace zarvel::optimiser
