// Long sections split into jobs: the bars of the old split (bands of the longest, middle and
// shortest lengths, 102 to a job) against the split that deals long and short lengths to every
// job (exchange::SplitLengths), each job planned at 最適, and both against a lower bound for the
// whole section planned at once (its pieces' length over the bar's, or its pieces longer than
// half a bar, whichever is more). Usage:
//   split_bench [SECTIONS] [--seed S]
// Sections are drawn with a fixed seed: 103 to 306 piece lengths of 300-5 900 mm, 1-4 each, on
// 6 000 mm bars (ample), margin 0, kerf 0. Prints one row per section and the totals.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "exchange/part_import.h"
#include "optimiser/records.h"
#include "run/run_command.h"

namespace {

using zarvel::job::CutPiece;
using zarvel::optimiser::OptimiserRecords;

constexpr int kBar = 6000;
constexpr int kCapacity = 102;

// The bars one job of these pieces takes at 最適 (0 when it has no plan).
long long Bars(const std::vector<CutPiece>& pieces) {
  auto r = std::make_unique<OptimiserRecords>();
  r->stock.Append(kBar, 9999);
  for (const CutPiece& p : pieces) r->cut.Append(p.length, p.count);
  r->conditions.margin = 0;
  r->conditions.kerf = 0;
  r->conditions.priority_length = 0;
  r->random.Seed(0);
  zarvel::run::RunOptimal(*r, {});
  long long bars = 0;
  for (int p = 1; p <= r->best.pattern_count; ++p) bars += r->best.patterns[p].repeat_count;
  return bars;
}

long long SplitBars(const std::vector<std::vector<CutPiece>>& jobs) {
  long long bars = 0;
  for (const auto& j : jobs) bars += Bars(j);
  return bars;
}

}  // namespace

int main(int argc, char** argv) {
  int sections = 6;
  unsigned seed = 33;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) {
      seed = static_cast<unsigned>(std::stoul(argv[++i]));
    } else {
      sections = std::stoi(argv[i]);
    }
  }
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  long long banded_total = 0, mixed_total = 0, bound_total = 0;
  std::printf("%-8s %7s %6s %7s %7s %7s\n", "section", "lengths", "jobs", "bands", "mixed",
              "bound");
  for (int s = 0; s < sections; ++s) {
    const int kinds = pick(kCapacity + 1, 3 * kCapacity);
    std::vector<int> lengths;
    while (static_cast<int>(lengths.size()) < kinds) {
      const int l = pick(300, 5900);
      if (std::find(lengths.begin(), lengths.end(), l) == lengths.end()) lengths.push_back(l);
    }
    std::sort(lengths.begin(), lengths.end(), std::greater<>());
    std::vector<CutPiece> pieces;
    long long total = 0;
    for (const int l : lengths) {
      pieces.push_back({l, pick(1, 4)});
      total += static_cast<long long>(l) * pieces.back().count;
    }
    const int jobs = (kinds + kCapacity - 1) / kCapacity;
    // The old split: the longest 102 lengths, then the next 102, ...
    std::vector<std::vector<CutPiece>> banded(static_cast<std::size_t>(jobs));
    for (std::size_t i = 0; i < pieces.size(); ++i) banded[i / kCapacity].push_back(pieces[i]);
    const long long bands = SplitBars(banded);
    const long long mixed = SplitBars(zarvel::exchange::SplitLengths(pieces, jobs));
    // No two pieces longer than half a bar share one: the bound is the larger of the two counts.
    long long halves = 0;
    for (const CutPiece& p : pieces) halves += p.length * 2 > kBar ? p.count : 0;
    const long long bound = std::max((total + kBar - 1) / kBar, halves);
    banded_total += bands;
    mixed_total += mixed;
    bound_total += bound;
    std::printf("%-8d %7d %6d %7lld %7lld %7lld\n", s, kinds, jobs, bands, mixed, bound);
    std::fflush(stdout);
  }
  std::printf(
      "\n%d sections: %lld bars in bands, %lld mixed, bound %lld (%.1f%% and %.1f%% over)\n",
      sections, banded_total, mixed_total, bound_total,
      100.0 * static_cast<double>(banded_total - bound_total) / static_cast<double>(bound_total),
      100.0 * static_cast<double>(mixed_total - bound_total) / static_cast<double>(bound_total));
  return 0;
}
