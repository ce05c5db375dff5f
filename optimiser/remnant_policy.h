// The remnant policy of 最適: offcuts in hand are cut first, remnants of at least the keep length
// go back to the rack as offcuts (no loss), and only the shorter ones are scrap.
//
// Stock is *in hand* when it is a measured offcut from the yard or a typed length below the
// priority length; all other stock is *mill* stock, the steel that has to be bought. With the
// policy a plan is ranked by, in this order: the length of mill bars, the scrap (the remnants
// shorter than the keep length, over every bar cut), the length of stock in hand cut, and the
// number of patterns. Without it, by mill stock, stock in hand and patterns, as ever.
#pragma once

#include <cstdint>
#include <vector>

#include "optimiser/records.h"

namespace zarvel::optimiser {

// Whether stock entry k is in hand (see above). Without the policy only the priority length
// decides, as 最適 has always counted it.
bool InHand(const OptimiserRecords& records, int k);

// The part of a remnant that is lost: all of it when it is shorter than `keep`, else nothing.
inline int64_t ScrapOf(int64_t remnant, int32_t keep) {
  return remnant > 0 && remnant < keep ? remnant : 0;
}

// A plan's figures under the policy (mm), from records.best.
struct PolicyFigures {
  double mill = 0;
  double in_hand = 0;
  double scrap = 0;
  std::vector<StockBarsUsed> kept;  // remnants of at least the keep length, longest first
};
PolicyFigures PolicyOf(const OptimiserRecords& records);

// Whether plan a ranks before plan b by the policy's order, patterns last.
bool PolicyBetter(const OptimiserRecords& a, const OptimiserRecords& b);

// Pricing a pattern whose cost depends on its remnant: `best[w]` is the most a bar can earn with
// pieces of exactly w mm filled (kerfs included; -inf where no fill has that length), `most[w]`
// and `at[w]` the most over every fill up to w and where it is. Of the fills of a bar of `length`
// that hold at most `capacity`, the one that minimises scrap_weight × scrap - earning.
struct FillChoice {
  int64_t filled = -1;  // -1: no fill
  double value = 0;     // scrap_weight × scrap - earning at that fill
};
struct FillTable {
  std::vector<double> best;
  std::vector<double> most;
  std::vector<int64_t> at;
  // most and at from best.
  void Accumulate();
};
FillChoice CheapestFill(const FillTable& table, int64_t length, int64_t capacity, int32_t keep,
                        double scrap_weight);

}  // namespace zarvel::optimiser
