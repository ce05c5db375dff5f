// The benchmark's job: every cell of both grids in use (36 stock lengths, 102 piece lengths,
// dozens of pieces each), default margin, kerf and priority length. examples/full_grid.zv5 is
// the same job as a file.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace zarvel::bench {

struct FullGridJob {
  std::vector<std::pair<int, int>> stock;  // (length, bars)
  std::vector<std::pair<int, int>> cut;    // (length, pieces)
  int margin = 20;
  int kerf = 3;
  int priority = 5000;
};

inline FullGridJob MakeFullGridJob() {
  FullGridJob job;
  uint32_t s = 2024;
  auto next = [&s](int lo, int hi) {
    s = s * 1103515245u + 12345u;
    return lo + static_cast<int>((s >> 16) % static_cast<uint32_t>(hi - lo + 1));
  };
  for (int i = 0; i < 36; ++i) job.stock.push_back({4000 + 250 * i, next(30, 90)});
  for (int i = 0; i < 102; ++i) job.cut.push_back({280 + 53 * i + next(0, 40), next(12, 48)});
  return job;
}

}  // namespace zarvel::bench
