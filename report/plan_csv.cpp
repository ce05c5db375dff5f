#include "report/plan_csv.h"

#include <cmath>

#include "base/cp932.h"
#include "base/format.h"
#include "base/lines.h"
#include "report/cut_bars.h"

namespace zarvel::report {
namespace {

std::string Fixed3(double v) {
  return base::Format("%.3f", v);
}

// A comma, a quote or a line break would split the field.
bool NeedsQuotes(std::string_view field) {
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

std::string CsvLine(const std::vector<std::string>& fields) {
  return base::JoinFields(fields, NeedsQuotes) + "\r\n";
}

std::string PlanCsv(const optimiser::OptimiserRecords& r) {
  const optimiser::CuttingPlan& plan = r.best;
  const int kinds = r.cut.count;
  // Columns: number, stock length, repeat, a (length, count per bar) pair for every piece
  // length of the cut list in its order, remnant. A pair is empty where the pattern has none.
  std::vector<std::string> header = {base::Lit("番号"), base::Lit("素材長"), base::Lit("本数")};
  for (int j = 1; j <= kinds; ++j) {
    header.push_back(base::Lit("切断長") + base::Format("%d", j));
    header.push_back(base::Lit("本数") + base::Format("%d", j));
  }
  header.push_back(base::Lit("残材長"));
  std::string csv = CsvLine(header);
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const optimiser::BarPattern& b = plan.patterns[p];
    std::vector<std::string> row = {base::Format("%d", p),
                                    base::Format("%d", r.stock.entries[b.stock_index].length),
                                    base::Format("%d", b.repeat_count)};
    for (int j = 1; j <= kinds; ++j) {
      const int n = b.piece_counts[j];
      row.push_back(n == 0 ? std::string() : base::Format("%d", r.cut.entries[j].length));
      row.push_back(n == 0 ? std::string() : base::Format("%d", n));
    }
    // The remnant as the tables print it: whole millimetres, truncated.
    row.push_back(base::Format("%lld", static_cast<long long>(std::trunc(b.remnant))));
    csv += CsvLine(row);
  }
  // The totals of the summary page, with its units and decimals.
  csv += "\r\n";
  auto total = [&](const char* label, double value) {
    csv += CsvLine({base::Lit(label), Fixed3(value)});
  };
  total("素材延長 (m)", plan.stock_length / 1000);
  total("部材延長 (m)", plan.required_length / 1000);
  total("残材長 (m)", plan.remnant_length / 1000);
  total("残材率 (%)", plan.remnant_rate);
  const double unit_weight = r.conditions.unit_weight;
  if (unit_weight != 0) {
    const double t = unit_weight * 0.000001;
    total("素材重量 (t)", plan.stock_length * t);
    total("部材重量 (t)", plan.required_length * t);
    total("ロス率 (%)", plan.loss_rate);
  }
  // A job with piece marks: every bar in cutting order with its pieces' lengths and marks.
  if (!r.marks.empty()) {
    const CutBars cut = ListCutBars(r);
    csv += "\r\n";
    csv += CsvLine({base::Lit("切断順"), base::Lit("パターン"), base::Lit("本目"),
                    base::Lit("素材長"), base::Lit("切断長"), base::Lit("符号")});
    int order = 0;
    for (const CutBar& bar : cut.bars) {
      std::vector<std::string> row = {base::Format("%d", ++order), base::Format("%d", bar.pattern),
                                      base::Format("%d", bar.bar),
                                      base::Format("%d", bar.stock_length)};
      for (const CutPiece& piece : bar.pieces) {
        row.push_back(base::Format("%d", piece.length));
        row.push_back(piece.mark);
      }
      csv += CsvLine(row);
    }
    for (const optimiser::PieceMark& m : cut.unplaced)
      csv += CsvLine({base::Lit("切断材のない符号"), m.mark, base::Format("%d", m.length),
                      base::Format("%d", m.count)});
  }
  return csv;
}

}  // namespace zarvel::report
