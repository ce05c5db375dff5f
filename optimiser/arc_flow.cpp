#include "optimiser/arc_flow.h"

#include <algorithm>
#include <cmath>
#include <coin/ClpSimplex.hpp>
#include <coin/CoinPackedMatrix.hpp>
#include <map>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "optimiser/exact_mip.h"

namespace zarvel::optimiser {
namespace {

// A set of fills 0..width-1, one bit each.
class Fills {
 public:
  explicit Fills(int64_t width)
      : width_(width), words_(static_cast<std::size_t>(width + 63) / 64) {}
  void Set(int64_t at) { words_[static_cast<std::size_t>(at / 64)] |= uint64_t{1} << (at % 64); }
  // Adds the fills of `from` moved down by `by` (those that stay at 0 or above).
  void AddShiftedDown(const Fills& from, int64_t by) {
    const auto whole = static_cast<std::size_t>(by / 64);
    const int bits = static_cast<int>(by % 64);
    const std::size_t n = words_.size();
    for (std::size_t i = 0; i + whole < n; ++i) {
      uint64_t w = from.words_[i + whole] >> bits;
      if (bits != 0 && i + whole + 1 < n) w |= from.words_[i + whole + 1] << (64 - bits);
      words_[i] |= w;
    }
  }
  // The least fill at or above `at`, or -1.
  int64_t NextFrom(int64_t at) const {
    if (at >= width_) return -1;
    auto i = static_cast<std::size_t>(at / 64);
    uint64_t w = words_[i] & (~uint64_t{0} << (at % 64));
    while (w == 0) {
      if (++i == words_.size()) return -1;
      w = words_[i];
    }
    return static_cast<int64_t>(i) * 64 + __builtin_ctzll(w);
  }
  std::size_t Words() const { return words_.size(); }

 private:
  int64_t width_;
  std::vector<uint64_t> words_;
};

struct Arc {
  int from = 0;
  int to = -1;     // -1: the sink
  int piece = -1;  // position in the order of lengths, -1 for the arcs after the last level
  int copies = 0;
  int stock = -1;  // the arcs into the sink: the stock length whose bars they are
};

class Graph {
 public:
  Graph(const ArcFlowJob& job, const ArcFlowLimits& limits) : job_(job), limits_(limits) {}
  bool Build();
  ArcFlowResult Solve(const std::vector<ArcFlowBars>& start);

 private:
  int AddNode() {
    out_.emplace_back();
    return static_cast<int>(out_.size()) - 1;
  }
  int NodeAt(int64_t fill) {
    auto [it, fresh] = node_at_.emplace(fill, 0);
    if (fresh) it->second = AddNode();
    return it->second;
  }
  int AddArc(const Arc& a) {
    arcs_.push_back(a);
    out_[static_cast<std::size_t>(a.from)].push_back(static_cast<int>(arcs_.size()) - 1);
    return static_cast<int>(arcs_.size()) - 1;
  }
  bool StartFlow(const std::vector<ArcFlowBars>& start, std::vector<double>& x) const;
  std::vector<ArcFlowBars> Bars(std::vector<int64_t> flow) const;

  const ArcFlowJob& job_;
  const ArcFlowLimits& limits_;
  std::vector<int> order_;     // piece lengths, longest first
  std::vector<int64_t> most_;  // per position of the order: copies a bar can take
  std::vector<int64_t> ends_;  // capacities of the stock lengths with bars, ascending
  std::vector<Arc> arcs_;
  std::vector<std::vector<int>> out_;  // arcs leaving each node
  std::vector<int> end_node_;          // per entry of ends_: its node
  int source_ = 0;
  std::map<int64_t, int> node_at_;                                    // per fill
  std::map<std::tuple<int64_t, int64_t, int, int64_t>, int> arc_at_;  // (from, to, piece, copies)
  std::vector<Fills> ends_of_level_;
};

bool Graph::Build() {
  const std::size_t n = job_.weights.size();
  int64_t widest = 0;
  for (std::size_t k = 0; k < job_.capacities.size(); ++k) {
    if (job_.quantities[k] <= 0 || job_.capacities[k] <= 0) continue;
    ends_.push_back(job_.capacities[k]);
    widest = std::max(widest, job_.capacities[k]);
  }
  std::sort(ends_.begin(), ends_.end());
  ends_.erase(std::unique(ends_.begin(), ends_.end()), ends_.end());
  if (ends_.empty()) return false;
  order_.resize(n);
  std::iota(order_.begin(), order_.end(), 0);
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
    return job_.weights[static_cast<std::size_t>(a)] > job_.weights[static_cast<std::size_t>(b)];
  });
  for (int j : order_) {
    const auto w = job_.weights[static_cast<std::size_t>(j)];
    if (w <= 0) return false;
    most_.push_back(std::min(job_.demand[static_cast<std::size_t>(j)], widest / w));
  }
  // ends[j]: the fills after lengths 0..j-1 of the order from which some completion ends
  // exactly at a stock length's capacity; a filling is pushed up to the next of these.
  const int64_t width = widest + 1;
  int64_t table = 0;
  for (std::size_t j = 0; j < n; ++j)
    table += (most_[j] + 1) * static_cast<int64_t>((width + 63) / 64);
  if (table > limits_.table_words) return false;
  std::vector<Fills> ends(n + 1, Fills(width));
  for (int64_t c : ends_) ends[n].Set(c);
  for (std::size_t j = n; j-- > 0;) {
    const int64_t w = job_.weights[static_cast<std::size_t>(order_[j])];
    for (int64_t c = 0; c <= most_[j]; ++c) ends[j].AddShiftedDown(ends[j + 1], c * w);
  }
  // Nodes are fills: a node reached at several levels is one node (an arc only ever leads to a
  // larger fill, and a bar ending at a fill fits every stock length of that capacity or more).
  const int64_t first = ends[0].NextFrom(0);
  source_ = NodeAt(first);
  std::vector<int64_t> level{first};
  for (std::size_t j = 0; j < n; ++j) {
    const int64_t w = job_.weights[static_cast<std::size_t>(order_[j])];
    std::vector<int64_t> next;
    std::unordered_map<int64_t, bool> seen;
    for (const int64_t fill : level) {
      for (int64_t c = 0; c <= most_[j]; ++c) {
        const int64_t to = ends[j + 1].NextFrom(fill + c * w);
        if (to < 0) break;
        if (seen.emplace(to, true).second) next.push_back(to);
        if (to == fill) continue;
        const auto key = std::make_tuple(fill, to, static_cast<int>(j), c);
        if (arc_at_.count(key) > 0) continue;
        arc_at_[key] =
            AddArc({NodeAt(fill), NodeAt(to), static_cast<int>(j), static_cast<int>(c), -1});
        if (static_cast<int64_t>(arcs_.size()) > limits_.arcs) return false;
      }
    }
    level = std::move(next);
  }
  ends_of_level_ = std::move(ends);
  std::vector<std::pair<int64_t, int>> last;
  for (const int64_t fill : level) last.emplace_back(fill, NodeAt(fill));
  // The last level's fills are capacities; a bar of that fill goes on that stock length or
  // any longer one.
  for (std::size_t e = 0; e < ends_.size(); ++e) end_node_.push_back(AddNode());
  for (const auto& [fill, node] : last) {
    const auto e = std::lower_bound(ends_.begin(), ends_.end(), fill) - ends_.begin();
    AddArc({node, end_node_[static_cast<std::size_t>(e)], -1, 0, -1});
  }
  for (std::size_t e = 0; e < ends_.size(); ++e) {
    for (std::size_t k = 0; k < job_.capacities.size(); ++k)
      if (job_.quantities[k] > 0 && job_.capacities[k] == ends_[e])
        AddArc({end_node_[e], -1, -1, 0, static_cast<int>(k)});
    if (e + 1 < ends_.size()) AddArc({end_node_[e], end_node_[e + 1], -1, 0, -1});
  }
  return static_cast<int64_t>(arcs_.size()) <= limits_.arcs;
}

bool Graph::StartFlow(const std::vector<ArcFlowBars>& start, std::vector<double>& x) const {
  x.assign(arcs_.size(), 0.0);
  for (const ArcFlowBars& b : start) {
    if (b.stock < 0 || static_cast<std::size_t>(b.stock) >= job_.capacities.size() ||
        b.counts.size() != job_.weights.size() || b.times <= 0)
      return false;
    int64_t fill = ends_of_level_[0].NextFrom(0);
    for (std::size_t j = 0; j < order_.size(); ++j) {
      const int32_t c = b.counts[static_cast<std::size_t>(order_[j])];
      if (c < 0 || c > most_[j]) return false;
      const int64_t w = job_.weights[static_cast<std::size_t>(order_[j])];
      const int64_t to = ends_of_level_[j + 1].NextFrom(fill + c * w);
      if (to < 0) return false;
      if (to != fill) {
        const auto arc = arc_at_.find(std::make_tuple(fill, to, static_cast<int>(j), int64_t{c}));
        if (arc == arc_at_.end()) return false;
        x[static_cast<std::size_t>(arc->second)] += static_cast<double>(b.times);
      }
      fill = to;
    }
    int node = node_at_.at(fill);
    {  // to the node's arc after the last level
      int onward = -1;
      for (int arc : out_[static_cast<std::size_t>(node)])
        if (arcs_[static_cast<std::size_t>(arc)].piece < 0) onward = arc;
      if (onward < 0) return false;
      x[static_cast<std::size_t>(onward)] += static_cast<double>(b.times);
      node = arcs_[static_cast<std::size_t>(onward)].to;
    }
    for (;;) {  // along the stock lengths to the bar's own
      int onward = -1, sink = -1;
      for (int arc : out_[static_cast<std::size_t>(node)]) {
        const Arc& a = arcs_[static_cast<std::size_t>(arc)];
        if (a.stock == b.stock) sink = arc;
        if (a.stock < 0) onward = arc;
      }
      if (sink >= 0) {
        x[static_cast<std::size_t>(sink)] += static_cast<double>(b.times);
        break;
      }
      if (onward < 0) return false;  // the bar is too full for its stock length
      x[static_cast<std::size_t>(onward)] += static_cast<double>(b.times);
      node = arcs_[static_cast<std::size_t>(onward)].to;
    }
  }
  return true;
}

// Splits a whole flow into bars, each path from the source to the sink carrying as many as the
// least flow along it.
std::vector<ArcFlowBars> Graph::Bars(std::vector<int64_t> flow) const {
  std::vector<ArcFlowBars> bars;
  std::vector<int> path;
  for (;;) {
    path.clear();
    int node = source_;
    int64_t times = INT64_MAX;
    while (node >= 0) {
      int taken = -1;
      for (int arc : out_[static_cast<std::size_t>(node)])
        if (flow[static_cast<std::size_t>(arc)] > 0) {
          taken = arc;
          break;
        }
      if (taken < 0) break;
      path.push_back(taken);
      times = std::min(times, flow[static_cast<std::size_t>(taken)]);
      node = arcs_[static_cast<std::size_t>(taken)].to;
    }
    if (path.empty() || node >= 0) break;
    ArcFlowBars b;
    b.counts.assign(job_.weights.size(), 0);
    b.times = times;
    for (int arc : path) {
      const Arc& a = arcs_[static_cast<std::size_t>(arc)];
      flow[static_cast<std::size_t>(arc)] -= times;
      if (a.piece >= 0)
        b.counts[static_cast<std::size_t>(order_[static_cast<std::size_t>(a.piece)])] += a.copies;
      if (a.stock >= 0) b.stock = a.stock;
    }
    bars.push_back(std::move(b));
  }
  return bars;
}

ArcFlowResult Graph::Solve(const std::vector<ArcFlowBars>& start) {
  ArcFlowResult result;
  result.built = true;
  result.arcs = static_cast<int64_t>(arcs_.size());
  result.nodes = static_cast<int64_t>(out_.size());
  // Rows: flow kept at every node but the source, then the demand, then the held objective.
  const int nodes = static_cast<int>(out_.size());
  const int demand_row = nodes - 1;
  const int held_row = demand_row + static_cast<int>(job_.weights.size());
  const int rows = held_row + static_cast<int>(job_.held.size());
  auto row_of = [&](int node) { return node - 1; };  // the source is node 0, without a row
  std::vector<int> at_row, at_column;
  std::vector<double> value;
  std::vector<double> lower(arcs_.size(), 0.0), upper(arcs_.size(), COIN_DBL_MAX),
      cost(arcs_.size(), 0.0);
  for (std::size_t i = 0; i < arcs_.size(); ++i) {
    const Arc& a = arcs_[i];
    const int column = static_cast<int>(i);
    auto put = [&](int row, double v) {
      at_row.push_back(row);
      at_column.push_back(column);
      value.push_back(v);
    };
    if (a.from != source_) put(row_of(a.from), -1.0);
    if (a.to >= 0) put(row_of(a.to), 1.0);
    if (a.piece >= 0 && a.copies > 0)
      put(demand_row + order_[static_cast<std::size_t>(a.piece)], a.copies);
    if (a.stock >= 0) {
      const auto k = static_cast<std::size_t>(a.stock);
      upper[i] = static_cast<double>(job_.quantities[k]);
      cost[i] = job_.costs[k];
      for (std::size_t h = 0; h < job_.held.size(); ++h)
        if (job_.held[h].per_stock[k] != 0)
          put(held_row + static_cast<int>(h), job_.held[h].per_stock[k]);
    }
  }
  const CoinPackedMatrix matrix(true, at_row.data(), at_column.data(), value.data(),
                                static_cast<CoinBigIndex>(value.size()));
  std::vector<double> row_lower(static_cast<std::size_t>(rows), 0.0),
      row_upper(static_cast<std::size_t>(rows), 0.0);
  for (std::size_t j = 0; j < job_.weights.size(); ++j) {
    row_lower[static_cast<std::size_t>(demand_row) + j] = static_cast<double>(job_.demand[j]);
    row_upper[static_cast<std::size_t>(demand_row) + j] = COIN_DBL_MAX;
  }
  for (std::size_t h = 0; h < job_.held.size(); ++h) {
    row_lower[static_cast<std::size_t>(held_row) + h] = -COIN_DBL_MAX;
    row_upper[static_cast<std::size_t>(held_row) + h] = job_.held[h].cap;
  }
  ClpSimplex model;
  model.setLogLevel(0);
  model.loadProblem(matrix, lower.data(), upper.data(), cost.data(), row_lower.data(),
                    row_upper.data());
  std::vector<double> x;
  if (start.empty() || !StartFlow(start, x)) x.clear();
  double start_objective = COIN_DBL_MAX;
  if (!x.empty()) {
    start_objective = 0;
    for (std::size_t i = 0; i < x.size(); ++i) start_objective += x[i] * cost[i];
  }
  MipLimits mip;
  mip.nodes = limits_.nodes;
  mip.iterations = limits_.iterations > 0
                       ? limits_.iterations
                       : static_cast<int>(std::min<int64_t>(
                             INT32_MAX, limits_.work / std::max<std::size_t>(1, arcs_.size())));
  mip.strong = true;  // for proof: the bound matters more than early plans
  mip.target = limits_.target;
  mip.stop = limits_.stop;
  const MipResult solved = SolvePatternMip(model, row_lower, row_upper, x, mip);
  result.iterations = solved.iterations;
  result.stopped = solved.stopped;
  result.objective = solved.found ? solved.objective : start_objective;
  result.proven = solved.proven && (solved.found || !x.empty());
  result.bound = result.proven ? result.objective : solved.bound;
  if (!solved.found) return result;
  std::vector<int64_t> flow(arcs_.size(), 0);
  for (std::size_t i = 0; i < arcs_.size(); ++i)
    flow[i] = std::max<int64_t>(0, std::llround(solved.x[i]));
  result.plan = Bars(std::move(flow));
  result.found = !result.plan.empty();
  return result;
}

}  // namespace

bool ArcFlowFits(const ArcFlowJob& job, const ArcFlowLimits& limits) {
  Graph graph(job, limits);
  return graph.Build();
}

ArcFlowResult SolveArcFlow(const ArcFlowJob& job, const std::vector<ArcFlowBars>& start,
                           const ArcFlowLimits& limits) {
  Graph graph(job, limits);
  if (!graph.Build()) return {};
  return graph.Solve(start);
}

}  // namespace zarvel::optimiser
