#include "yard/stock.h"

#include <algorithm>
#include <map>

#include "base/format.h"

namespace zarvel::yard {

std::vector<int32_t> StockFill::MeasuredLengths() const {
  std::vector<int32_t> measured;
  for (const StockLength& s : lengths)
    if (s.offcut) measured.push_back(s.length);
  return measured;
}

StockFill FillFromItems(const std::string& section, const std::vector<Item>& items, int cells) {
  StockFill fill;
  fill.section = CanonicalSection(section);
  std::map<int32_t, StockLength> by_length;
  for (const Item& item : items) {
    if (item.count <= 0 || CanonicalSection(item.section) != fill.section) continue;
    StockLength& s = by_length[item.length];
    s.length = item.length;
    s.count = std::min(s.count + item.count, kMaxCount);
    s.offcut = s.offcut || item.offcut;
    s.items.push_back(item);
  }
  std::vector<StockLength> all;
  for (auto& [length, s] : by_length) {
    // Offcuts are cut first: a length that has one is taken from its offcuts first.
    std::stable_sort(s.items.begin(), s.items.end(),
                     [](const Item& a, const Item& b) { return a.offcut && !b.offcut; });
    all.push_back(std::move(s));
  }
  // Keep order: standard lengths, then offcuts longest first.
  std::vector<StockLength*> order;
  for (StockLength& s : all) order.push_back(&s);
  std::stable_sort(order.begin(), order.end(), [](const StockLength* a, const StockLength* b) {
    if (a->offcut != b->offcut) return !a->offcut;
    return a->length > b->length;
  });
  std::vector<bool> kept(all.size(), false);
  for (std::size_t i = 0; i < order.size() && static_cast<int>(i) < cells; ++i)
    kept[static_cast<std::size_t>(order[i] - all.data())] = true;
  for (std::size_t i = 0; i < all.size(); ++i)
    (kept[i] ? fill.lengths : fill.left_out).push_back(std::move(all[i]));
  return fill;
}

void WriteStockCells(run::Grid& grid, const StockFill& fill) {
  for (int r = 1; r < grid.RowCount(); ++r)
    for (int c = 1; c < grid.ColCount(); ++c) grid.SetCell(c, r, "");
  const int columns = std::max(grid.ColCount() - 1, 1);
  int k = 0;
  for (const StockLength& l : fill.lengths) {
    grid.SetCell(k % columns + 1, k / columns + 1,
                 base::Format("%5d.%3lld", l.length, static_cast<long long>(l.count)));
    ++k;
  }
}

std::string ChangeSummary(const Change& change, const StockFill& fill) {
  std::map<int32_t, long long> taken;
  for (const Take& t : change.takes) {
    for (const StockLength& l : fill.lengths)
      for (const Item& i : l.items)
        if (i.id == t.item) taken[l.length] += t.count;
  }
  std::string s = fill.section + "\n取り出す素材:";
  for (auto [length, bars] : taken) s += base::Format(" %d×%lld", length, bars);
  s += "\n加える端材:";
  if (change.adds.empty()) s += " なし";
  for (const NewItem& n : change.adds)
    s += base::Format(" %d×%lld", n.length, static_cast<long long>(n.count));
  return s;
}

std::string LeftOutMessage(const StockFill& fill, int cells) {
  if (fill.left_out.empty()) return {};
  constexpr std::size_t kNamed = 20;
  std::string named;
  for (std::size_t i = fill.left_out.size(); i-- > 0;) {
    if (fill.left_out.size() - 1 - i == kNamed) {
      named += base::Format(" ほか %zu 種類", i + 1);
      break;
    }
    const StockLength& s = fill.left_out[i];
    named += base::Format("%s%d×%lld", named.empty() ? "" : "、", s.length,
                          static_cast<long long>(s.count));
  }
  return base::Format(
      "在庫の長さが %zu 種類あり、素材リストの %d 枠に入りきらないため、"
      "短い端材 %zu 種類を除きました: %s",
      fill.lengths.size() + fill.left_out.size(), cells, fill.left_out.size(), named.c_str());
}

bool CommitChange(const optimiser::OptimiserRecords& r, const StockFill& fill, int32_t keep,
                  const std::string& job, const std::string& date, Change& change,
                  std::string& message) {
  change = Change{};
  change.reason = "commit";
  change.job = job;
  for (const optimiser::StockBarsUsed& used : optimiser::StockUsed(r)) {
    const auto found = std::find_if(fill.lengths.begin(), fill.lengths.end(),
                                    [&](const StockLength& s) { return s.length == used.length; });
    if (found == fill.lengths.end()) {
      message = base::Format("計画の素材 %d mm は在庫にありません。", used.length);
      return false;
    }
    long long bars = used.bars;
    for (const Item& item : found->items) {
      if (bars == 0) break;
      const long long take = std::min<long long>(bars, item.count);
      change.takes.push_back({item.id, take, item.count});
      bars -= take;
    }
    if (bars > 0) {
      message = base::Format("計画の素材 %d mm が在庫より %lld 本多く使われています。", used.length,
                             bars);
      return false;
    }
  }
  const optimiser::CuttingPlan& plan = r.best;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const optimiser::BarPattern& b = plan.patterns[p];
    const auto length = static_cast<int32_t>(b.remnant);
    if (length < std::max(keep, kMinLength) || length > kMaxLength) continue;
    NewItem n;
    n.section = fill.section;
    n.length = length;
    n.count = b.repeat_count;
    n.offcut = true;
    n.source = base::Format("残材 %s パターン%d %s", job.c_str(), p, date.c_str());
    change.adds.push_back(n);
  }
  return true;
}

}  // namespace zarvel::yard
