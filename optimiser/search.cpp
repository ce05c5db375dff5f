#include "optimiser/search.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <utility>

#include "base/cp932.h"
#include "base/format.h"

// The search is the program's hot path. It follows the plain algorithm step by step (same
// random draws, same scan order, same comparisons) but keeps, per bar fill, a bit set of the cut
// entries still available on the bar. Because the cut list is sorted and merged, the entries
// that fit the free length form a prefix of the list, so the wrapped scan for the first
// available entry that fits is two bit scans, and the shortest available entry is the lowest
// set bit. The tests hold a literal version of the search and compare the two plan by plan.

namespace zarvel::optimiser {
namespace {

constexpr int kPriorityFills = 200;
constexpr int kEarlyStopAttempts = 50;  // only attempts below this stop the scan early
constexpr double kEarlyStopRemnant = 0.05;
constexpr uint32_t kRandomRange = 99999;
constexpr int kShiftAfterAttempt = 50;
constexpr int kPauseMilliseconds = 100;
constexpr int64_t kSortKeyFactor = 1000000;

// A set of cut entries 1..103 in two words. "None" is index 128, which the length table maps
// to a length no bar can hold, so that a lookup needs no test for it.
class NarrowSet {
 public:
  static constexpr int kNone = 128;
  static constexpr int kEntries = kMaxEntries;    // a job's cut list
  static constexpr int kPatterns = kMaxPatterns;  // a job's plan

  void Set(int i) { w_[i >> 6] |= uint64_t{1} << (i & 63); }
  // Removes i when `condition` holds.
  void ResetIf(int i, bool condition) {
    w_[i >> 6] &= ~(static_cast<uint64_t>(condition) << (i & 63));
  }
  bool Empty() const { return (w_[0] | w_[1]) == 0; }
  // Lowest member, or kNone.
  int First() const {
    if (w_[0] != 0) return std::countr_zero(w_[0]);
    return 64 + std::countr_zero(w_[1]);
  }
  // Lowest member not below i (1 <= i <= 127), or kNone.
  int FirstFrom(int i) const {
    if (i < 64) {
      const uint64_t m = w_[0] & (~uint64_t{0} << i);
      if (m != 0) return std::countr_zero(m);
      return 64 + std::countr_zero(w_[1]);
    }
    return 64 + std::countr_zero(w_[1] & (~uint64_t{0} << (i - 64)));
  }

 private:
  uint64_t w_[2] = {0, 0};
};

// The same for the widened lists of several jobs planned as one: entries 1..64 × kWords - 1.
template <int kWords>
class WideSet {
 public:
  static constexpr int kNone = 64 * kWords;
  static constexpr int kEntries = kNone - 1;
  static constexpr int kPatterns = kMaxWidePatterns;

  void Set(int i) { w_[i >> 6] |= uint64_t{1} << (i & 63); }
  void ResetIf(int i, bool condition) {
    w_[i >> 6] &= ~(static_cast<uint64_t>(condition) << (i & 63));
  }
  bool Empty() const { return First() == kNone; }
  int First() const { return FirstFrom(0); }
  int FirstFrom(int i) const {
    int k = i >> 6;
    uint64_t m = w_[k] & (~uint64_t{0} << (i & 63));
    while (m == 0) {
      if (++k == kWords) return kNone;
      m = w_[k];
    }
    return 64 * k + std::countr_zero(m);
  }

 private:
  uint64_t w_[kWords] = {};
};

// x mod d for a fixed divisor d, by multiplication (Lemire's method; exact for 32-bit x, d).
class FastModulo {
 public:
  void SetDivisor(uint32_t d) {
    d_ = d;
    m_ = d == 0 ? 0 : ~uint64_t{0} / d + 1;
  }
  uint32_t Mod(uint32_t x) const {
    const uint64_t low = m_ * x;
    return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * d_) >> 64);
  }

 private:
  uint64_t m_ = 0;
  uint32_t d_ = 1;
};

// A bar being filled, with the cut entries whose count is non-zero, so that clearing it costs
// only what was placed.
template <int kEntries>
struct FillBar {
  BarPattern bar;
  int touched[kEntries + 1] = {};  // one spare: the fill writes before it counts
  int touched_count = 0;

  void ClearCounts() {
    for (int i = 0; i < touched_count; ++i) bar.piece_counts[touched[i]] = 0;
    touched_count = 0;
  }
  bool HasPieces() const { return touched_count > 0; }
};

template <class EntrySet>
class Search {
 public:
  Search(OptimiserRecords& records, const SearchHost& host) : r_(records), host_(host) {
    // The fills are as wide as the plan's patterns they are stored into and the cut list.
    const std::size_t width = std::max(records.best.patterns.Width(), records.cut.entries.Size());
    for (FillBar<EntrySet::kEntries>& b : bars_) b.bar = BarPattern(width);
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
  void ChooseStepBar(int t);
  bool StoreStepBar(int64_t& pieces_left);
  bool Abandon() {
    r_.current.pattern_count = 0;
    return false;
  }
  void BestOfN(int stock_index, int fills);
  // The fills themselves; with kBudgeted each draw is counted against the work budget.
  template <bool kBudgeted>
  void Fills(int stock_index, int fills);
  void ResetStepBest() {
    step_best_->bar.stock_index = 0;
    step_best_->bar.remnant_rate = kRateSentinel;
  }
  bool KeyDown(int key) const { return host_.keys != nullptr && host_.keys->IsKeyDown(key); }

  OptimiserRecords& r_;
  const SearchHost& host_;
  int n_cut_ = 0;
  // Lengths of the cut entries; from n_cut_ + 1 on, longer than any bar can hold.
  int64_t cut_length_[EntrySet::kNone + 1] = {};
  int32_t cut_remaining_[EntrySet::kEntries + 1] = {};  // the entries' `remaining`, packed
  FastModulo cut_modulo_;                               // modulo the number of cut entries
  EntrySet step_available_;                             // cut entries with pieces still to place
  FillBar<EntrySet::kEntries> bars_[2];
  FillBar<EntrySet::kEntries>* scratch_ = &bars_[0];
  FillBar<EntrySet::kEntries>* step_best_ = &bars_[1];
  int order_[EntrySet::kPatterns + 1] = {};
  int64_t work_ = 0;          // bar-fill draws so far
  bool over_budget_ = false;  // a fill ran out of budget: the attempt is given up, the run ends
  int64_t work_budget_ = kWorkBudget;
  int64_t max_fill_work_ = 0;          // the most one fill counts (its draws and the closing one)
  int64_t attempt_limit_ = INT64_MAX;  // work_ at which the attempt under way must end
  bool moved_[EntrySet::kPatterns + 1] = {};
  bool any_measured_ = false;  // some stock is measured (no margin)
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
  for (int j = 1; j <= EntrySet::kNone; ++j)
    cut_length_[j] = j <= n_cut_ ? r_.cut.entries[j].length : INT64_MAX;
  max_fill_work_ = PiecesPerBarBound(r_) + 2;
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
  const int64_t length = r_.stock.entries[a].length;
  const int64_t kerf = r_.conditions.kerf;
  const int64_t limit = length + StockMargin(r_, a);  // a bar holds pieces up to this
  const int64_t* cut_length = cut_length_;
  const int32_t* remaining = cut_remaining_;

  for (int f = 0; f < fills; ++f) {
    FillBar<EntrySet::kEntries>& fill = *scratch_;
    fill.ClearCounts();
    int32_t* counts = fill.bar.piece_counts;
    int* touched = fill.touched;
    int touched_count = 0;
    EntrySet available = step_available_;
    int64_t used = 0;           // lengths and kerfs placed
    int64_t free_len = length;  // the free length, never below 0
    int64_t room = limit;       // how long a piece may still be
    int64_t shortest = 0;       // before the first piece the loop always draws once
    int64_t draws = 0;
    // The closing count included.
    const int64_t draw_limit = std::min(work_budget_, attempt_limit_) - work_ - 1;
    while (room >= shortest) {
      ++draws;
      if constexpr (kBudgeted) {
        if (draws > draw_limit) {
          fill.touched_count = touched_count;
          work_ += draws;
          over_budget_ = true;
          return;
        }
      }
      const int start = static_cast<int>(cut_modulo_.Mod(r_.random.Random(kRandomRange))) + 1;
      // The wrapped scan from `start`: the first available entry at or after it is the
      // shortest there; if it does not fit, only the first available one overall can.
      int h = available.FirstFrom(start);
      if (cut_length[h] > room) {
        h = available.First();
        if (cut_length[h] > room) break;  // the bar is full (only ever on the first draw)
      }
      const int32_t count = counts[h];
      touched[touched_count] = h;
      touched_count += count == 0;
      counts[h] = count + 1;
      available.ResetIf(h, count + 1 >= remaining[h]);
      const int64_t step = cut_length[h] + kerf;
      used += step;
      free_len = std::max<int64_t>(free_len - step, 0);
      room = limit - used;
      const int lowest = available.First();
      shortest = lowest == EntrySet::kNone ? kShortestSentinel : cut_length[lowest];
    }
    fill.touched_count = touched_count;
    work_ += draws + 1;
    BarPattern& bar = fill.bar;
    bar.stock_index = a;
    bar.remnant = static_cast<double>(free_len);
    bar.remnant_rate = 100.0 * static_cast<double>(free_len) / static_cast<double>(length);
    if (bar.remnant_rate < step_best_->bar.remnant_rate) std::swap(scratch_, step_best_);
  }
}

// Every counter back to the lists' quantities, the current plan empty. Returns the pieces to
// place.
template <class EntrySet>
int64_t Search<EntrySet>::StartAttempt() {
  attempt_limit_ = work_ > INT64_MAX - kAttemptWorkBudget ? INT64_MAX : work_ + kAttemptWorkBudget;
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
  int64_t longest_cut = 0;
  step_available_ = EntrySet();
  for (int j = 1; j <= cut.count; ++j) {
    cut_remaining_[j] = cut.entries[j].remaining;
    if (cut.entries[j].remaining > 0) {
      step_available_.Set(j);
      longest_cut = cut.entries[j].length;
    }
  }
  return longest_stock != 0 && longest_stock >= longest_cut;
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
    if (!step_best_->HasPieces()) ResetStepBest();
  }
  if (step_best_->bar.stock_index != 0) return;
  for (int k = 1; k <= stock.count; ++k) {
    if (stock.entries[k].remaining <= 0) continue;
    BestOfN(k, t % 2 == 1 ? 10 : 20);
    if (over_budget_) return;
    const BarPattern& best = step_best_->bar;
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
  const BarPattern& b = step_best_->bar;
  LengthEntry& e = r_.stock.entries[b.stock_index];
  int32_t repeat = kLengthSentinel;
  for (int i = 0; i < step_best_->touched_count; ++i) {
    const int j = step_best_->touched[i];
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
  for (int i = 0; i < step_best_->touched_count; ++i) {
    const int j = step_best_->touched[i];
    const int64_t placed = int64_t{b.piece_counts[j]} * repeat;
    cut.entries[j].remaining -= static_cast<int32_t>(placed);
    pieces_left -= placed;
  }
  return true;
}

template <class EntrySet>
bool Search<EntrySet>::RunAttempt(int t) {
  int64_t pieces_left = StartAttempt();
  while (pieces_left > 0) {
    // No bar left at all, or none long enough for the longest piece: this attempt fails.
    if (!StepHasStock()) return Abandon();
    ChooseStepBar(t);
    // Out of budget, or no fill was usable.
    if (over_budget_ || step_best_->bar.stock_index == 0) return Abandon();
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
  step_available_ = EntrySet();
  for (int j = 1; j <= n_cut_; ++j) {
    cut_remaining_[j] = r_.cut.entries[j].remaining;
    if (cut_remaining_[j] > 0) step_available_.Set(j);
  }
  ResetStepBest();
  BestOfN(stock_index, fills);
  return step_best_->bar;
}

// Calls `f` with a search on the records: a job's on the stack as ever, widened lists' on the
// heap with a set as wide as they need.
template <class F>
auto WithSearch(OptimiserRecords& records, const SearchHost& host, F f) {
  const int capacity = records.cut.Capacity();
  if (capacity <= NarrowSet::kEntries) {
    Search<NarrowSet> search(records, host);
    return f(search);
  }
  if (capacity <= WideSet<8>::kEntries)
    return f(*std::make_unique<Search<WideSet<8>>>(records, host));
  return f(*std::make_unique<Search<WideSet<32>>>(records, host));
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
