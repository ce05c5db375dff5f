#include "report/report.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include "base/cp932.h"
#include "base/format.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "drawing/primitives.h"
#include "optimiser/remnant_policy.h"
#include "report/blocks.h"
#include "report/cut_bars.h"
#include "report/diagram.h"
#include "report/labels.h"
#include "report/templates.h"
#include "text/fields.h"
#include "text/fitted_text.h"
#include "text/output.h"
#include "text/report_lines.h"

namespace zarvel::report {
namespace {

constexpr double kCharHeight = 3.6;  // report text height, also the table line step
constexpr double kColumnUnit = kCharHeight * 0.5;
constexpr double kRowPitch = 5.76;  // extra rows of pieces inside a row group
constexpr double kTableLeft = 8.2;
constexpr double kHeadingGap = 2.52;
constexpr double kTopStart = 2.0;
constexpr double kPageFoot = 270;
constexpr int kPiecesPerRowA = 5;
constexpr int kPiecesPerRowB = 10;
constexpr int kCellsPerRow = 6;
constexpr int kSummaryCutCells = 17 * kCellsPerRow;  // the cut grid's cells on the summary
constexpr int kPasses = 4;  // one more than the sections that can move to a page of their own
constexpr double kDiagramHeaderRoom = 20;  // member line, title and ruler of the diagrams
constexpr int kLastSlot = drawing::kPageSlots - 1;

using optimiser::BarPattern;
using optimiser::OptimiserRecords;

class Builder {
 public:
  Builder(const OptimiserRecords& r, const ReportOptions& o) : r_(r), o_(o) {}

  ReportResult Build();

 private:
  void HeadingStyle() { text::SetTextStyle(kCharHeight, 0, 0, 1); }
  void ValueStyle() {
    if (o_.keys != nullptr && o_.keys->IsKeyDown(optimiser::kKeyShift)) return;
    text::SetTextStyle(kCharHeight, kCharHeight * 0.58, 0, 0);
  }
  bool Fits(double y, double height) const { return y + height < kPageFoot; }
  void NewReportPage();
  double MemberLine(double y);
  double Summary();
  double PolicyLines(double y);
  // `head` and the items after it, two blanks apart, wrapped under the head; what would run off
  // the page is counted. Returns the y below the last line.
  double ListLines(double y, std::string head, const std::vector<std::string>& items);
  // The offcuts labelled: with the remnant policy, those it kept.
  int LabelKeep() const {
    return r_.conditions.policy.offcuts_first ? r_.conditions.policy.keep : o_.keep;
  }
  double TableA(double x0, double y);
  double TableB(double x0, double y);
  // Before a table's header: a new page when the header and the first row group do not fit
  // below what is already on this one.
  double StartTable(double y, int rows, bool& flag);
  double TableC(double y);
  double DiagramHeader(double y, bool continuation);
  double SawListHeader(bool continuation);
  // "No.N  素材 L mm × n　残材 r" at y, or "No.N  素材 L mm (続き)"; returns the y below it.
  double SawPatternHead(double y, int pattern, std::size_t bars, bool continued);
  // How many of `wanted` lines of rows fit from y down.
  int SawLinesThatFit(double y, int wanted) const;
  // The 符号 cell of cut k on the pattern's bars, as lines.
  std::vector<std::string> SawMarks(const std::vector<const CutBar*>& bars, std::size_t k) const;
  // Lines [from, to) of cut k's row, the first at y.
  void DrawSawRow(double y, std::size_t k, const std::vector<const CutBar*>& bars,
                  const std::vector<std::string>& marks, int from, int to);
  void SawList();
  // A page on the whole sheet, without a page number; false when the page table is full.
  bool NewSheetPage();
  void Labels();
  // The table header on a fresh start or a new page: member line, top rule, header line.
  double TableHeader(double y, bool continuation, bool& flag, const char8_t* top,
                     const char8_t* head, const char8_t* end);
  void Line(double y, const char8_t* line) { text::PutReportLine(kTableLeft, y, Text(line)); }
  void Centred(double x, double y, const std::string& s) { text::PutTextCentred(x, y, s); }
  // The pieces of one bar of table B, ten to a row, in cut-list order; returns y of the last row.
  double BarPieces(double x0, double y, const BarPattern& b, int64_t rows);
  std::string RemnantText(const BarPattern& b) const {
    const auto rem = static_cast<long long>(std::trunc(b.remnant));
    return rem == 0 ? base::Lit("－") : base::Format("%lld", rem);
  }
  int StockLength(const BarPattern& b) const { return r_.stock.entries[b.stock_index].length; }
  std::string Times(long long a, long long b) const {
    return base::Format("%lld", a) + base::Lit("×") + base::Format("%lld", b);
  }

  const OptimiserRecords& r_;
  const ReportOptions& o_;
  bool break_a_ = false;
  bool break_b_ = false;
  bool break_c_ = false;
  bool full_ = false;  // the page table has no room for another page
};

void Builder::NewReportPage() {
  if (drawing::Recording()) {
    if (drawing::CurrentPageIndex() >= kLastSlot) {
      // No slot left: stop here rather than append to the last page.
      full_ = true;
      drawing::SetRecording(false);
    } else {
      const int index = drawing::NewPage();
      if (index > 0) {
        const text::StFont saved = text::TextStyle();
        text::SetTextStyle(3.4, 2.4, 0, 1);
        const drawing::DrawingState& d = drawing::Drawing();
        text::PutTextAbove((d.right - d.left) / 2, d.bottom - d.top,
                           base::Format("%d", index - drawing::kFirstReportSlot));
        text::RestoreTextStyle(saved);
      }
    }
  }
  HeadingStyle();
}

double Builder::MemberLine(double y) {
  HeadingStyle();
  y = report::ExecPrintBlock(y, Template(kMemberLine), 0, 0);
  ValueStyle();
  text::FillTextLeft(-1, r_.conditions.member_name, false);
  text::FmtPrint(-1, r_.conditions.unit_weight, false);
  HeadingStyle();
  return y;
}

double Builder::Summary() {
  const optimiser::Conditions& c = r_.conditions;
  const optimiser::CuttingPlan& plan = r_.best;
  HeadingStyle();
  double y = report::ExecPrintBlock(kTopStart, Template(kProjectLine), 0, 0);
  ValueStyle();
  text::FillTextLeft(-1, c.project_name, false);
  text::FmtPrint(-1, c.year + 2000.0, false);
  text::FmtPrint(-1, c.month, false);
  text::FmtPrint(-1, c.day, false);

  y = MemberLine(y);
  y += kHeadingGap;

  HeadingStyle();
  y = report::ExecPrintBlock(y, Template(kStockTitle), 0, 0);
  ValueStyle();
  text::FmtPrint(-1, c.margin, false);
  text::FmtPrint(-1, c.kerf, false);

  const std::vector<optimiser::StockBarsUsed> used = optimiser::StockUsed(r_);
  const int stock_rows = (static_cast<int>(used.size()) - 1) / kCellsPerRow + 1;
  // The grid is laid out in the heading style's columns, like the cut grid below; in the value
  // style's wider columns it would run past the right edge of the page.
  HeadingStyle();
  y = report::ExecPrintBlock(y, Template(kStockGrid), 1, stock_rows);
  ValueStyle();
  for (auto [length, bars] : used) text::FillTextCentred(-1, Times(length, bars), false);

  HeadingStyle();
  y = report::ExecPrintBlock(y, Template(kCutTitle), 0, 0);
  // Several jobs planned as one can list more lengths than the page holds: as many cells as a
  // job's grid, the last one counting the rest (the pattern tables show every length).
  const bool cut_short = r_.cut.count > kSummaryCutCells;
  const int cut_shown = cut_short ? kSummaryCutCells - 1 : r_.cut.count;
  const int cut_rows = (std::min(r_.cut.count, kSummaryCutCells) - 1) / kCellsPerRow + 1;
  y = report::ExecPrintBlock(y, Template(kCutGrid), 1, cut_rows);
  ValueStyle();
  for (int j = 1; j <= cut_shown; ++j)
    text::FillTextCentred(-1, Times(r_.cut.entries[j].length, r_.cut.entries[j].quantity), false);
  if (cut_short)
    text::FillTextCentred(
        -1, base::Format(base::Lit("ほか%d種類").c_str(), r_.cut.count - cut_shown), false);

  HeadingStyle();
  if (c.unit_weight != 0) report::SetTemplateFlag('X');
  y = report::ExecPrintBlock(y, Template(kTotals), 0, 0);
  ValueStyle();
  text::FmtPrint(-1, plan.stock_length / 1000, false);
  text::FmtPrint(-1, plan.required_length / 1000, false);
  text::FmtPrint(-1, plan.remnant_length / 1000, false);
  text::FmtPrint(-1, plan.remnant_rate, false);
  if (c.unit_weight != 0) {
    const double t = c.unit_weight * 0.000001;
    text::FmtPrint(-1, plan.stock_length * t, false);
    text::FmtPrint(-1, plan.required_length * t, false);
    text::FmtPrint(-1, plan.loss_rate, false);
  }
  // Piece marks the plan gives to no piece are named, never dropped (only jobs with marks).
  const std::vector<optimiser::PieceMark> unplaced =
      r_.marks.empty() ? std::vector<optimiser::PieceMark>{} : ListCutBars(r_).unplaced;
  if (!unplaced.empty()) {
    std::vector<std::string> items;
    for (const optimiser::PieceMark& m : unplaced)
      items.push_back(m.mark + base::Format(" (%d", m.length) + base::Lit("×") +
                      base::Format("%d)", m.count));
    y = ListLines(y + kHeadingGap, base::Lit("切断材のない符号："), items);
  }
  y = PolicyLines(y);
  // Several jobs planned as one: their member names, after everything a job's page shows.
  if (!o_.jobs.empty())
    y = ListLines(y + kHeadingGap,
                  base::Format(base::Lit("まとめた仕事（%zu 件）：").c_str(), o_.jobs.size()),
                  o_.jobs);
  return y;
}

double Builder::ListLines(double y, std::string line, const std::vector<std::string>& items) {
  HeadingStyle();
  bool first = true;
  for (std::size_t k = 0; k < items.size(); ++k) {
    const std::string& item = items[k];
    if (!first && line.size() + item.size() + 2 > 88) {
      if (!Fits(y, 3 * (kCharHeight + 1))) {  // the rest would run off the page: counted
        line += base::Format("  ... %zu", items.size() - k) + base::Lit(" 件");
        break;
      }
      text::PutTextAt(kColumnUnit * 6 + 1, y, line);
      y += kCharHeight + 1;
      line = base::Lit("　　");
      first = true;
    }
    line += (first ? "" : "  ") + item;
    first = false;
  }
  text::PutTextAt(kColumnUnit * 6 + 1, y, line);
  return y + kCharHeight + 1;
}

// With the remnant policy, what it weighed: the mill stock, the stock in hand, the offcuts kept
// and the scrap, after the page's own lines.
double Builder::PolicyLines(double y) {
  const optimiser::RemnantPolicy& policy = r_.conditions.policy;
  if (!policy.offcuts_first || !r_.exact_run) return y;
  const optimiser::PolicyFigures f = optimiser::PolicyOf(r_);
  const double x = kColumnUnit * 6 + 1;
  y += kHeadingGap;
  HeadingStyle();
  auto put = [&](const std::string& line) {
    text::PutTextAt(x, y, line);
    y += kCharHeight + 1;
  };
  put(base::Lit("端材優先：") +
      base::Format(base::Lit("%d mm 以上の残材は端材として残します").c_str(), policy.keep));
  put(base::Format(base::Lit("　定尺材（購入）　%.3f m").c_str(), f.mill / 1000));
  put(base::Format(base::Lit("　手持ちの素材　　%.3f m").c_str(), f.in_hand / 1000));
  std::string line = base::Lit("　残す端材　　　　");
  if (f.kept.empty()) line += base::Lit("なし");
  for (std::size_t k = 0; k < f.kept.size(); ++k) {
    const std::string item = Times(f.kept[k].length, f.kept[k].bars);
    if (k > 0 && line.size() + item.size() + 2 > 88) {
      if (!Fits(y, 3 * (kCharHeight + 1))) {  // the rest would run off the page: counted
        line += base::Format("  ... %zu", f.kept.size() - k) + base::Lit(" 件");
        break;
      }
      put(line);
      line = base::Lit("　　　　　　　　　");
    } else if (k > 0) {
      line += "  ";
    }
    line += item;
  }
  put(line);
  put(base::Format(base::Lit("　くず　　　　　　%.3f m（%d mm 未満の残材）").c_str(),
                   f.scrap / 1000, policy.keep));
  return y;
}

double Builder::StartTable(double y, int rows, bool& flag) {
  // Member line (its template's advance), top rule and header line, then the row group.
  constexpr double kHeader = kRowPitch + 2 * kCharHeight;
  if (y <= kTopStart || Fits(y, kHeader + 3 * kCharHeight + (rows + 1) * kRowPitch)) return y;
  flag = true;  // the next pass starts the table on a page of its own
  NewReportPage();
  return kTopStart;
}

double Builder::TableHeader(double y, bool continuation, bool& flag, const char8_t* top,
                            const char8_t* head, const char8_t* end) {
  HeadingStyle();
  if (continuation) {
    flag = true;
    y += kCharHeight;
    Line(y, end);
    NewReportPage();
    y = kTopStart;
  }
  y = MemberLine(y);
  y += kCharHeight;
  Line(y, top);
  y += kCharHeight;
  Line(y, head);
  ValueStyle();
  text::FillNamedValue("A", r_.best.remnant_rate, false);
  return y;
}

double Builder::TableA(double x0, double y) {
  if (break_a_) {
    NewReportPage();
    y = kTopStart;
  }
  const optimiser::CuttingPlan& plan = r_.best;
  for (int p = 1; p <= plan.pattern_count && !full_; ++p) {
    const BarPattern& b = plan.patterns[p];
    std::vector<std::pair<int, int>> pairs;
    for (int j = 1; j <= r_.cut.count; ++j)
      if (b.piece_counts[j] != 0) pairs.emplace_back(r_.cut.entries[j].length, b.piece_counts[j]);
    const int rows = (static_cast<int>(pairs.size()) - 1) / kPiecesPerRowA + 1;
    if (p == 1) y = StartTable(y, rows, break_a_);
    if (p == 1 || !Fits(y, 3 * kCharHeight + (rows + 1) * kRowPitch))
      y = TableHeader(y, p > 1, break_a_, kTableATop, kTableAHead, kTableAEnd);
    if (full_) break;
    HeadingStyle();
    y += kCharHeight;
    Line(y, kTableASep);
    y += kCharHeight;
    ValueStyle();
    const double d = (rows - 1) * kRowPitch * 0.5;
    Centred(x0 * 11 + 1, y - 0.5 + d, Times(StockLength(b), b.repeat_count));
    Centred(x0 * 89 + 1, y - 0.5 + d, RemnantText(b));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      const int c = static_cast<int>(i) % kPiecesPerRowA;
      if (i > 0 && c == 0) y += kRowPitch;
      Centred((13 * c + 26) * x0 + 1, y - 0.5, Times(pairs[i].first, pairs[i].second));
    }
  }
  HeadingStyle();
  y += kCharHeight;
  Line(y, kTableAEnd);
  return y;
}

double Builder::TableB(double x0, double y) {
  if (break_b_) {
    NewReportPage();
    y = kTopStart;
  }
  const optimiser::CuttingPlan& plan = r_.best;
  bool first = true;
  for (int p = 1; p <= plan.pattern_count && !full_; ++p) {
    const BarPattern& b = plan.patterns[p];
    int64_t piece_count = 0;
    for (int j = 1; j <= r_.cut.count; ++j) piece_count += b.piece_counts[j];
    const int64_t rows = (piece_count - 1) / kPiecesPerRowB + 1;
    // Every bar's row group is tested for room, so that a pattern cut many times continues
    // on the next page instead of running past the foot of this one.
    for (int bar = 0; bar < b.repeat_count && !full_; ++bar) {
      if (first) y = StartTable(y, rows, break_b_);
      if (first || !Fits(y, 3 * kCharHeight + (rows + 1) * kRowPitch))
        y = TableHeader(y, !first, break_b_, kTableBTop, kTableBHead, kTableBEnd);
      first = false;
      if (full_) break;
      HeadingStyle();
      y += kCharHeight;
      Line(y, kTableBSep);
      y += kCharHeight;
      ValueStyle();
      const double d = (rows - 1) * kRowPitch * 0.5;
      Centred(x0 * 9 + 1, y - 0.5 + d, base::Format("%d", StockLength(b)));
      Centred(x0 * 89 + 1, y - 0.5 + d, RemnantText(b));
      y = BarPieces(x0, y, b, rows);
    }
  }
  HeadingStyle();
  y += kCharHeight;
  Line(y, kTableBEnd);
  return y;
}

double Builder::BarPieces(double x0, double y, const BarPattern& b, int64_t rows) {
  // A bar may take thousands of pieces; rows below the foot of the sheet are never seen, so
  // they only move y on.
  int64_t i = 0, row = 0;
  for (int j = 1; j <= r_.cut.count; ++j) {
    for (int32_t n = 0; n < b.piece_counts[j]; ++n, ++i) {
      const int c = static_cast<int>(i % kPiecesPerRowB);
      if (i > 0 && c == 0) {
        y += kRowPitch;
        ++row;
      }
      if (y - 0.5 > kPageFoot) {
        for (; row < rows - 1; ++row) y += kRowPitch;
        return y;
      }
      Centred((7 * c + 15 + 2.5) * x0 + 1, y - 0.5, base::Format("%d", r_.cut.entries[j].length));
    }
  }
  return y;
}

double Builder::DiagramHeader(double y, bool continuation) {
  HeadingStyle();
  if (continuation) {
    break_c_ = true;
    NewReportPage();
    y = kTopStart;
  }
  y = MemberLine(y);
  y += kCharHeight + 1.5;
  HeadingStyle();
  // Under "部材名", like the titles of the summary.
  text::PutTextAt(kColumnUnit * 6 + 1, y, Text(u8"≪切 断 図≫"));
  text::PutTextAt(kColumnUnit * 20 + 1, y,
                  base::Lit("長さ (mm)　切り代 ") + base::Format("%d", r_.conditions.kerf) +
                      base::Lit("　素材の余裕 ") + base::Format("%d", r_.conditions.margin));
  return y + kCharHeight + 1;
}

double Builder::TableC(double y) {
  if (break_c_) {
    NewReportPage();
    y = kTopStart;
  }
  const optimiser::CuttingPlan& plan = r_.best;
  std::vector<BarLayout> bars;
  // Marks are listed only for a job that has them: other jobs' pages stay as they were.
  const CutBars cut = r_.marks.empty() ? CutBars{} : ListCutBars(r_);
  for (int p = 1; p <= plan.pattern_count; ++p)
    bars.push_back(LayOutBar(r_, plan.patterns[p], r_.marks.empty() ? nullptr : &cut, p));
  const std::size_t n = bars.size();
  std::size_t p = 0;
  bool first = true;
  while (p < n && !full_) {
    if (first) {
      // The section stays where the previous block ended when its header and first diagram
      // fit there; otherwise it continues on the next page.
      const double room =
          kDiagramHeaderRoom + DiagramHeight(bars[p], DiagramScale(bars[p].Extent()));
      y = DiagramHeader(y, y > kTopStart && !Fits(y, room + kCharHeight));
    } else {
      y = DiagramHeader(y, true);
    }
    first = false;
    if (full_) break;
    // The page's diagrams share one scale, set by the longest of them, so the diagrams that
    // fit are found before any is drawn.
    const double body = y + kDiagramRulerHeight;
    double longest = bars[p].Extent();
    double height = DiagramHeight(bars[p], DiagramScale(longest));
    std::size_t end = p + 1;
    for (; end < n; ++end) {
      const double l = std::max(longest, bars[end].Extent());
      double h = 0;
      if (l == longest) {
        h = height + DiagramHeight(bars[end], DiagramScale(l));
      } else {
        for (std::size_t k = p; k <= end; ++k) h += DiagramHeight(bars[k], DiagramScale(l));
      }
      if (!Fits(body, h + kCharHeight)) break;
      longest = l;
      height = h;
    }
    const double scale = DiagramScale(longest);
    y = DrawDiagramRuler(y, longest, scale);
    for (std::size_t k = p; k < end; ++k)
      y = DrawDiagram(bars[k], static_cast<int>(k) + 1, y, scale);
    p = end;
  }
  HeadingStyle();
  return y + kCharHeight;
}

// 切断指示書: per pattern in cutting order, its stock and its pieces in the order the saw cuts
// them, each with its marks and a box per bar for the operator's tick.
constexpr double kSawRow = 6;  // one line of boxes, and of the marks beside them
constexpr double kSawBox = 4;
constexpr double kSawBoxPitch = 5.5;
constexpr double kSawBoxLeft = 104;
constexpr int kSawBoxesPerLine = 13;
constexpr double kSawMarksLeft = kTableLeft + 28;
constexpr double kSawMarksRoom = kSawBoxLeft - kTableLeft - 30;

double Builder::SawListHeader(bool continuation) {
  NewReportPage();
  const optimiser::Conditions& c = r_.conditions;
  HeadingStyle();
  double y = kTopStart;
  text::PutTextAt(kTableLeft, y,
                  Text(u8"≪切断指示書≫") + (continuation ? Text(u8"（続き）") : std::string()));
  FitTextLine(kColumnUnit * 30 + 1, y, kCharHeight, 180 - kColumnUnit * 30 - 1,
              c.project_name + base::Lit("　") + base::Format("%d", c.year + 2000) +
                  base::Lit("年") + base::Format("%d", c.month) + base::Lit("月") +
                  base::Format("%d", c.day) + base::Lit("日"),
              1);
  y += kCharHeight + 1.5;
  FitTextLine(kTableLeft, y, kCharHeight, 100, base::Lit("部材名　") + c.member_name, 1);
  text::SetTextStyle(kCharHeight, 0, 0, 1);
  text::PutTextAt(kColumnUnit * 60 + 1, y,
                  base::Lit("切り代 ") + base::Format("%d", c.kerf) + base::Lit(" mm"));
  y += kCharHeight + 1.5;
  text::PutTextAt(kTableLeft, y, Text(u8"順  長さ (mm)  符号"));
  text::PutTextAt(kSawBoxLeft, y, Text(u8"切断済（１本ごとに印）"));
  drawing::SetLineColour(0);
  drawing::SetLineWeight(0);
  y += kCharHeight + 1;
  drawing::DrawSheetLine(kTableLeft, y, 178, y, 0, 1);
  return y + 1.5;
}

double Builder::SawPatternHead(double y, int p, std::size_t bars, bool continued) {
  const BarPattern& b = r_.best.patterns[p];
  text::SetTextStyle(kCharHeight, 0, 0, 0x11);
  std::string head =
      base::Format("No.%d  ", p) + base::Lit("素材 ") + base::Format("%d mm", StockLength(b));
  if (continued) {
    head += base::Lit(" (続き)");
  } else {
    if (bars > 1) head += base::Lit(" × ") + base::Format("%zu", bars);
    // Pieces running into the stock's margin say by how much, as the diagram does.
    const std::string margin = MarginUsedText(LayOutBar(r_, b));
    head += margin.empty() ? base::Lit("　残材 ") + RemnantText(b) : base::Lit("　") + margin;
  }
  text::PutTextAt(kTableLeft, y, head);
  return y + kCharHeight + 2;
}

int Builder::SawLinesThatFit(double y, int wanted) const {
  int n = 0;
  while (n < wanted && Fits(y, (n + 1) * kSawRow)) ++n;
  return n;
}

void Builder::SawList() {
  const CutBars cut = ListCutBars(r_);
  double y = SawListHeader(false);
  // The lines of a row a page holds below its heading and a pattern's head.
  const int page_lines = std::max(SawLinesThatFit(y + kCharHeight + 2, 1 << 20), 1);
  std::size_t first_bar = 0;  // the pattern's first bar in `cut`
  const optimiser::CuttingPlan& plan = r_.best;
  for (int p = 1; p <= plan.pattern_count && !full_; ++p) {
    std::vector<const CutBar*> bars;
    for (; first_bar < cut.bars.size() && cut.bars[first_bar].pattern == p; ++first_bar)
      bars.push_back(&cut.bars[first_bar]);
    if (bars.empty()) break;  // the listing stopped (a plan of too many pieces)
    const int box_lines = (static_cast<int>(bars.size()) - 1) / kSawBoxesPerLine + 1;
    std::vector<std::vector<std::string>> marks;  // per cut, the lines of its 符号 cell
    for (std::size_t k = 0; k < bars[0]->pieces.size(); ++k) marks.push_back(SawMarks(bars, k));
    auto lines_of = [&](std::size_t k) {
      return std::max(box_lines, static_cast<int>(marks[k].size()));
    };
    // The head never stands alone: it comes with its first row, or as much of it as a page holds.
    const int with_head = marks.empty() ? 0 : std::min(lines_of(0), page_lines);
    if (SawLinesThatFit(y + kCharHeight + 2, with_head) < with_head) y = SawListHeader(true);
    if (full_) break;
    y = SawPatternHead(y, p, bars.size(), false);
    for (std::size_t k = 0; k < marks.size() && !full_; ++k) {
      const int lines = lines_of(k);
      int line = 0;
      while (line < lines && !full_) {
        int here = SawLinesThatFit(y, lines - line);
        // A row that fits on a page is never split; a longer one fills the page first.
        if (here < lines - line && lines - line <= page_lines) here = 0;
        if (here == 0) {
          y = SawListHeader(true);
          if (full_) break;
          y = SawPatternHead(y, p, bars.size(), true);
          here = std::max(SawLinesThatFit(y, lines - line), 1);
        }
        DrawSawRow(y, k, bars, marks[k], line, line + here);
        y += here * kSawRow;
        line += here;
      }
    }
    y += 1.5;
  }
  HeadingStyle();
}

std::vector<std::string> Builder::SawMarks(const std::vector<const CutBar*>& bars,
                                           std::size_t k) const {
  // The marks of this cut on the pattern's bars, in bar order ("G1 ×2, G2"); a bar without
  // one among bars with one is "－".
  std::vector<std::pair<std::string, int>> marks;
  const bool marked = std::any_of(bars.begin(), bars.end(), [&](const CutBar* bar) {
    return k < bar->pieces.size() && !bar->pieces[k].mark.empty();
  });
  for (const CutBar* bar : bars) {
    if (!marked) break;
    std::string m = k < bar->pieces.size() ? bar->pieces[k].mark : std::string();
    if (m.empty()) m = base::Lit("－");
    if (!marks.empty() && marks.back().first == m) {
      ++marks.back().second;
    } else {
      marks.emplace_back(m, 1);
    }
  }
  std::vector<std::string> runs;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const auto& [m, n] = marks[i];
    runs.push_back(m + (n > 1 ? base::Lit(" ×") + base::Format("%d", n) : std::string()) +
                   (i + 1 < marks.size() ? ", " : ""));
  }
  // Each mark whole, over as many lines as they need.
  return text::WrapRuns(runs, kSawMarksRoom, kCharHeight * 0.5);
}

void Builder::DrawSawRow(double y, std::size_t k, const std::vector<const CutBar*>& bars,
                         const std::vector<std::string>& marks, int from, int to) {
  // The cut's number and length open the row, and its part on a further page.
  text::SetTextStyle(kCharHeight, 0, 0, 1);
  text::PutTextAt(kTableLeft + 1, y + 0.6, base::Format("%zu", k + 1));
  text::SetTextStyle(kCharHeight, kCharHeight * 0.58, 0, 0x10);
  text::PutTextAt(kTableLeft + 8, y + 0.6, base::Format("%6d", bars[0]->pieces[k].length));
  for (int i = from; i < to && i < static_cast<int>(marks.size()); ++i)
    FitTextLine(kSawMarksLeft, y + (i - from) * kSawRow + 0.6, kCharHeight, kSawMarksRoom,
                marks[static_cast<std::size_t>(i)], 0);
  drawing::SetLineColour(0);
  drawing::SetLineWeight(0);
  const std::size_t last = std::min(bars.size(), static_cast<std::size_t>(to) * kSawBoxesPerLine);
  for (std::size_t n = static_cast<std::size_t>(from) * kSawBoxesPerLine; n < last; ++n) {
    const double bx = kSawBoxLeft + static_cast<double>(n % kSawBoxesPerLine) * kSawBoxPitch;
    const double by =
        y + static_cast<double>(n / kSawBoxesPerLine - static_cast<std::size_t>(from)) * kSawRow;
    drawing::DrawSheetLine(bx, by, bx + kSawBox, by, 0, 1);
    drawing::LineToSheet(bx + kSawBox, by + kSawBox, 0, 1);
    drawing::LineToSheet(bx, by + kSawBox, 0, 1);
    drawing::LineToSheet(bx, by, 0, 1);
  }
}

bool Builder::NewSheetPage() {
  if (!drawing::Recording()) return false;
  if (drawing::CurrentPageIndex() >= kLastSlot) {
    full_ = true;
    drawing::SetRecording(false);
    return false;
  }
  drawing::NewPage();
  drawing::RecordSheetPlacement(static_cast<int32_t>(kA4Width * drawing::kRecordingDotsPerMm),
                                static_cast<int32_t>(kA4Height * drawing::kRecordingDotsPerMm));
  return true;
}

void Builder::Labels() {
  const LabelSheet& sheet = LabelSheetOf(o_.label_sheet);
  const auto per_sheet = static_cast<std::size_t>(sheet.per_sheet);
  // No more labels than the pages left can take; one more tells that some are missing.
  const std::size_t room =
      static_cast<std::size_t>(std::max(kLastSlot - drawing::CurrentPageIndex(), 0)) * per_sheet;
  const std::vector<Label> labels = ListLabels(r_, ListCutBars(r_), LabelKeep(), room + 1);
  for (std::size_t i = 0; i < labels.size() && !full_; ++i) {
    if (i % per_sheet == 0 && !NewSheetPage()) break;
    DrawLabel(labels[i], sheet, static_cast<int>(i % per_sheet));
  }
}

ReportResult Builder::Build() {
  const double x0 = kColumnUnit;
  for (int pass = 1; pass <= kPasses; ++pass) {
    const auto flags = std::tuple{break_a_, break_b_, break_c_};
    full_ = false;
    drawing::SelectPage(drawing::kFirstReportSlot);
    text::ResetHeadingNumbers();
    // Start from the heading style (recorded on the slot before page 1, which is never shown),
    // so that the pages never depend on the style a previous build left behind.
    HeadingStyle();
    NewReportPage();
    double y = Summary();
    if (o_.table_a) y = TableA(x0, y);
    if (o_.table_b) y = TableB(x0, y);
    if (o_.table_c) y = TableC(y);
    if (o_.saw_list && !full_) SawList();
    if (o_.labels && !full_) Labels();
    if (full_) {
      drawing::SetRecording(true);  // switched off when the page table ran out
      break;
    }
    if (!break_a_ && !break_b_ && !break_c_) break;
    // A pass that moved no further section to a page of its own repeats the one before.
    if (pass > 1 && flags == std::tuple{break_a_, break_b_, break_c_}) break;
  }
  ReportResult result;
  result.pages = drawing::LastPageIndex() - drawing::kFirstReportSlot;
  result.truncated = full_;
  return result;
}

}  // namespace

ReportResult BuildReport(const OptimiserRecords& records, const ReportOptions& options) {
  Builder builder(records, options);
  return builder.Build();
}

ReportResult RebuildPages(drawing::Canvas& surface, const OptimiserRecords& records,
                          const ReportOptions& options) {
  drawing::BeginPageDrawing(surface, 0, drawing::kRecordingWidth, drawing::kRecordingHeight);
  report::ClearTemplateFlag(0);
  drawing::ResetPages();
  drawing::SetRecording(true);
  const ReportResult result = BuildReport(records, options);
  drawing::SetRecording(false);
  return result;
}

}  // namespace zarvel::report
