#include "session/plan_state.h"

#include "base/cp932.h"
#include "base/format.h"
#include "run/grid.h"
#include "run/grid_reader.h"

namespace zarvel::session {
namespace {

// The grid's cells as the run would read them, taken from a copy.
std::string ListText(run::Grid& grid, bool vertical) {
  run::MemoryGrid copy(grid.ColCount(), grid.RowCount());
  for (int r = 0; r < grid.RowCount(); ++r)
    for (int c = 0; c < grid.ColCount(); ++c) copy.SetCell(c, r, grid.Cell(c, r));
  optimiser::LengthList list;
  run::ReadGridIntoList(list, copy, vertical);
  std::string t;
  for (int k = 1; k <= list.count; ++k)
    t += base::Format("%d.%d ", list.entries[k].length, list.entries[k].quantity);
  return t;
}

}  // namespace

std::string JobContent(run::RunForm& form, const job::YardStockNote& yard_stock) {
  optimiser::Conditions c;
  run::ReadConditions(c, form);
  const bool vertical = form.VerticalOrder();
  std::string t = "stock " + ListText(form.StockGrid(), vertical) + "\ncut " +
                  ListText(form.CutGrid(), vertical) +
                  base::Format("\nmargin %d kerf %d priority %d precision %d\nmeasured", c.margin,
                               c.kerf, c.priority_length, form.PrecisionItem());
  for (const optimiser::MeasuredBars& m : form.MeasuredStock())
    t += base::Format(" %d*%lld", m.length, m.bars);
  t += "\nyard " + yard_stock.section + "\nmarks";
  for (const optimiser::PieceMark& m : form.Marks())
    t += base::Format(" %zu:", m.mark.size()) + m.mark + base::Format("=%d.%d", m.length, m.count);
  if (c.policy.offcuts_first) t += base::Format("\noffcuts-first %d", c.policy.keep);
  return t;
}

Freshness PlanFreshness(const PlanState& plan, run::RunForm& form,
                        const job::YardStockNote& yard_stock) {
  if (!plan.planned) return Freshness::kNone;
  return JobContent(form, yard_stock) == plan.basis.content ? Freshness::kCurrent
                                                            : Freshness::kOutdated;
}

std::string OutdatedPlanMessage(const char* action_utf8) {
  return base::Lit("[#×]切断計画は、そのあとに変更された仕事の内容より古いものです。\n") +
         base::Utf8ToCp932(
             base::Format("$もう一度「Zarvel実行」をしてから%sして下さい。", action_utf8));
}

}  // namespace zarvel::session
