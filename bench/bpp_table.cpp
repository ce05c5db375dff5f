// The cutting-stock table: public instances with proven optima (one stock length, kerf 0,
// margin 0), planned by the search at 高 and by the exact planner. Usage:
//   bpp_table DIR OPTIMUM.tsv [--max-kinds 102] [--search] [--limit N]
//   bpp_table --steel JOBS
// prints one row per instance and a summary.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "optimiser/exact.h"
#include "optimiser/search.h"

namespace fs = std::filesystem;
using zarvel::optimiser::OptimiserRecords;

struct Instance {
  std::string name;
  int capacity = 0;
  std::vector<std::pair<int, int>> items;
};

bool Read(const fs::path& p, Instance& in) {
  std::ifstream f(p);
  int m = 0;
  if (!(f >> m >> in.capacity)) return false;
  for (int i = 0; i < m; ++i) {
    int l = 0, d = 0;
    if (!(f >> l >> d)) return false;
    in.items.emplace_back(l, d);
  }
  in.name = p.stem().string();
  return true;
}

std::unique_ptr<OptimiserRecords> Records(const Instance& in) {
  auto r = std::make_unique<OptimiserRecords>();
  long total = 0;
  for (auto [l, d] : in.items) {
    r->cut.Append(l, d);
    total += d;
  }
  r->stock.Append(in.capacity, static_cast<int32_t>(total));
  r->conditions.margin = 0;
  r->conditions.kerf = 0;
  r->conditions.priority_length = 0;
  r->random.Seed(0);
  return r;
}

int Bars(const OptimiserRecords& r) {
  int bars = 0;
  for (int p = 1; p <= r.best.pattern_count; ++p) bars += r.best.patterns[p].repeat_count;
  return bars;
}

// Steel-like jobs: several stock lengths in limited numbers, kerf 3, margin 20, 20 to 102
// piece lengths; the exact plan against the search at 高 and the bound.
int SteelTable(int jobs) {
  std::mt19937 rng(2026);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int worse = 0;
  double worst_gap = 0, gap_sum = 0, worst_time = 0;
  std::printf("%-6s %5s %12s %12s %12s %7s %8s\n", "job", "kinds", "bound", "search", "exact",
              "gap %", "seconds");
  for (int n = 0; n < jobs; ++n) {
    auto r = std::make_unique<OptimiserRecords>();
    const int kinds = pick(20, 102);
    long required = 0;
    for (int j = 0; j < kinds; ++j) {
      const int l = pick(300, 5800), d = pick(1, 30);
      r->cut.Append(l, d);
      required += static_cast<long>(l) * d;
    }
    const int lengths[] = {6000, 7000, 8000, 9000, 10000, 12000};
    long room = 0;
    for (int k = 0; k < 6; ++k) {
      const int q = static_cast<int>(required / 6 / lengths[k] * 3 / 2 + pick(1, 5));
      r->stock.Append(lengths[k], q);
      room += static_cast<long>(q) * lengths[k];
    }
    r->conditions.margin = 20;
    r->conditions.kerf = 3;
    r->conditions.priority_length = 5000;
    r->random.Seed(0);
    auto searched = std::make_unique<OptimiserRecords>(*r);
    const bool s_ok = zarvel::optimiser::RunSearch(*searched, {}, 500) == 0;
    const auto t0 = std::chrono::steady_clock::now();
    const auto result = zarvel::optimiser::ExactPlan(*r, {});
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (result.status != 0 || !s_ok) continue;
    const double e = zarvel::optimiser::PlanCost(*r), s = zarvel::optimiser::PlanCost(*searched);
    const double best = std::min(e, s);  // 最適 keeps the cheaper of the two
    const double gap = 100.0 * (best - result.lower_bound) / result.lower_bound;
    worse += best > s ? 1 : 0;
    worst_gap = std::max(worst_gap, gap);
    gap_sum += gap;
    worst_time = std::max(worst_time, t);
    std::printf("%-6d %5d %12.0f %12.0f %12.0f %7.3f %8.3f\n", n, kinds, result.lower_bound, s, e,
                gap, t);
  }
  std::printf(
      "\n%d jobs; 最適 worse than 高 on %d; gap to the bound: mean %.3f %%, max %.3f %%; "
      "slowest %.3f s\n",
      jobs, worse, gap_sum / std::max(jobs, 1), worst_gap, worst_time);
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 3 && !std::strcmp(argv[1], "--steel")) return SteelTable(std::stoi(argv[2]));
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: bpp_table DIR OPTIMUM.tsv [--max-kinds N] [--search] [--limit N]\n");
    return 2;
  }
  std::size_t max_kinds = 102;
  bool search = false;
  int limit = 1 << 30;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--max-kinds") && i + 1 < argc) max_kinds = std::stoul(argv[++i]);
    if (!std::strcmp(argv[i], "--search")) search = true;
    if (!std::strcmp(argv[i], "--limit") && i + 1 < argc) limit = std::stoi(argv[++i]);
  }
  std::map<std::string, int> optimum;
  std::ifstream tsv(argv[2]);
  std::string line;
  std::getline(tsv, line);
  while (std::getline(tsv, line)) {
    std::istringstream s(line);
    std::string name;
    int lb = 0, ub = 0;
    if (s >> name >> lb >> ub && lb == ub) optimum[name] = lb;
  }
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(argv[1]))
    if (e.path().extension() == ".txt") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  int n = 0, exact_opt = 0, search_opt = 0;
  double exact_excess = 0, search_excess = 0, worst_time = 0;
  std::vector<double> times;
  std::printf("%-28s %5s %6s %6s %6s %8s\n", "instance", "opt", "search", "exact", "proven",
              "seconds");
  for (const fs::path& p : files) {
    Instance in;
    if (!Read(p, in) || in.items.size() > max_kinds || !optimum.count(in.name)) continue;
    if (n >= limit) break;
    const int opt = optimum[in.name];
    int s_bars = -1;
    if (search) {
      auto r = Records(in);
      if (zarvel::optimiser::RunSearch(*r, {}, 500) == 0) s_bars = Bars(*r);
    }
    auto r = Records(in);
    const auto t0 = std::chrono::steady_clock::now();
    const auto result = zarvel::optimiser::ExactPlan(*r, {});
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const int e_bars = result.status == 0 ? Bars(*r) : -1;
    std::printf("%-28s %5d %6d %6d %6s %8.3f\n", in.name.c_str(), opt, s_bars, e_bars,
                result.proven_optimal ? "yes" : "no", t);
    std::fflush(stdout);
    ++n;
    times.push_back(t);
    worst_time = std::max(worst_time, t);
    if (e_bars == opt) ++exact_opt;
    if (e_bars > 0) exact_excess += 100.0 * (e_bars - opt) / opt;
    if (s_bars == opt) ++search_opt;
    if (s_bars > 0) search_excess += 100.0 * (s_bars - opt) / opt;
  }
  std::sort(times.begin(), times.end());
  std::printf(
      "\n%d instances; exact: optimum on %d (%.1f %%), mean excess %.3f %%, median %.3f s, "
      "max %.3f s\n",
      n, exact_opt, 100.0 * exact_opt / std::max(n, 1), exact_excess / std::max(n, 1),
      times.empty() ? 0 : times[times.size() / 2], worst_time);
  if (search)
    std::printf("search at 高: optimum on %d (%.1f %%), mean excess %.3f %%\n", search_opt,
                100.0 * search_opt / std::max(n, 1), search_excess / std::max(n, 1));
  return 0;
}
