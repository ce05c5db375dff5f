#include "optimiser/pattern_enum.h"

#include <algorithm>
#include <numeric>

namespace zarvel::optimiser {
namespace {

constexpr double kValueTolerance = 1e-9;  // relative, of the value asked for

class Enumeration {
 public:
  Enumeration(const std::vector<EnumItem>& items, double least, const EnumLimits& limits)
      : items_(items), least_(least), limits_(limits) {
    // Best value per millimetre first: the bound of the rest is then the greedy fractional fill.
    order_.resize(items.size());
    std::iota(order_.begin(), order_.end(), 0);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
      const EnumItem& x = items_[static_cast<std::size_t>(a)];
      const EnumItem& y = items_[static_cast<std::size_t>(b)];
      const double l = x.value * static_cast<double>(y.weight);
      const double r = y.value * static_cast<double>(x.weight);
      return l != r ? l > r : x.weight > y.weight;
    });
    // room_[i]: the most the items from position i on can fill.
    room_.assign(items.size() + 1, 0);
    for (std::size_t i = items.size(); i-- > 0;) {
      const EnumItem& it = items_[static_cast<std::size_t>(order_[i])];
      room_[i] = room_[i + 1] + std::max<int64_t>(0, it.most) * it.weight;
    }
    counts_.assign(items.size(), 0);
    slack_.assign(items.size() + 1, INT64_MAX);
  }

  EnumResult Run(int64_t capacity) {
    aborted_ = false;
    Visit(0, capacity, 0.0);
    result_.complete = !aborted_;
    return std::move(result_);
  }

 private:
  // The most the items from position i on can add within `room`, pieces split as needed.
  double Bound(std::size_t i, int64_t room) {
    double v = 0;
    for (; i < order_.size() && room > 0; ++i) {
      ++result_.steps;
      const EnumItem& it = items_[static_cast<std::size_t>(order_[i])];
      if (it.value <= 0) break;
      const int64_t fill = std::min(room, std::max<int64_t>(0, it.most) * it.weight);
      v += it.value * static_cast<double>(fill) / static_cast<double>(it.weight);
      room -= fill;
    }
    return v;
  }

  // `slack_[i]`: the lightest item before position i that could still take a copy; a filling
  // that leaves that much room is not maximal.
  void Visit(std::size_t i, int64_t room, double value) {
    if (aborted_) return;
    if (++result_.steps > limits_.steps ||
        static_cast<int64_t>(result_.fillings.size()) >= limits_.patterns) {
      aborted_ = true;
      return;
    }
    if (room - room_[i] >= slack_[i]) return;  // the rest cannot take up the room left
    if (value + Bound(i, room) < least_ - kValueTolerance * std::max(1.0, least_)) return;
    if (i == order_.size()) {
      std::vector<int32_t> filling(items_.size(), 0);
      for (std::size_t p = 0; p < order_.size(); ++p)
        filling[static_cast<std::size_t>(order_[p])] = counts_[p];
      result_.fillings.push_back(std::move(filling));
      return;
    }
    const EnumItem& it = items_[static_cast<std::size_t>(order_[i])];
    const int64_t most = std::min<int64_t>(std::max<int64_t>(0, it.most), room / it.weight);
    for (int64_t c = most; c >= 0 && !aborted_; --c) {
      counts_[i] = static_cast<int32_t>(c);
      slack_[i + 1] = c < it.most ? std::min(slack_[i], it.weight) : slack_[i];
      Visit(i + 1, room - c * it.weight, value + static_cast<double>(c) * it.value);
    }
    counts_[i] = 0;
  }

  const std::vector<EnumItem>& items_;
  double least_;
  EnumLimits limits_;
  std::vector<int> order_;
  std::vector<int64_t> room_;
  std::vector<int32_t> counts_;  // per position of the order
  std::vector<int64_t> slack_;
  EnumResult result_;
  bool aborted_ = false;
};

}  // namespace

EnumResult EnumerateFillings(const std::vector<EnumItem>& items, int64_t capacity, double least,
                             const EnumLimits& limits) {
  for (const EnumItem& it : items)
    if (it.weight <= 0) return {};
  if (capacity < 0) return {};
  return Enumeration(items, least, limits).Run(capacity);
}

}  // namespace zarvel::optimiser
