// Quality tables of 最適. Usage:
//   bpp_table DIR OPTIMUM.tsv [--max-kinds 102] [--search] [--limit N] [--every N]
//       public instances with proven optima (one stock length, kerf 0, margin 0), every Nth;
//   bpp_table --steel JOBS [--seed S] [--only N] [--no-anchor] [--kinds LEAST MOST]
//       steel-like jobs drawn with a fixed seed, against 高 and the MIP over the LP's columns
//       (with --only, the job's lists go to stderr);
//   bpp_table --steel-files DIR [--every N]
//       the .zv5 jobs of DIR run as the window runs them, against DIR/anchors.tsv;
//   bpp_table --heavy JOBS [--seed S]
//       jobs of 5 000 short pieces on 36 stock lengths: 最適's processor time against 高's;
//   bpp_table --policy JOBS [--seed S] [--keep K] [--no-offcuts]
//       the steel-like jobs with a few measured offcuts added (or as drawn, without stock in
//       hand): 最適 with the remnant policy
//       (K kept, 1000 by default) against 最適 without it, in processor time and in what each
//       buys, scraps and takes from the rack.
// Each prints one row per job and a summary.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "job/job_file.h"
#include "job/job_form.h"
#include "optimiser/exact.h"
#include "optimiser/remnant_policy.h"
#include "optimiser/search.h"
#include "run/run_command.h"

namespace fs = std::filesystem;
namespace opt = zarvel::optimiser;
using opt::OptimiserRecords;

namespace {

// Branch-and-bound nodes of the anchor, the MIP over the LP's own columns (--anchor-nodes).
int anchor_nodes = 20000;

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

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of this (single-threaded) process: what a job costs whatever the load.
double CpuSeconds(std::clock_t since) {
  return static_cast<double>(std::clock() - since) / CLOCKS_PER_SEC;
}

// Where 最適's processor time goes, told apart by the progress label's texts: the search's
// attempts, the bound at the root, the integer step and the pattern step.
class SplitLabel final : public opt::ProgressLabel {
 public:
  enum Step { kSearch, kRoot, kInteger, kPatterns, kSteps };
  void SetProgressText(const std::string& text) override {
    Close();
    if (text.empty() || text[0] == '(') {
      step_ = kSearch;
    } else if (text == zarvel::run::OptimalProgressText(opt::OptimalStage::kBound)) {
      step_ = kRoot;
    } else if (text == zarvel::run::OptimalProgressText(opt::OptimalStage::kPatterns)) {
      step_ = kPatterns;
    } else {
      step_ = kInteger;
    }
  }
  // Ends the run: the time since the last text goes to its step.
  void Close() {
    const std::clock_t now = std::clock();
    seconds[step_] += static_cast<double>(now - last_) / CLOCKS_PER_SEC;
    last_ = now;
  }
  double seconds[kSteps] = {};

 private:
  Step step_ = kSearch;
  std::clock_t last_ = std::clock();
};

const char* const kStepNames[] = {"cpu探索", "cpu根", "cpu整数", "cpuパタ"};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

bool Why(const char* reason) {
  std::fprintf(stderr, "infeasible plan: %s\n", reason);
  return false;
}

// Whether records.best cuts every piece exactly as often as required, within the stock, each
// bar within its length and margin, with the remnants and totals it states.
bool Feasible(const OptimiserRecords& r) {
  const auto& plan = r.best;
  if (plan.pattern_count <= 0) return false;
  std::vector<long> cut(static_cast<std::size_t>(r.cut.count) + 1, 0);
  std::vector<long> bars(static_cast<std::size_t>(r.stock.count) + 1, 0);
  double stock = 0;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const auto& b = plan.patterns[p];
    if (b.stock_index < 1 || b.stock_index > r.stock.count || b.repeat_count <= 0) return false;
    const long length = r.stock.entries[b.stock_index].length;
    long used = 0;
    for (int j = 1; j <= r.cut.count; ++j) {
      used += long{b.piece_counts[j]} * (r.cut.entries[j].length + r.conditions.kerf);
      cut[static_cast<std::size_t>(j)] += long{b.piece_counts[j]} * b.repeat_count;
    }
    if (used > length + r.conditions.margin + r.conditions.kerf) return Why("bar too full");
    if (b.remnant != static_cast<double>(std::max(length - used, 0L))) return Why("remnant");
    bars[static_cast<std::size_t>(b.stock_index)] += b.repeat_count;
    stock += static_cast<double>(length) * b.repeat_count;
  }
  for (int j = 1; j <= r.cut.count; ++j)
    if (cut[static_cast<std::size_t>(j)] != r.cut.entries[j].quantity) {
      std::fprintf(stderr, "entry %d: %ld of %d\n", j, cut[static_cast<std::size_t>(j)],
                   r.cut.entries[j].quantity);
      return Why("demand");
    }
  for (int k = 1; k <= r.stock.count; ++k)
    if (bars[static_cast<std::size_t>(k)] > r.stock.entries[k].quantity) return Why("stock");
  return stock == plan.stock_length || Why("total");
}

// A steel-like job: 2 to 8 standard lengths (500 mm steps from 6 000 to 12 000 mm), the
// shorter ones often limited to 3-30 bars, the longest ample; margin 20, kerf 3, no priority
// stock; 15 to 90 piece lengths (or as asked) of 300-9 000 mm (never longer than the longest
// bar), 1-40 each.
std::unique_ptr<OptimiserRecords> SteelJob(std::mt19937& rng, int least_kinds, int most_kinds) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto r = std::make_unique<OptimiserRecords>();
  std::vector<int> lengths;
  for (int l = 6000; l <= 12000; l += 500) lengths.push_back(l);
  std::shuffle(lengths.begin(), lengths.end(), rng);
  lengths.resize(static_cast<std::size_t>(pick(2, 8)));
  std::sort(lengths.begin(), lengths.end());
  for (std::size_t k = 0; k < lengths.size(); ++k) {
    const bool ample = k + 1 == lengths.size() || pick(0, 1) == 0;
    r->stock.Append(lengths[k], ample ? 999 : pick(3, 30));
  }
  const int kinds = pick(least_kinds, most_kinds);
  for (int j = 0; j < kinds; ++j)
    r->cut.Append(pick(300, std::min(9000, lengths.back())), pick(1, 40));
  r->conditions.margin = 20;
  r->conditions.kerf = 3;
  r->conditions.priority_length = 0;
  r->random.Seed(0);
  return r;
}

// A heavy job: 36 stock lengths of 13 to 20 m (200 mm steps, ample), margin 20, kerf 3, and 102
// piece lengths of 100 to 300 mm, 5 000 pieces or so in all.
std::unique_ptr<OptimiserRecords> HeavyJob(std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto r = std::make_unique<OptimiserRecords>();
  for (int l = 13000; l <= 20000; l += 200) r->stock.Append(l, 999);
  for (int j = 0; j < 102; ++j) r->cut.Append(pick(100, 300), pick(1, 97));
  r->conditions.margin = 20;
  r->conditions.kerf = 3;
  r->conditions.priority_length = 0;
  r->random.Seed(0);
  return r;
}

int HeavyTable(int jobs, unsigned seed) {
  std::mt19937 rng(seed);
  double high_cpu = 0, optimal_cpu = 0, worst_ratio = 0;
  int more_stock = 0, proven = 0;
  std::printf("%-4s %6s %12s %12s %6s %6s %8s %8s %6s %5s\n", "job", "pieces", "高", "最適",
              "pat高", "pat最適", "cpu高", "cpu最適", "ratio", "proven");
  for (int n = 0; n < jobs; ++n) {
    auto job = HeavyJob(rng);
    long pieces = 0;
    for (int j = 1; j <= job->cut.count; ++j) pieces += job->cut.entries[j].quantity;
    auto high = std::make_unique<OptimiserRecords>(*job);
    std::clock_t c0 = std::clock();
    opt::RunSearch(*high, {}, opt::AttemptsForPrecision(2));
    const double h = CpuSeconds(c0);
    auto r = std::make_unique<OptimiserRecords>(*job);
    c0 = std::clock();
    zarvel::run::RunOptimal(*r, {});
    const double o = CpuSeconds(c0);
    high_cpu += h;
    optimal_cpu += o;
    worst_ratio = std::max(worst_ratio, o / h);
    more_stock += r->best.stock_length > high->best.stock_length ? 1 : 0;
    proven += r->proven_optimal ? 1 : 0;
    std::printf("%-4d %6ld %12.0f %12.0f %6d %6d %8.3f %8.3f %6.2f %5s\n", n, pieces,
                high->best.stock_length, r->best.stock_length, high->best.pattern_count,
                r->best.pattern_count, h, o, o / h, r->proven_optimal ? "yes" : "no");
    std::fflush(stdout);
  }
  std::printf(
      "\n%d jobs; processor time 最適 %.3f s against 高 %.3f s (ratio %.2f, worst %.2f); "
      "more stock than 高 on %d; proven on %d\n",
      jobs, optimal_cpu, high_cpu, optimal_cpu / std::max(high_cpu, 1e-9), worst_ratio, more_stock,
      proven);
  return 0;
}

int PolicyTable(int jobs, unsigned seed, int keep, bool offcuts_added) {
  std::mt19937 rng(seed);
  std::mt19937 offcuts(seed + 1);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(offcuts); };
  double plain_cpu = 0, policy_cpu = 0, worst_ratio = 0;
  double plain_scrap = 0, policy_scrap = 0, plain_mill = 0, policy_mill = 0;
  int proven_plain = 0, proven_policy = 0, more_mill = 0;
  std::printf("%-4s %5s %10s %10s %9s %9s %9s %9s %7s %7s %6s %6s\n", "job", "kinds", "mill",
              "mill方針", "scrap", "scrap方針", "inhand", "inhand方針", "cpu", "cpu方針", "ratio",
              "proven");
  for (int n = 0; n < jobs; ++n) {
    auto job = SteelJob(rng, 15, 90);
    // Offcuts from the yard: 1 to 4 lengths of 1 500 to 5 000 mm, a few bars each.
    for (int o = offcuts_added ? pick(1, 4) : 0; o > 0; --o) {
      job->stock.Append(pick(1500, 5000), pick(1, 4));
      job->stock.entries[job->stock.count].measured = true;
    }
    auto plain = std::make_unique<OptimiserRecords>(*job);
    std::clock_t c0 = std::clock();
    zarvel::run::RunOptimal(*plain, {});
    const double a = CpuSeconds(c0);
    auto policy = std::make_unique<OptimiserRecords>(*job);
    policy->conditions.policy = {true, keep};
    c0 = std::clock();
    zarvel::run::RunOptimal(*policy, {});
    const double b = CpuSeconds(c0);
    // Both plans weighed by the policy's terms.
    plain->conditions.policy = {true, keep};
    const opt::PolicyFigures x = opt::PolicyOf(*plain), y = opt::PolicyOf(*policy);
    plain_cpu += a;
    policy_cpu += b;
    worst_ratio = std::max(worst_ratio, b / std::max(a, 1e-6));
    plain_scrap += x.scrap;
    policy_scrap += y.scrap;
    plain_mill += x.mill;
    policy_mill += y.mill;
    more_mill += y.mill > x.mill ? 1 : 0;
    proven_plain += plain->proven_optimal ? 1 : 0;
    proven_policy += policy->proven_optimal ? 1 : 0;
    std::printf("%-4d %5d %10.0f %10.0f %9.0f %9.0f %9.0f %9.0f %7.3f %7.3f %6.2f %3s/%s\n", n,
                job->cut.count, x.mill, y.mill, x.scrap, y.scrap, x.in_hand, y.in_hand, a, b,
                b / std::max(a, 1e-6), plain->proven_optimal ? "yes" : "no",
                policy->proven_optimal ? "yes" : "no");
    std::fflush(stdout);
  }
  std::printf(
      "\n%d jobs, keep %d mm; processor time with the policy %.3f s against 最適 %.3f s (ratio "
      "%.2f, worst %.2f)\nmill stock %.0f against %.0f mm (more on %d); scrap %.0f against %.0f "
      "mm; proven %d against %d\n",
      jobs, keep, policy_cpu, plain_cpu, policy_cpu / std::max(plain_cpu, 1e-9), worst_ratio,
      policy_mill, plain_mill, more_mill, policy_scrap, plain_scrap, proven_policy, proven_plain);
  return 0;
}

int SteelTable(int jobs, unsigned seed, int only, bool with_anchor, int least_kinds,
               int most_kinds) {
  std::mt19937 rng(seed);
  int planned = 0, feasible = 0, at_bound = 0, over_high = 0, over_anchor = 0, below_anchor = 0,
      proven = 0;
  long patterns = 0, high_patterns = 0;
  double gap_sum = 0, worst_gap = 0, worst_time = 0, worst_cpu = 0, total_exact = 0,
         total_anchor = 0;
  std::vector<double> times;
  std::printf("%-4s %5s %5s %12s %12s %12s %12s %8s %7s %7s %5s %4s %4s %7s\n", "job", "stock",
              "kinds", "bound", "高", "anchor", "最適", "gap %", "seconds", "cpu", "proven", "p高",
              "p最適", "cpu錨");
  for (int n = 0; n < jobs; ++n) {
    auto job = SteelJob(rng, least_kinds, most_kinds);
    if (only >= 0 && n != only) continue;
    if (only >= 0) {  // the job itself, as length.count cells, to try it elsewhere
      for (const auto* list : {&job->stock, &job->cut}) {
        std::fprintf(stderr, "%s:", list == &job->stock ? "stock" : "cut");
        for (int i = 1; i <= list->count; ++i)
          std::fprintf(stderr, " %d.%d", list->entries[i].length, list->entries[i].quantity);
        std::fprintf(stderr, "\n");
      }
    }
    auto high = std::make_unique<OptimiserRecords>(*job);
    const bool high_ok = opt::RunSearch(*high, {}, opt::AttemptsForPrecision(2)) == 0;
    auto anchor = std::make_unique<OptimiserRecords>(*job);
    const std::clock_t a0 = std::clock();
    const auto a = !with_anchor ? opt::ExactResult{} : opt::PriceAndBranch(*anchor, anchor_nodes);
    const double anchor_cpu = CpuSeconds(a0);
    const bool anchor_ok = a.status == opt::kSearchPlanned;
    auto r = std::make_unique<OptimiserRecords>(*job);
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    const bool has_plan = zarvel::run::RunOptimal(*r, {}) == opt::kSearchPlanned;
    const double best = has_plan ? r->best.stock_length : 1e300;
    const bool ok = has_plan && Feasible(*r);
    const double t = Seconds(t0);
    const double cpu = CpuSeconds(c0);
    worst_cpu = std::max(worst_cpu, cpu);
    if (best >= 1e300) {
      std::printf("%-4d no plan\n", n);
      continue;
    }
    ++planned;
    feasible += ok ? 1 : 0;
    const double bound = r->regular_bound;
    const double gap = 100.0 * (best - bound) / bound;
    at_bound += opt::ReachesBound(best, bound) ? 1 : 0;
    proven += r->proven_optimal ? 1 : 0;
    high_patterns += high_ok ? high->best.pattern_count : 0;
    patterns += r->best.pattern_count;
    over_high += high_ok && best > high->best.stock_length ? 1 : 0;
    over_anchor += anchor_ok && best > anchor->best.stock_length ? 1 : 0;
    below_anchor += anchor_ok && best < anchor->best.stock_length ? 1 : 0;
    total_exact += best;
    total_anchor += anchor_ok ? anchor->best.stock_length : best;
    gap_sum += gap;
    worst_gap = std::max(worst_gap, gap);
    worst_time = std::max(worst_time, t);
    times.push_back(t);
    std::printf("%-4d %5d %5d %12.0f %12.0f %12.0f %12.0f %8.4f %7.3f %7.3f %5s %4d %4d %7.3f\n", n,
                job->stock.count, r->cut.count, bound, high_ok ? high->best.stock_length : -1.0,
                anchor_ok ? anchor->best.stock_length : -1.0, best, gap, t, cpu,
                r->proven_optimal ? "yes" : "no", high_ok ? high->best.pattern_count : -1,
                r->best.pattern_count, anchor_cpu);
    std::fflush(stdout);
  }
  std::sort(times.begin(), times.end());
  std::printf(
      "\n%d jobs, %d planned, %d feasible; at the rounded bound %d (%.1f %%); more stock than 高 "
      "on %d, than the anchor on %d, less than the anchor on %d (%.1f m less in all); gap to the "
      "bound mean %.4f %%, max %.4f %%; median %.3f s, slowest %.3f s (processor %.3f s)\n",
      jobs, planned, feasible, at_bound, 100.0 * at_bound / std::max(planned, 1), over_high,
      over_anchor, below_anchor, (total_anchor - total_exact) / 1000,
      gap_sum / std::max(planned, 1), worst_gap, times.empty() ? 0 : times[times.size() / 2],
      worst_time, worst_cpu);
  std::printf("proven %d; patterns 最適 %ld against 高 %ld (%.3f)\n", proven, patterns,
              high_patterns, static_cast<double>(patterns) / std::max(high_patterns, 1L));
  return 0;
}

// The jobs of a folder with an anchors.tsv beside them (independent LP and MIP figures).
int SteelFiles(const fs::path& dir, int every) {
  std::ifstream tsv(dir / "anchors.tsv");
  std::string line;
  std::getline(tsv, line);
  int n = 0, seen = 0, at_bound = 0, over_anchor = 0, below_anchor = 0, weaker_bound = 0,
      feasible = 0, proven = 0, over_high = 0;
  long patterns = 0, high_patterns = 0;
  double gap_sum = 0, worst_time = 0, worst_cpu = 0, cpu_sum = 0, high_cpu_sum = 0;
  std::vector<double> cpus, steps[SplitLabel::kSteps];
  std::printf("%-12s %12s %12s %12s %12s %12s %8s %7s %7s %7s %6s %4s %4s", "job", "their bound",
              "our bound", "their MIP", "高", "最適", "gap %", "seconds", "cpu", "cpu高", "proven",
              "p高", "p最適");
  for (const char* step : kStepNames) std::printf(" %8s", step);
  std::printf("\n");
  while (std::getline(tsv, line)) {
    std::istringstream s(line);
    std::string name;
    int stock_lengths = 0, piece_lengths = 0, pieces = 0;
    double lp = 0, bound = 0, mip = 0;
    if (!(s >> name >> stock_lengths >> piece_lengths >> pieces >> lp >> bound >> mip)) continue;
    if (seen++ % every != 0) continue;
    auto r = std::make_unique<OptimiserRecords>();
    zarvel::job::JobForm form(*r);
    if (!zarvel::job::OpenJobFile(form, (dir / name).string())) continue;
    form.SetPrecisionItem(2);
    const std::clock_t h0 = std::clock();
    if (zarvel::run::RunCommand(*r, form, zarvel::run::RunHost{}, true) !=
        zarvel::run::RunOutcome::kPlanned)
      continue;
    const double high_cpu = CpuSeconds(h0);
    const double high = r->best.stock_length;
    const int high_count = r->best.pattern_count;
    form.SetPrecisionItem(opt::kPrecisionOptimal);
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    SplitLabel split;
    zarvel::run::RunHost host;
    host.progress = &split;
    if (zarvel::run::RunCommand(*r, form, host, true) != zarvel::run::RunOutcome::kPlanned)
      continue;
    split.Close();
    const double t = Seconds(t0);
    const double cpu = CpuSeconds(c0);
    cpus.push_back(cpu);
    for (int k = 0; k < SplitLabel::kSteps; ++k) steps[k].push_back(split.seconds[k]);
    worst_cpu = std::max(worst_cpu, cpu);
    cpu_sum += cpu;
    high_cpu_sum += high_cpu;
    proven += r->proven_optimal ? 1 : 0;
    over_high += r->best.stock_length > high ? 1 : 0;
    patterns += r->best.pattern_count;
    high_patterns += high_count;
    ++n;
    feasible += Feasible(*r) ? 1 : 0;
    const double ours = r->best.stock_length;
    at_bound += opt::ReachesBound(ours, r->regular_bound) ? 1 : 0;
    over_anchor += ours > mip ? 1 : 0;
    below_anchor += ours < mip ? 1 : 0;
    weaker_bound += r->regular_bound < bound ? 1 : 0;
    const double gap = 100.0 * (ours - r->regular_bound) / r->regular_bound;
    gap_sum += gap;
    worst_time = std::max(worst_time, t);
    std::printf("%-12s %12.0f %12.0f %12.0f %12.0f %12.0f %8.4f %7.3f %7.3f %7.3f %6s %4d %4d",
                name.c_str(), bound, r->regular_bound, mip, high, ours, gap, t, cpu, high_cpu,
                r->proven_optimal ? "yes" : "no", high_count, r->best.pattern_count);
    for (int k = 0; k < SplitLabel::kSteps; ++k) std::printf(" %8.3f", split.seconds[k]);
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf(
      "\n%d jobs, %d feasible; at our bound %d (%.1f %%); more stock than their MIP on %d, less "
      "on %d; our bound below theirs on %d; gap mean %.4f %%; slowest %.3f s (processor %.3f s)\n",
      n, feasible, at_bound, 100.0 * at_bound / std::max(n, 1), over_anchor, below_anchor,
      weaker_bound, gap_sum / std::max(n, 1), worst_time, worst_cpu);
  std::printf(
      "proven %d; more stock than 高 on %d; patterns 最適 %ld against 高 %ld (%.3f); "
      "processor time 最適 %.3f s (median %.3f s) against 高 %.3f s\n",
      proven, over_high, patterns, high_patterns,
      static_cast<double>(patterns) / std::max(high_patterns, 1L), cpu_sum, Median(cpus),
      high_cpu_sum);
  std::printf("split (median / total processor s):");
  for (int k = 0; k < SplitLabel::kSteps; ++k)
    std::printf(" %s %.3f / %.1f", kStepNames[k], Median(steps[k]),
                std::accumulate(steps[k].begin(), steps[k].end(), 0.0));
  std::printf("\n");
  return 0;
}

int BppTable(int argc, char** argv) {
  std::size_t max_kinds = 102;
  bool search = false;
  int limit = 1 << 30, every = 1;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--max-kinds") && i + 1 < argc) max_kinds = std::stoul(argv[++i]);
    if (!std::strcmp(argv[i], "--search")) search = true;
    if (!std::strcmp(argv[i], "--limit") && i + 1 < argc) limit = std::stoi(argv[++i]);
    if (!std::strcmp(argv[i], "--every") && i + 1 < argc) every = std::max(1, std::stoi(argv[++i]));
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
  int n = 0, seen = 0, exact_opt = 0, proven = 0, search_opt = 0, infeasible = 0;
  double exact_excess = 0, search_excess = 0, worst_time = 0;
  std::vector<double> times, cpus, steps[SplitLabel::kSteps];
  std::printf("%-28s %5s %6s %6s %6s %8s %8s", "instance", "opt", "search", "最適", "proven",
              "seconds", "cpu");
  for (const char* name : kStepNames) std::printf(" %8s", name);
  std::printf("\n");
  for (const fs::path& p : files) {
    Instance in;
    if (!Read(p, in) || in.items.size() > max_kinds || !optimum.count(in.name)) continue;
    if (seen++ % every != 0) continue;
    if (n >= limit) break;
    const int opt = optimum[in.name];
    int s_bars = -1;
    if (search) {
      auto r = Records(in);
      if (opt::RunSearch(*r, {}, opt::AttemptsForPrecision(2)) == 0) s_bars = Bars(*r);
    }
    auto r = Records(in);
    SplitLabel split;
    const opt::SearchHost host{&split, nullptr, nullptr};
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    const int status = zarvel::run::RunOptimal(*r, host);
    split.Close();
    const double t = Seconds(t0);
    const double cpu = CpuSeconds(c0);
    cpus.push_back(cpu);
    const int e_bars = status == 0 ? Bars(*r) : -1;
    std::printf("%-28s %5d %6d %6d %6s %8.3f %8.3f", in.name.c_str(), opt, s_bars, e_bars,
                r->proven_optimal ? "yes" : "no", t, cpu);
    for (int k = 0; k < SplitLabel::kSteps; ++k) {
      std::printf(" %8.3f", split.seconds[k]);
      steps[k].push_back(split.seconds[k]);
    }
    std::printf("\n");
    std::fflush(stdout);
    ++n;
    times.push_back(t);
    worst_time = std::max(worst_time, t);
    infeasible += status == 0 && !Feasible(*r) ? 1 : 0;
    if (e_bars == opt) ++exact_opt;
    if (r->proven_optimal) ++proven;
    if (e_bars > 0) exact_excess += 100.0 * (e_bars - opt) / opt;
    if (s_bars == opt) ++search_opt;
    if (s_bars > 0) search_excess += 100.0 * (s_bars - opt) / opt;
  }
  std::sort(times.begin(), times.end());
  std::sort(cpus.begin(), cpus.end());
  std::printf(
      "\n%d instances; 最適: optimum on %d (%.1f %%), proven on %d (%.1f %%), mean excess "
      "%.3f %%, infeasible plans %d; wall: median %.3f s, max %.3f s, over 5 s %ld; processor: "
      "median %.3f s, max %.3f s, over 3.6 s %ld, total %.1f s\n",
      n, exact_opt, 100.0 * exact_opt / std::max(n, 1), proven, 100.0 * proven / std::max(n, 1),
      exact_excess / std::max(n, 1), infeasible, Median(times), worst_time,
      std::count_if(times.begin(), times.end(), [](double x) { return x > 5; }), Median(cpus),
      cpus.empty() ? 0 : cpus.back(),
      std::count_if(cpus.begin(), cpus.end(), [](double x) { return x > 3.6; }),
      std::accumulate(cpus.begin(), cpus.end(), 0.0));
  std::printf("split (median / total processor s):");
  for (int k = 0; k < SplitLabel::kSteps; ++k)
    std::printf(" %s %.3f / %.1f", kStepNames[k], Median(steps[k]),
                std::accumulate(steps[k].begin(), steps[k].end(), 0.0));
  std::printf("\n");
  if (search)
    std::printf("search at 高: optimum on %d (%.1f %%), mean excess %.3f %%\n", search_opt,
                100.0 * search_opt / std::max(n, 1), search_excess / std::max(n, 1));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && !std::strcmp(argv[1], "--steel")) {
    unsigned seed = 2026;
    int only = -1;
    bool with_anchor = true;
    int least_kinds = 15, most_kinds = 90;
    for (int i = 3; i < argc; ++i) {
      if (!std::strcmp(argv[i], "--no-anchor")) with_anchor = false;
      if (i + 1 >= argc) break;
      if (!std::strcmp(argv[i], "--seed")) seed = static_cast<unsigned>(std::stoul(argv[++i]));
      if (!std::strcmp(argv[i], "--only")) only = std::stoi(argv[++i]);
      if (!std::strcmp(argv[i], "--anchor-nodes")) anchor_nodes = std::stoi(argv[++i]);
      if (!std::strcmp(argv[i], "--kinds") && i + 2 < argc) {
        least_kinds = std::stoi(argv[++i]);
        most_kinds = std::min(102, std::stoi(argv[++i]));
      }
    }
    return SteelTable(std::stoi(argv[2]), seed, only, with_anchor, least_kinds, most_kinds);
  }
  if (argc >= 3 && !std::strcmp(argv[1], "--steel-files"))
    return SteelFiles(argv[2], argc >= 5 && !std::strcmp(argv[3], "--every")
                                   ? std::max(1, std::stoi(argv[4]))
                                   : 1);
  if (argc >= 3 && !std::strcmp(argv[1], "--policy")) {
    unsigned seed = 2026;
    int keep = 1000;
    bool offcuts_added = true;
    for (int i = 3; i < argc; ++i) {
      if (!std::strcmp(argv[i], "--no-offcuts")) offcuts_added = false;
      if (i + 1 >= argc) break;
      if (!std::strcmp(argv[i], "--seed"))
        seed = static_cast<unsigned>(std::stoul(argv[++i]));
      else if (!std::strcmp(argv[i], "--keep"))
        keep = std::stoi(argv[++i]);
    }
    return PolicyTable(std::stoi(argv[2]), seed, keep, offcuts_added);
  }
  if (argc >= 3 && !std::strcmp(argv[1], "--heavy"))
    return HeavyTable(std::stoi(argv[2]), argc >= 5 && !std::strcmp(argv[3], "--seed")
                                              ? static_cast<unsigned>(std::stoul(argv[4]))
                                              : 2026u);
  if (argc < 3) {
    std::fprintf(
        stderr,
        "usage: bpp_table DIR OPTIMUM.tsv [--max-kinds N] [--search] [--limit N] [--every N]\n"
        "       bpp_table --steel JOBS [--seed S] [--only N] [--no-anchor] [--kinds A B]\n"
        "       bpp_table --steel-files DIR [--every N]\n");
    return 2;
  }
  return BppTable(argc, argv);
}
