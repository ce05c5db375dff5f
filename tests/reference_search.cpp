#include "tests/reference_search.h"

#include <algorithm>
#include <cstdint>

namespace zarvel::testing {
namespace {

using optimiser::BarPattern;
using optimiser::CuttingPlan;
using optimiser::LengthList;
using optimiser::OptimiserRecords;

struct Reference {
  OptimiserRecords& r;
  BarPattern scratch;
  BarPattern step_best;
  int64_t work = 0;  // each draw, and one more for each fill

  int32_t Rand(uint32_t n) { return static_cast<int32_t>(r.random.Random(n)); }

  void BestOfN(int a, int n_fills) {
    const LengthList& cut = r.cut;
    const int64_t margin = r.conditions.margin;
    const int64_t kerf = r.conditions.kerf;
    const int64_t length = r.stock.entries[a].length;
    for (int f = 0; f < n_fills; ++f) {
      for (int j = 0; j <= optimiser::kMaxEntries; ++j) scratch.piece_counts[j] = 0;
      int64_t e = length;
      int64_t used = 0;
      int64_t d = 0;
      // A piece fits while everything placed plus the piece stays within length + margin.
      while (length + margin - used >= d) {
        ++work;
        int h = Rand(99999) % cut.count + 1;
        bool found = false;
        for (int s = 0; s < cut.count; ++s) {
          if (scratch.piece_counts[h] < cut.entries[h].remaining &&
              cut.entries[h].length <= length + margin - used) {
            found = true;
            break;
          }
          h = h == cut.count ? 1 : h + 1;
        }
        if (!found) break;
        e -= cut.entries[h].length + kerf;
        if (e < 0) e = 0;
        used += cut.entries[h].length + kerf;
        scratch.piece_counts[h]++;
        d = optimiser::kShortestSentinel;
        for (int j = 1; j <= cut.count; ++j) {
          if (scratch.piece_counts[j] < cut.entries[j].remaining && cut.entries[j].length < d)
            d = cut.entries[j].length;
        }
      }
      ++work;
      scratch.stock_index = a;
      scratch.remnant = static_cast<double>(e);
      scratch.remnant_rate = 100.0 * static_cast<double>(e) / static_cast<double>(length);
      if (scratch.remnant_rate < step_best.remnant_rate) step_best = scratch;
    }
  }

  bool StepBestHasPieces() const {
    for (int j = 1; j <= r.cut.count; ++j)
      if (step_best.piece_counts[j] > 0) return true;
    return false;
  }

  int Run(int attempts) {
    for (LengthList* list : {&r.stock, &r.cut}) {
      list->SortByLength();
      list->MergeEqualLengths();
    }
    LengthList& stock = r.stock;
    LengthList& cut = r.cut;
    attempts = std::clamp(attempts, 10, 2000);
    CuttingPlan& best = r.best;
    CuttingPlan& cur = r.current;
    double required = 0;
    for (int j = 1; j <= cut.count; ++j)
      required += static_cast<double>(cut.entries[j].length) * cut.entries[j].quantity;
    best.pattern_count = 0;
    best.remnant_rate = 999.0;
    best.loss_rate = 999.0;
    best.required_length = required;
    cur.required_length = required;

    for (int t = 1; t <= attempts; ++t) {
      for (int k = 1; k <= stock.count; ++k) stock.entries[k].remaining = stock.entries[k].quantity;
      for (int j = 1; j <= cut.count; ++j) cut.entries[j].remaining = cut.entries[j].quantity;
      cur.pattern_count = 0;
      cur.stock_length = 0;
      cur.remnant_length = 0;
      auto pieces_left = [&] {
        int64_t sum = 0;
        for (int j = 1; j <= cut.count; ++j) sum += cut.entries[j].remaining;
        return sum;
      };
      while (pieces_left() > 0) {
        int64_t l_stock = 0;
        bool any_stock = false;
        for (int k = 1; k <= stock.count; ++k) {
          if (stock.entries[k].remaining > 0) {
            any_stock = true;
            l_stock = std::max<int64_t>(l_stock, stock.entries[k].length);
          }
        }
        int64_t l_cut = 0;
        for (int j = 1; j <= cut.count; ++j)
          if (cut.entries[j].remaining > 0) l_cut = std::max<int64_t>(l_cut, cut.entries[j].length);
        if (!any_stock || l_stock + r.conditions.margin < l_cut) {
          cur.pattern_count = 0;
          break;
        }
        step_best.stock_index = 0;
        step_best.remnant_rate = 999.0;
        stock.entries[0].length = 99999;
        int priority = 0;
        for (int k = 1; k <= stock.count; ++k) {
          if (stock.entries[k].remaining > 0 &&
              stock.entries[k].length < r.conditions.priority_length &&
              (priority == 0 || stock.entries[k].length < stock.entries[priority].length))
            priority = k;
        }
        if (priority != 0) {
          BestOfN(priority, 200);
          if (!StepBestHasPieces()) {
            step_best.stock_index = 0;
            step_best.remnant_rate = 999.0;
          }
        }
        if (step_best.stock_index == 0) {
          for (int k = 1; k <= stock.count; ++k) {
            if (stock.entries[k].remaining <= 0) continue;
            BestOfN(k, t % 2 == 1 ? 10 : 20);
            if (t < 50 &&
                step_best.remnant /
                        std::max<double>(stock.entries[step_best.stock_index].length, 0.1) <
                    0.05)
              break;
          }
        }
        if (step_best.stock_index == 0) {
          cur.pattern_count = 0;
          break;
        }
        const BarPattern& b = step_best;
        auto& e = stock.entries[b.stock_index];
        int32_t inner = 99999;
        for (int j = 1; j <= cut.count; ++j)
          if (b.piece_counts[j] > 0)
            inner = std::min(inner, cut.entries[j].remaining / b.piece_counts[j]);
        const int32_t n = std::min(e.remaining, inner);
        if (n <= 0) {
          cur.pattern_count = 0;
          break;
        }
        cur.pattern_count++;
        if (cur.pattern_count > 2000) {
          cur.pattern_count = 0;
          break;
        }
        cur.patterns[cur.pattern_count] = b;
        cur.patterns[cur.pattern_count].repeat_count = n;
        cur.stock_length += static_cast<double>(e.length) * n;
        cur.remnant_length += n * b.remnant;
        e.remaining -= n;
        for (int j = 1; j <= cut.count; ++j) cut.entries[j].remaining -= b.piece_counts[j] * n;
      }
      if (cur.pattern_count > 0) {
        cur.remnant_rate = 100.0 * cur.remnant_length / std::max(cur.stock_length, 1.0);
        cur.loss_rate =
            100.0 * std::max(cur.stock_length - required, 0.0) / std::max(required, 1.0);
        if (best.loss_rate > cur.loss_rate) best = cur;
      }
    }
    if (best.pattern_count == 0) return 1;
    const int count = best.pattern_count;
    for (int i = 1; i < count; ++i) {
      for (int j = i + 1; j <= count; ++j) {
        if (best.patterns[i].repeat_count < best.patterns[j].repeat_count) {
          best.patterns[0] = best.patterns[i];
          best.patterns[i] = best.patterns[j];
          best.patterns[j] = best.patterns[0];
        }
      }
    }
    for (int i = 1; i <= count; ++i) {
      best.patterns[i].shortest_piece = 0;
      for (int j = 1; j <= cut.count; ++j) {
        if (best.patterns[i].piece_counts[j] != 0) {
          best.patterns[i].shortest_piece = cut.entries[j].length;
          break;
        }
      }
    }
    auto key = [&](int i) {
      return static_cast<int64_t>(stock.entries[best.patterns[i].stock_index].length) * 1000000 +
             best.patterns[i].shortest_piece;
    };
    for (int p = 1; p < count; ++p) {
      for (int k = 1; k <= count - p; ++k) {
        if (key(k) > key(k + 1)) {
          best.patterns[0] = best.patterns[k];
          best.patterns[k] = best.patterns[k + 1];
          best.patterns[k + 1] = best.patterns[0];
        }
      }
    }
    return 0;
  }
};

}  // namespace

int ReferenceSearch(OptimiserRecords& records, int attempts) {
  int64_t work = 0;
  return CountedReferenceSearch(records, attempts, work);
}

int CountedReferenceSearch(OptimiserRecords& records, int attempts, int64_t& work) {
  auto* ref = new Reference{records, {}, {}};
  const int result = ref->Run(attempts);
  work = ref->work;
  delete ref;
  return result;
}

}  // namespace zarvel::testing
