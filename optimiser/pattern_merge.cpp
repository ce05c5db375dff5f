#include "optimiser/pattern_merge.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "optimiser/remnant_policy.h"

namespace zarvel::optimiser {
namespace {

// The most steps one group's search may take: a group whose pieces split in no way found within
// them counts as one that does not split at all.
constexpr int64_t kGroupSteps[kMaxMergeGroup + 1] = {0, 1000, 2000, 600};
// The most patterns outside a group that its bars may turn into (each cut more often).
constexpr int kMostBorrowed = 2;

struct Item {
  int64_t id = 0;  // ids grow as patterns change: a group is new when it holds a new pattern
  MergePattern pattern;
  std::vector<std::pair<int, int32_t>> pieces;  // the cut entries in it, and how many
};

class Merger {
 public:
  Merger(const MergeJob& job, int64_t steps) : job_(job), left_(steps) {}

  MergeResult Run(const std::vector<MergePattern>& plan) {
    for (const MergePattern& p : plan)
      if (p.times > 0) Add(p, items_.size());
    JoinEqual();
    Reindex();
    tried_.assign(job_.capacities.size() + 1, {});
    for (auto& marks : tried_) marks.fill(-1);
    local_.assign(job_.weights.size(), -1);
    bool merged = true;
    while (merged && !out_) {
      merged = false;
      // The small groups first: they are many times cheaper to try.
      const bool across = job_.capacities.size() > 1;
      for (int k = 1; k <= kMaxMergeGroup && !merged && !out_; ++k) {
        merged = Pass(k, false);
        if (k >= 2 && across && !merged && !out_) merged = Pass(k, true);
      }
    }
    MergeResult result;
    for (Item& item : items_) result.plan.push_back(std::move(item.pattern));
    result.steps = taken_;
    result.out_of_steps = out_;
    return result;
  }

 private:
  // One step of the count; false when the group's or the whole count is spent.
  bool Step() {
    if (left_ <= 0) {
      out_ = true;
      return false;
    }
    if (group_left_ <= 0) return false;
    --left_;
    --group_left_;
    ++taken_;
    return true;
  }

  void Add(const MergePattern& p, std::size_t at) {
    Item item{next_id_++, p, {}};
    for (std::size_t j = 0; j < p.counts.size(); ++j)
      if (p.counts[j] > 0) item.pieces.emplace_back(static_cast<int>(j), p.counts[j]);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
  }

  // The items holding each cut entry.
  void Reindex() {
    by_type_.assign(job_.weights.size(), {});
    for (std::size_t i = 0; i < items_.size(); ++i)
      for (const auto& piece : items_[i].pieces)
        by_type_[static_cast<std::size_t>(piece.first)].push_back(i);
    stamp_.assign(items_.size(), 0);
    stamp_now_ = 0;
  }

  // Equal patterns are one pattern cut more often (the first keeps its place).
  void JoinEqual() {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      for (std::size_t k = i + 1; k < items_.size();) {
        const Item& a = items_[i];
        const Item& b = items_[k];
        if (a.pattern.stock == b.pattern.stock && a.pieces == b.pieces) {
          items_[i].pattern.times += b.pattern.times;
          items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(k));
        } else {
          ++k;
        }
      }
    }
  }

  // Tries the groups of k patterns of one stock entry (`across`: of more than one) that hold a
  // pattern newer than those tried before; true after the first merge.
  bool Pass(int k, bool across) {
    const std::size_t m = job_.capacities.size();
    for (std::size_t s = across ? m : 0; s < (across ? m + 1 : m); ++s) {
      std::vector<std::size_t> at;  // items of this stock, oldest first (as ids grow)
      for (std::size_t i = 0; i < items_.size(); ++i)
        if (across || items_[i].pattern.stock == static_cast<int>(s)) at.push_back(i);
      std::sort(at.begin(), at.end(),
                [&](std::size_t a, std::size_t b) { return items_[a].id < items_[b].id; });
      if (static_cast<int>(at.size()) < k) continue;
      int64_t& mark = tried_[s][static_cast<std::size_t>(k)];
      // The group's newest pattern is at `last`; the others are chosen before it.
      for (std::size_t last = static_cast<std::size_t>(k - 1); last < at.size(); ++last) {
        if (items_[at[last]].id <= mark) continue;
        // Every group of patterns up to the one before `last` was tried.
        const int64_t older = last > 0 ? items_[at[last - 1]].id : mark;
        std::vector<std::size_t> pick(static_cast<std::size_t>(k - 1));
        std::iota(pick.begin(), pick.end(), 0);
        for (;;) {
          std::vector<std::size_t> group;
          for (std::size_t p : pick) group.push_back(at[p]);
          group.push_back(at[last]);
          group_left_ = kGroupSteps[k];
          if (!Step()) return false;
          if ((!across || Mixed(group)) && TryGroup(group)) {
            mark = std::max(mark, older);
            return true;
          }
          if (out_) return false;
          // The next choice of k - 1 positions before `last`.
          int i = k - 2;
          while (i >= 0 &&
                 pick[static_cast<std::size_t>(i)] == last - static_cast<std::size_t>(k - 1 - i))
            --i;
          if (i < 0) break;
          ++pick[static_cast<std::size_t>(i)];
          for (auto q = static_cast<std::size_t>(i) + 1; q < pick.size(); ++q)
            pick[q] = pick[q - 1] + 1;
        }
      }
      if (!at.empty()) mark = std::max(mark, items_[at.back()].id);
    }
    return false;
  }

  bool Mixed(const std::vector<std::size_t>& group) const {
    for (std::size_t g : group)
      if (items_[g].pattern.stock != items_[group[0]].pattern.stock) return true;
    return false;
  }

  int64_t Filled(const std::vector<int64_t>& counts) const {
    int64_t w = 0;
    for (std::size_t i = 0; i < types_.size(); ++i) w += counts[i] * weight_[i];
    return w;
  }

  int64_t ScrapOfFill(int stock, int64_t filled) const {
    const int64_t length = job_.lengths[static_cast<std::size_t>(stock)];
    return ScrapOf(std::max<int64_t>(length - filled, 0), job_.keep);
  }

  // Whether the group's pieces split among its bars into one pattern fewer (some of which may
  // be patterns outside the group, cut more often); if so, the group is replaced.
  bool TryGroup(const std::vector<std::size_t>& group) {
    types_.clear();
    weight_.clear();
    rest_.clear();
    stocks_.clear();
    bars_.clear();
    scrap_before_ = 0;
    for (std::size_t g : group) {
      const Item& item = items_[g];
      const int64_t times = item.pattern.times;
      const auto at = std::find(stocks_.begin(), stocks_.end(), item.pattern.stock);
      if (at == stocks_.end()) {
        stocks_.push_back(item.pattern.stock);
        bars_.push_back(times);
      } else {
        bars_[static_cast<std::size_t>(at - stocks_.begin())] += times;
      }
      int64_t filled = 0;
      for (const auto& [j, count] : item.pieces) {
        int& local = local_[static_cast<std::size_t>(j)];
        if (local < 0) {
          local = static_cast<int>(types_.size());
          types_.push_back(j);
          rest_.push_back(0);
        }
        rest_[static_cast<std::size_t>(local)] += times * count;
        filled += count * job_.weights[static_cast<std::size_t>(j)];
      }
      scrap_before_ += ScrapOfFill(item.pattern.stock, filled) * times;
    }
    // Heaviest first: the search fills a bar with them before the light ones.
    std::vector<std::size_t> order(types_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return job_.weights[static_cast<std::size_t>(types_[a])] >
             job_.weights[static_cast<std::size_t>(types_[b])];
    });
    {
      std::vector<int> types;
      std::vector<int64_t> rest;
      for (std::size_t i : order) {
        types.push_back(types_[i]);
        rest.push_back(rest_[i]);
      }
      types_ = std::move(types);
      rest_ = std::move(rest);
    }
    for (std::size_t i = 0; i < types_.size(); ++i) {
      local_[static_cast<std::size_t>(types_[i])] = static_cast<int>(i);
      weight_.push_back(job_.weights[static_cast<std::size_t>(types_[i])]);
    }
    // The patterns outside the group made of its pieces alone, among those holding one of them
    // (each looked at is a step).
    std::vector<std::size_t> near;
    ++stamp_now_;
    for (int j : types_) {
      for (std::size_t e : by_type_[static_cast<std::size_t>(j)]) {
        if (stamp_[e] == stamp_now_) continue;
        stamp_[e] = stamp_now_;
        near.push_back(e);
      }
    }
    std::sort(near.begin(), near.end());
    borrowable_.clear();
    for (std::size_t e : near) {
      const Item& item = items_[e];
      const auto at = std::find(stocks_.begin(), stocks_.end(), item.pattern.stock);
      if (at == stocks_.end() || std::find(group.begin(), group.end(), e) != group.end()) continue;
      std::vector<int64_t> counts(types_.size(), 0);
      bool inside = true;
      for (const auto& [j, count] : item.pieces) {
        const int local = local_[static_cast<std::size_t>(j)];
        if (local < 0) {
          inside = false;
          break;
        }
        counts[static_cast<std::size_t>(local)] = count;
      }
      if (inside)
        borrowable_.push_back(
            {e, std::move(counts), static_cast<std::size_t>(at - stocks_.begin())});
    }
    for (int j : types_) local_[static_cast<std::size_t>(j)] = -1;
    if (static_cast<int64_t>(near.size()) > left_) {
      out_ = true;
      return false;
    }
    left_ -= static_cast<int64_t>(near.size());
    taken_ += static_cast<int64_t>(near.size());
    chosen_.clear();
    const int parts = static_cast<int>(group.size()) - 1;
    bufs_.assign(static_cast<std::size_t>(parts) + 1, std::vector<int64_t>(types_.size(), 0));
    if (!Split(parts, 1, kMostBorrowed, 0)) return false;
    // The patterns borrowed are cut more often (and count as changed); the group's place goes
    // to its new patterns, and the others of it leave.
    const std::size_t n = job_.weights.size();
    for (const Part& part : chosen_) {
      if (part.borrowed < 0) continue;
      Item& item = items_[static_cast<std::size_t>(part.borrowed)];
      item.pattern.times += part.times;
      item.id = next_id_++;
    }
    std::size_t first = *std::min_element(group.begin(), group.end());
    std::vector<std::size_t> gone(group);
    std::sort(gone.rbegin(), gone.rend());
    for (std::size_t g : gone) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(g));
    for (const Part& part : chosen_) {
      if (part.borrowed >= 0) continue;
      MergePattern p{part.stock, std::vector<int32_t>(n, 0), part.times};
      for (std::size_t i = 0; i < types_.size(); ++i)
        p.counts[static_cast<std::size_t>(types_[i])] = static_cast<int32_t>(part.counts[i]);
      Add(p, first++);
    }
    JoinEqual();
    Reindex();
    return true;
  }

  // The bars of the group not yet given to a part, and the stock (in stocks_) holding them all
  // or -1 when more than one does.
  int64_t BarsLeft() const { return std::accumulate(bars_.begin(), bars_.end(), int64_t{0}); }
  int OneStock() const {
    int one = -1;
    for (std::size_t l = 0; l < bars_.size(); ++l) {
      if (bars_[l] == 0) continue;
      if (one >= 0) return -1;
      one = static_cast<int>(l);
    }
    return one;
  }

  // Splits rest_ among the bars left (bars_) into `parts` new patterns, after up to `borrow`
  // patterns outside the group, from borrowable_[from] on. On one stock entry each new pattern
  // is cut at least `least` times (the first is the one cut least often, which spares trying
  // the same split twice).
  bool Split(int parts, int64_t least, int borrow, std::size_t from) {
    if (borrow > 0) {
      for (std::size_t e = from; e < borrowable_.size(); ++e) {
        const Borrowable& lend = borrowable_[e];
        const std::vector<int64_t>& counts = lend.counts;
        int64_t& bars = bars_[lend.stock];
        // Every new pattern keeps a bar at least.
        int64_t most = BarsLeft() == bars ? bars - parts : bars;
        for (std::size_t i = 0; i < counts.size() && most > 0; ++i)
          if (counts[i] > 0) most = std::min(most, rest_[i] / counts[i]);
        for (int64_t y = most; y >= 1; --y) {
          if (!Step()) return false;
          for (std::size_t i = 0; i < counts.size(); ++i) rest_[i] -= y * counts[i];
          bars -= y;
          chosen_.push_back({counts, y, static_cast<int>(lend.item), 0});
          if (Split(parts, least, borrow - 1, e + 1)) return true;
          chosen_.pop_back();
          bars += y;
          for (std::size_t i = 0; i < counts.size(); ++i) rest_[i] += y * counts[i];
          if (group_left_ <= 0 || out_) return false;
        }
      }
    }
    const int64_t w = Filled(rest_);
    const int one = OneStock();
    if (parts == 0) return BarsLeft() == 0 && w == 0 && Accept();
    if (one < 0 && parts == 1) return false;  // a pattern is cut from one stock length
    if (parts == 1) {
      const auto l = static_cast<std::size_t>(one);
      const int64_t bars = bars_[l];
      const int64_t capacity = job_.capacities[static_cast<std::size_t>(stocks_[l])];
      if (!Step() || w == 0 || w > bars * capacity) return false;
      std::vector<int64_t>& b = bufs_[1];
      for (std::size_t i = 0; i < rest_.size(); ++i) {
        if (rest_[i] % bars != 0) return false;
        b[i] = rest_[i] / bars;
      }
      chosen_.push_back({b, bars, -1, stocks_[l]});
      if (Accept()) return true;
      chosen_.pop_back();
      return false;
    }
    // The first new pattern: on each stock entry left, cut y times.
    for (std::size_t l = 0; l < bars_.size(); ++l) {
      if (bars_[l] == 0) continue;
      const int64_t capacity = job_.capacities[static_cast<std::size_t>(stocks_[l])];
      int64_t room = 0;  // of all the bars left
      for (std::size_t o = 0; o < bars_.size(); ++o)
        room += bars_[o] * job_.capacities[static_cast<std::size_t>(stocks_[o])];
      for (int64_t y = one >= 0 ? least : 1; one >= 0 ? y * parts <= bars_[l] : y <= bars_[l];
           ++y) {
        if (!Step()) return false;
        bars_[l] -= y;
        const int after = OneStock();
        bars_[l] += y;
        if (parts == 2 && after < 0) continue;  // the last one is cut from one stock length
        // The others take what this part leaves: at most their capacity.
        const int64_t others = room - y * capacity;
        const int64_t low = std::max<int64_t>(1, (w - others + y - 1) / y);
        if (low > capacity) continue;
        mod_ = parts == 2 ? BarsLeft() - y : 1;
        capacity_ = capacity;
        if (Choose(parts, 0, y, 0, low, l, one >= 0 ? y : 1)) return true;
        if (group_left_ <= 0 || out_) return false;
      }
    }
    return false;
  }

  // Chooses the counts of the part at level `parts` from type i on (filled `w` so far), cut y
  // times; with two parts left, the second takes the rest, so that it must divide evenly.
  bool Choose(int parts, std::size_t i, int64_t y, int64_t w, int64_t low, std::size_t l,
              int64_t least) {
    std::vector<int64_t>& b = bufs_[static_cast<std::size_t>(parts)];
    if (i == types_.size()) {
      if (w < low) return false;
      for (std::size_t t = 0; t < rest_.size(); ++t) rest_[t] -= y * b[t];
      chosen_.push_back({b, y, -1, stocks_[l]});
      bars_[l] -= y;
      const int64_t saved_mod = mod_;
      const int64_t saved_capacity = capacity_;
      if (Split(parts - 1, least, 0, 0)) return true;
      mod_ = saved_mod;
      capacity_ = saved_capacity;
      bars_[l] += y;
      chosen_.pop_back();
      for (std::size_t t = 0; t < rest_.size(); ++t) rest_[t] += y * b[t];
      return false;
    }
    int64_t reach = w;  // the most the remaining types could still fill
    for (std::size_t t = i; t < types_.size(); ++t) reach += (rest_[t] / y) * weight_[t];
    if (reach < low) return false;
    const int64_t most = std::min(rest_[i] / y, (capacity_ - w) / weight_[i]);
    for (int64_t v = most; v >= 0; --v) {
      if (!Step()) return false;
      if (mod_ > 1 && (rest_[i] - y * v) % mod_ != 0) continue;
      b[i] = v;
      if (Choose(parts, i + 1, y, w + v * weight_[i], low, l, least)) return true;
      if (group_left_ <= 0 || out_) return false;
    }
    b[i] = 0;
    return false;
  }

  // A full split: taken unless it raises the scrap.
  bool Accept() {
    if (job_.keep <= 0) return true;
    int64_t scrap = 0;
    for (const Part& part : chosen_) {
      const int stock = part.borrowed >= 0
                            ? items_[static_cast<std::size_t>(part.borrowed)].pattern.stock
                            : part.stock;
      scrap += ScrapOfFill(stock, Filled(part.counts)) * part.times;
    }
    return scrap <= scrap_before_;
  }

  const MergeJob& job_;
  int64_t left_;
  int64_t group_left_ = 0;
  int64_t taken_ = 0;
  bool out_ = false;
  int64_t next_id_ = 0;
  std::vector<Item> items_;
  // Per stock entry (and last, for groups of more than one) and group size: every group of
  // patterns with ids up to this was tried.
  std::vector<std::array<int64_t, kMaxMergeGroup + 1>> tried_;
  // The group being split: its stock entries and their bars not yet given to a part, the piece
  // types in it (heaviest first), their weights, the pieces not yet given to a part, and the
  // parts chosen so far with how often each is cut; the capacity of the part being chosen.
  std::vector<int> stocks_;
  std::vector<int64_t> bars_;
  int64_t capacity_ = 0;
  int64_t scrap_before_ = 0;
  int64_t mod_ = 1;
  std::vector<int> types_;
  std::vector<int64_t> weight_;
  std::vector<int64_t> rest_;
  std::vector<std::vector<int64_t>> bufs_;  // per level, the part being chosen
  struct Part {
    std::vector<int64_t> counts;
    int64_t times = 0;
    int borrowed = -1;  // the item of a pattern outside the group, or -1: a new pattern
    int stock = 0;      // of a new pattern
  };
  struct Borrowable {
    std::size_t item;
    std::vector<int64_t> counts;  // its pieces, per type of the group
    std::size_t stock;            // its stock entry's place in stocks_
  };
  std::vector<Part> chosen_;
  std::vector<int> local_;  // per cut entry, its place in types_ while a group is set up
  // Items outside the group of its stock made of its pieces alone, with those pieces.
  std::vector<Borrowable> borrowable_;
  std::vector<std::vector<std::size_t>> by_type_;  // per cut entry, the items holding it
  std::vector<int64_t> stamp_;                     // per item: looked at for the group of this
  int64_t stamp_now_ = 0;
};

}  // namespace

MergeResult MergePatterns(const MergeJob& job, const std::vector<MergePattern>& plan,
                          int64_t steps) {
  return Merger(job, steps).Run(plan);
}

}  // namespace zarvel::optimiser
