#include "optimiser/records.h"

#include <algorithm>

namespace zarvel::optimiser {

bool LengthList::Append(int32_t length, int32_t quantity) {
  if (count >= Capacity()) return false;
  ++count;
  entries[count] = LengthEntry{length, quantity, 0};
  return true;
}

void LengthList::SortByLength() {
  for (int i = 1; i < count; ++i) {
    for (int j = i + 1; j <= count; ++j) {
      if (entries[i].length > entries[j].length ||
          (entries[i].length == entries[j].length && entries[i].measured && !entries[j].measured)) {
        entries[0] = entries[i];
        entries[i] = entries[j];
        entries[j] = entries[0];
      }
    }
  }
}

void LengthList::MergeEqualLengths() {
  int k = 1;
  while (k < count) {
    if (entries[k].length == entries[k + 1].length &&
        entries[k].measured == entries[k + 1].measured) {
      // Saturate: two huge quantities must not wrap around to a negative count.
      const int64_t sum = int64_t{entries[k].quantity} + entries[k + 1].quantity;
      entries[k].quantity = static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
      for (int m = k + 1; m < count; ++m) entries[m] = entries[m + 1];
      --count;
    } else {
      ++k;
    }
  }
}

double LengthList::TotalLength() const {
  double total = 0;
  for (int j = 1; j <= count; ++j)
    total += static_cast<double>(entries[j].length) * entries[j].quantity;
  return total;
}

void CuttingPlan::SetRates() {
  remnant_rate = 100.0 * remnant_length / std::max(stock_length, 1.0);
  loss_rate =
      100.0 * std::max(stock_length - required_length, 0.0) / std::max(required_length, 1.0);
}

void CuttingPlan::CopyFrom(const CuttingPlan& other) {
  pattern_count = other.pattern_count;
  required_length = other.required_length;
  stock_length = other.stock_length;
  remnant_length = other.remnant_length;
  remnant_rate = other.remnant_rate;
  loss_rate = other.loss_rate;
  for (int p = 1; p <= other.pattern_count; ++p) patterns[p] = other.patterns[p];
}

void MarkMeasured(LengthList& list, const std::vector<MeasuredBars>& measured) {
  for (int k = 1; k <= list.count; ++k) list.entries[k].measured = false;
  for (const MeasuredBars& m : measured) {
    long long left = m.bars;
    const int count = list.count;  // split parts are appended: they are not visited again
    for (int k = 1; k <= count && left > 0; ++k) {
      LengthEntry& e = list.entries[k];
      if (e.length != m.length || e.quantity <= 0) continue;
      if (left >= e.quantity) {
        e.measured = true;
        left -= e.quantity;
      } else if (list.Append(e.length, static_cast<int32_t>(left))) {
        e.quantity -= static_cast<int32_t>(left);
        list.entries[list.count].measured = true;
        left = 0;
      } else {
        left = 0;  // a full list: the bars keep their margin, which never overfills a bar
      }
    }
  }
}

void OptimiserRecords::Widen(int entries) {
  entries = std::clamp(entries, kMaxEntries, kMaxWideEntries);
  const auto width = static_cast<std::size_t>(entries) + 1;
  stock = LengthList{};
  cut = LengthList{};
  stock.entries = Table<LengthEntry>(width);
  cut.entries = Table<LengthEntry>(width);
  for (CuttingPlan* plan : {&current, &best}) {
    plan->pattern_count = 0;
    plan->max_patterns = entries > kMaxEntries ? kMaxWidePatterns : kMaxPatterns;
    plan->patterns = PatternTable(entries > kMaxEntries ? 2 : kMaxPatterns + 2, width);
  }
}

std::vector<StockBarsUsed> StockUsed(const OptimiserRecords& r) {
  std::vector<StockBarsUsed> used;
  for (int k = 1; k <= r.stock.count; ++k) {
    long long bars = 0;
    for (int p = 1; p <= r.best.pattern_count; ++p)
      if (r.best.patterns[p].stock_index == k) bars += r.best.patterns[p].repeat_count;
    if (bars != 0) used.push_back({r.stock.entries[k].length, bars});
  }
  return used;
}

}  // namespace zarvel::optimiser
