// Helpers for tests that run the search on small jobs.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
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

// A public bin-packing instance of tests/data/bpp/ as a job: its items as the cut list and one
// stock length with a bar for every piece; no margin, kerf or priority stock. A file that cannot
// be read gives empty lists.
inline std::unique_ptr<optimiser::OptimiserRecords> BinPackingJob(const std::string& name) {
  std::ifstream f(std::string(ZARVEL5_SOURCE_DIR "/tests/data/bpp/") + name + ".txt");
  int m = 0, capacity = 0;
  f >> m >> capacity;
  auto r = std::make_unique<optimiser::OptimiserRecords>();
  int64_t pieces = 0;
  for (int i = 0; i < m; ++i) {
    int l = 0, d = 0;
    f >> l >> d;
    r->cut.Append(l, d);
    pieces += d;
  }
  r->stock.Append(capacity, static_cast<int32_t>(pieces));
  r->conditions.margin = 0;
  r->conditions.kerf = 0;
  r->conditions.priority_length = 0;
  return r;
}

inline int PiecesOnBar(const optimiser::BarPattern& bar) {
  int n = 0;
  for (int j = 1; j <= optimiser::kMaxEntries; ++j) n += bar.piece_counts[j];
  return n;
}

}  // namespace zarvel::testing
