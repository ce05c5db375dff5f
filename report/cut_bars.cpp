#include "report/cut_bars.h"

#include <algorithm>
#include <deque>
#include <map>

#include "base/format.h"

namespace zarvel::report {

CutBars ListCutBars(const optimiser::OptimiserRecords& r) {
  CutBars out;
  // Per length, the marks still to give, each with the pieces it has left.
  std::map<int32_t, std::deque<optimiser::PieceMark>> waiting;
  for (const optimiser::PieceMark& m : r.marks) waiting[m.length].push_back(m);
  const optimiser::CuttingPlan& plan = r.best;
  long long listed = 0;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const optimiser::BarPattern& b = plan.patterns[p];
    for (int k = 1; k <= b.repeat_count; ++k) {
      CutBar bar{p, k, r.stock.entries[b.stock_index].length, {}};
      for (int j = 1; j <= r.cut.count; ++j) {
        const int32_t length = r.cut.entries[j].length;
        for (int n = 0; n < b.piece_counts[j]; ++n) {
          std::string mark;
          const auto it = waiting.find(length);
          if (it != waiting.end() && !it->second.empty()) {
            mark = it->second.front().mark;
            if (--it->second.front().count == 0) it->second.pop_front();
          }
          if (listed < kMaxListedPieces) bar.pieces.push_back({length, std::move(mark)});
          ++listed;
        }
      }
      if (listed <= kMaxListedPieces) {
        out.bars.push_back(std::move(bar));
      } else {
        out.truncated = true;
      }
    }
  }
  for (const auto& [length, marks] : waiting)
    for (const optimiser::PieceMark& m : marks) out.unplaced.push_back(m);
  return out;
}

}  // namespace zarvel::report
