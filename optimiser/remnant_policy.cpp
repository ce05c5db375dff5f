#include "optimiser/remnant_policy.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <map>

namespace zarvel::optimiser {

bool InHand(const OptimiserRecords& r, int k) {
  const LengthEntry& e = r.stock.entries[k];
  return e.length < r.conditions.priority_length ||
         (r.conditions.policy.offcuts_first && e.measured);
}

PolicyFigures PolicyOf(const OptimiserRecords& r) {
  PolicyFigures f;
  std::map<int32_t, long long, std::greater<>> kept;
  const int32_t keep = r.conditions.policy.keep;
  for (int p = 1; p <= r.best.pattern_count; ++p) {
    const BarPattern& b = r.best.patterns[p];
    const auto bars = static_cast<double>(b.repeat_count);
    const double length = r.stock.entries[b.stock_index].length;
    (InHand(r, b.stock_index) ? f.in_hand : f.mill) += length * bars;
    const auto remnant = static_cast<int64_t>(b.remnant);
    if (remnant <= 0) continue;
    if (ScrapOf(remnant, keep) > 0)
      f.scrap += static_cast<double>(remnant) * bars;
    else
      kept[static_cast<int32_t>(remnant)] += b.repeat_count;
  }
  for (const auto& [length, bars] : kept) f.kept.push_back({length, bars});
  return f;
}

bool PolicyBetter(const OptimiserRecords& a, const OptimiserRecords& b) {
  const PolicyFigures x = PolicyOf(a), y = PolicyOf(b);
  if (x.mill != y.mill) return x.mill < y.mill;
  if (x.scrap != y.scrap) return x.scrap < y.scrap;
  if (x.in_hand != y.in_hand) return x.in_hand < y.in_hand;
  return a.best.pattern_count < b.best.pattern_count;
}

void FillTable::Accumulate() {
  most.assign(best.size(), -std::numeric_limits<double>::infinity());
  at.assign(best.size(), -1);
  for (std::size_t w = 0; w < best.size(); ++w) {
    most[w] = w > 0 ? most[w - 1] : most[w];
    at[w] = w > 0 ? at[w - 1] : -1;
    if (best[w] > most[w]) {
      most[w] = best[w];
      at[w] = static_cast<int64_t>(w);
    }
  }
}

FillChoice CheapestFill(const FillTable& t, int64_t length, int64_t capacity, int32_t keep,
                        double scrap_weight) {
  FillChoice choice;
  const auto top = std::min<int64_t>(capacity, static_cast<int64_t>(t.best.size()) - 1);
  auto consider = [&](int64_t w, double earning) {
    if (w < 0 || earning == -std::numeric_limits<double>::infinity()) return;
    const double value =
        scrap_weight * static_cast<double>(ScrapOf(std::max<int64_t>(length - w, 0), keep)) -
        earning;
    if (choice.filled < 0 || value < choice.value) choice = {w, value};
  };
  // Up to length - keep the remnant is kept: the best fill there is the one that earns most.
  const int64_t kept_up_to = std::min(top, length - keep);
  if (kept_up_to >= 0)
    consider(t.at[static_cast<std::size_t>(kept_up_to)],
             t.most[static_cast<std::size_t>(kept_up_to)]);
  // Beyond it every filled length has its own scrap.
  for (int64_t w = std::max<int64_t>(kept_up_to + 1, 0); w <= top; ++w)
    consider(w, t.best[static_cast<std::size_t>(w)]);
  return choice;
}

}  // namespace zarvel::optimiser
