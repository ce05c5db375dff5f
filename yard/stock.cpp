#include "yard/stock.h"

#include <algorithm>
#include <map>

#include "base/cell_text.h"
#include "base/format.h"

namespace zarvel::yard {

using base::Format;

std::vector<optimiser::MeasuredBars> StockFill::Measured() const {
  std::vector<optimiser::MeasuredBars> measured;
  for (const StockLength& s : lengths)
    if (s.offcut_bars > 0) measured.push_back({s.length, s.offcut_bars});
  return measured;
}

StockFill FillFromItems(const std::string& section, const std::vector<Item>& items,
                        const FillWants& wants) {
  StockFill fill;
  fill.section = CanonicalSection(section);
  fill.grade = CanonicalGrade(wants.grade);
  std::map<int32_t, StockLength> by_length;
  for (const Item& item : items) {
    if (item.count <= 0 || CanonicalSection(item.section) != fill.section) continue;
    if (!fill.grade.empty() && CanonicalGrade(item.grade) != fill.grade) continue;
    StockLength& s = by_length[item.length];
    s.length = item.length;
    s.count = std::min(s.count + item.count, kMaxCount);
    if (item.offcut) s.offcut_bars = std::min(s.offcut_bars + item.count, kMaxCount);
    s.items.push_back(item);
  }
  std::vector<StockLength> all;
  for (auto& [length, s] : by_length) {
    s.offcut = s.offcut_bars == s.count;
    // Offcuts are cut first: a length that has one is taken from its offcuts first.
    std::stable_sort(s.items.begin(), s.items.end(),
                     [](const Item& a, const Item& b) { return a.offcut && !b.offcut; });
    all.push_back(std::move(s));
  }
  // Keep order: lengths the job's pieces fit before those they do not; of the first, standard
  // lengths before offcuts; longest first.
  auto useless = [&](const StockLength& s) { return s.length < wants.shortest_piece; };
  std::vector<StockLength*> order;
  for (StockLength& s : all) order.push_back(&s);
  std::stable_sort(order.begin(), order.end(), [&](const StockLength* a, const StockLength* b) {
    if (useless(*a) != useless(*b)) return !useless(*a);
    if (!useless(*a) && a->offcut != b->offcut) return !a->offcut;
    return a->length > b->length;
  });
  std::vector<bool> kept(all.size(), false);
  for (std::size_t i = 0; i < order.size() && static_cast<int>(i) < wants.cells; ++i)
    kept[static_cast<std::size_t>(order[i] - all.data())] = true;
  for (std::size_t i = 0; i < all.size(); ++i)
    (kept[i] ? fill.lengths : fill.left_out).push_back(std::move(all[i]));
  return fill;
}

int32_t ShortestPiece(const run::Grid& grid) {
  int32_t shortest = 0;
  for (int r = 1; r < grid.RowCount(); ++r) {
    for (int c = 1; c < grid.ColCount(); ++c) {
      const base::CellValue v = base::ParseCellText(grid.Cell(c, r));
      if (v.length > 1 && (shortest == 0 || v.length < shortest)) shortest = v.length;
    }
  }
  return shortest;
}

void WriteStockCells(run::Grid& grid, const StockFill& fill) {
  for (int r = 1; r < grid.RowCount(); ++r)
    for (int c = 1; c < grid.ColCount(); ++c) grid.SetCell(c, r, "");
  const int columns = std::max(grid.ColCount() - 1, 1);
  int k = 0;
  for (const StockLength& l : fill.lengths) {
    grid.SetCell(k % columns + 1, k / columns + 1,
                 Format("%5d.%3lld", l.length, static_cast<long long>(l.count)));
    ++k;
  }
}

std::string ChangeSummary(const Change& change, const StockFill& fill) {
  std::string s = fill.section;
  if (!fill.grade.empty()) s += " " + fill.grade;
  s += "\n取り出す素材:";
  if (change.takes.empty()) s += " なし";
  for (const Take& t : change.takes) {
    for (const StockLength& l : fill.lengths) {
      for (const Item& i : l.items) {
        if (i.id != t.item) continue;
        s += Format("\n  %d mm × %lld 本（%s", l.length, static_cast<long long>(t.count),
                    i.offcut ? "端材" : "定尺");
        s += "、置場 " + (i.location.empty() ? std::string("－") : i.location);
        s += "、ロット " + (i.lot.empty() ? std::string("－") : i.lot) + "）";
      }
    }
  }
  s += "\n加える端材:";
  if (change.adds.empty()) s += " なし";
  for (const NewItem& n : change.adds) {
    s += Format(" %d×%lld", n.length, static_cast<long long>(n.count));
    if (!n.lot.empty()) s += "（ロット " + n.lot + "）";
  }
  return s;
}

std::string LeftOutMessage(const StockFill& fill, int cells) {
  if (fill.left_out.empty()) return {};
  constexpr std::size_t kNamed = 20;
  std::string named;
  for (std::size_t i = fill.left_out.size(); i-- > 0;) {
    if (fill.left_out.size() - 1 - i == kNamed) {
      named += Format(" ほか %zu 種類", i + 1);
      break;
    }
    const StockLength& s = fill.left_out[i];
    named +=
        Format("%s%d×%lld", named.empty() ? "" : "、", s.length, static_cast<long long>(s.count));
  }
  return Format(
      "在庫の長さが %zu 種類あり、素材リストの %d 枠に入りきらないため、"
      "切断材の取れない長さ、次に短い端材から %zu 種類を除きました: %s",
      fill.lengths.size() + fill.left_out.size(), cells, fill.left_out.size(), named.c_str());
}

bool CommitChange(const optimiser::OptimiserRecords& r, const StockFill& fill, int32_t keep,
                  const std::string& job, const std::string& date, Change& change,
                  std::string& message) {
  change = Change{};
  change.reason = "commit";
  change.job = job;
  // Per stock entry of the plan, the bars behind it in the order they are cut: measured entries
  // from the length's offcuts, the others from its standard bars.
  struct Source {
    const Item* item;
    long long bars;
  };
  std::vector<std::vector<Source>> sources(static_cast<std::size_t>(r.stock.count) + 1);
  std::map<int64_t, long long> taken;  // per item
  for (int k = 1; k <= r.stock.count; ++k) {
    const optimiser::LengthEntry& e = r.stock.entries[k];
    long long bars = 0;
    for (int p = 1; p <= r.best.pattern_count; ++p)
      if (r.best.patterns[p].stock_index == k) bars += r.best.patterns[p].repeat_count;
    if (bars == 0) continue;
    const auto found = std::find_if(fill.lengths.begin(), fill.lengths.end(),
                                    [&](const StockLength& s) { return s.length == e.length; });
    if (found == fill.lengths.end()) {
      message = Format("計画の素材 %d mm は在庫にありません。", e.length);
      return false;
    }
    for (const Item& item : found->items) {
      if (bars == 0) break;
      if (item.offcut != e.measured) continue;
      const long long take = std::min<long long>(bars, item.count - taken[item.id]);
      if (take <= 0) continue;
      taken[item.id] += take;
      sources[static_cast<std::size_t>(k)].push_back({&item, take});
      bars -= take;
    }
    if (bars > 0) {
      message = Format("計画の素材 %d mm%s が在庫より %lld 本多く使われています。", e.length,
                       e.measured ? "（端材）" : "", bars);
      return false;
    }
  }
  for (const StockLength& l : fill.lengths)
    for (const Item& item : l.items)
      if (const auto t = taken.find(item.id); t != taken.end())
        change.takes.push_back({item.id, t->second, item.count});
  // Each pattern's remnants, by the bars they are cut from: a remnant keeps its bar's lot.
  const optimiser::CuttingPlan& plan = r.best;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const optimiser::BarPattern& b = plan.patterns[p];
    std::vector<Source>& from = sources[static_cast<std::size_t>(b.stock_index)];
    const auto length = static_cast<int32_t>(b.remnant);
    const bool kept = length >= std::max(keep, kMinLength) && length <= kMaxLength;
    for (long long bars = b.repeat_count; bars > 0 && !from.empty();) {
      Source& s = from.front();
      const long long n = std::min(bars, s.bars);
      if (kept) {
        NewItem add;
        add.section = fill.section;
        add.grade = s.item->grade;
        add.length = length;
        add.count = n;
        add.offcut = true;
        add.lot = s.item->lot;
        add.source = Format("残材 %s パターン%d %s", job.c_str(), p, date.c_str());
        const auto same =
            std::find_if(change.adds.begin(), change.adds.end(), [&](const NewItem& a) {
              return a.length == add.length && a.lot == add.lot && a.grade == add.grade &&
                     a.source == add.source;
            });
        if (same != change.adds.end())
          same->count += n;
        else
          change.adds.push_back(add);
      }
      bars -= n;
      s.bars -= n;
      if (s.bars == 0) from.erase(from.begin());
    }
  }
  return true;
}

}  // namespace zarvel::yard
