// The fillings of a bar worth at least a value, against every filling counted out.
#include "optimiser/pattern_enum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace opt = zarvel::optimiser;

namespace {

using Filling = std::vector<int32_t>;

// Every count vector within `most`, fitting `capacity`, worth `least` or more, and maximal.
std::set<Filling> BruteForce(const std::vector<opt::EnumItem>& items, int64_t capacity,
                             double least) {
  std::set<Filling> out;
  Filling counts(items.size(), 0);
  for (;;) {
    int64_t used = 0;
    double value = 0;
    for (std::size_t j = 0; j < items.size(); ++j) {
      used += counts[j] * items[j].weight;
      value += counts[j] * items[j].value;
    }
    if (used <= capacity && value >= least - 1e-9) {
      bool maximal = true;
      for (std::size_t j = 0; j < items.size(); ++j)
        maximal &= counts[j] >= items[j].most || used + items[j].weight > capacity;
      if (maximal) out.insert(counts);
    }
    std::size_t j = 0;
    while (j < items.size() && counts[j] == items[j].most) counts[j++] = 0;
    if (j == items.size()) break;
    ++counts[j];
  }
  return out;
}

TEST(PatternEnumeration, ListsExactlyTheMaximalFillingsWorthEnough) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + static_cast<int>(rng() % 5);
    const int64_t capacity = 500 + static_cast<int64_t>(rng() % 3000);
    std::vector<opt::EnumItem> items;
    for (int j = 0; j < n; ++j) {
      const int64_t w = 100 + static_cast<int64_t>(rng() % 1500);
      // Some pieces earn nothing: they still have to be filled in for a filling to be maximal.
      const double v =
          rng() % 4 == 0 ? 0.0 : static_cast<double>(w) * (0.5 + (rng() % 100) / 100.0);
      items.push_back({w, v, std::min<int64_t>(1 + static_cast<int64_t>(rng() % 4), capacity / w)});
    }
    const double least = static_cast<double>(capacity) * (rng() % 120) / 100.0;
    const opt::EnumResult got =
        opt::EnumerateFillings(items, capacity, least, {1'000'000, 1'000'000});
    ASSERT_TRUE(got.complete);
    const std::set<Filling> listed(got.fillings.begin(), got.fillings.end());
    EXPECT_EQ(listed.size(), got.fillings.size()) << "a filling listed twice, round " << round;
    EXPECT_EQ(listed, BruteForce(items, capacity, least)) << "round " << round;
  }
}

TEST(PatternEnumeration, SaysWhenItsLimitsCutItShort) {
  // Twenty kinds of short piece on a long bar: far more fillings than allowed.
  std::vector<opt::EnumItem> items;
  for (int j = 0; j < 20; ++j) items.push_back({300 + 7 * j, 300.0 + 7 * j, 6});
  const opt::EnumResult few = opt::EnumerateFillings(items, 12000, 0, {1'000'000, 50});
  EXPECT_FALSE(few.complete);
  EXPECT_LE(few.fillings.size(), 50U);
  const opt::EnumResult short_steps = opt::EnumerateFillings(items, 12000, 0, {1000, 1'000'000});
  EXPECT_FALSE(short_steps.complete);
  EXPECT_LE(short_steps.steps, 1001 + 20);
  // Nothing is worth more than the bar holds: complete, and empty.
  const opt::EnumResult none = opt::EnumerateFillings(items, 12000, 1e9, {1'000'000, 1'000'000});
  EXPECT_TRUE(none.complete);
  EXPECT_TRUE(none.fillings.empty());
}

}  // namespace
