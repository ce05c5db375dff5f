// Helpers for tests that run the search on small jobs.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "optimiser/records.h"

namespace zarvel::testing {

struct JobLists {
  std::vector<std::pair<int, int>> stock;  // (length, quantity) in entry order
  std::vector<std::pair<int, int>> cut;
  int margin = 20;
  int kerf = 3;
  int priority = 5000;
};

inline std::unique_ptr<optimiser::OptimiserRecords> MakeRecords(const JobLists& job) {
  auto r = std::make_unique<optimiser::OptimiserRecords>();
  for (auto [l, q] : job.stock) r->stock.Append(l, q);
  for (auto [l, q] : job.cut) r->cut.Append(l, q);
  r->conditions.margin = job.margin;
  r->conditions.kerf = job.kerf;
  r->conditions.priority_length = job.priority;
  r->random.Seed(0);
  return r;
}

// Total pieces of cut entry j over the plan.
inline long PiecesCut(const optimiser::CuttingPlan& plan, int j) {
  long sum = 0;
  for (int p = 1; p <= plan.pattern_count; ++p)
    sum += long{plan.patterns[p].piece_counts[j]} * plan.patterns[p].repeat_count;
  return sum;
}

inline int PiecesOnBar(const optimiser::BarPattern& bar) {
  int n = 0;
  for (int j = 1; j <= optimiser::kMaxEntries; ++j) n += bar.piece_counts[j];
  return n;
}

}  // namespace zarvel::testing
