#include "report/diagram.h"

#include <algorithm>
#include <cmath>

#include "base/cp932.h"
#include "base/format.h"
#include "drawing/primitives.h"
#include "text/fitted_text.h"
#include "text/output.h"

namespace zarvel::report {
namespace {

// Text styles (height, width per byte column, in sheet mm).
constexpr double kValueHeight = 3.6;
constexpr double kValueWidth = 3.6 * 0.58;
constexpr double kSmallHeight = 2.6;
constexpr double kSmallWidth = 1.3;
constexpr double kTinyHeight = 2.2;
constexpr double kTinyWidth = 1.1;

constexpr double kTopGap = 3.0;       // above the bar: the pattern number
constexpr double kBelowBar = 2.2;     // under the bar: the marks of narrow pieces
constexpr double kNoteLine = 3.2;     // one line of the note on narrow pieces
constexpr double kBoxInset = 0.7;     // a piece's box inside the bar's outline
constexpr double kTextPadding = 0.6;  // room kept free either side of a length in its box
constexpr double kHatchStep = 1.4;    // between the remnant's hatch lines
constexpr int kNoteColumns = 96;      // bytes of note text on one line
constexpr drawing::Colour kBlack = 0;
constexpr drawing::Colour kHatchGrey = 0x909090;

void Style(double height, double width, double angle = 0) {
  text::SetTextStyle(height, width, angle, 0);
}

double TextWidth(const std::string& s) {
  return static_cast<double>(s.size()) * text::TextStyle().width;
}

// Left-aligned text with the top of its cells at y.
void TextAt(double x, double y, const std::string& s) {
  text::DrawTextRun(x, y, 0, 0, s);
}

void Box(double x0, double y0, double x1, double y1, int dash) {
  drawing::DrawSheetLine(x0, y0, x1, y0, dash, 1);
  drawing::LineToSheet(x1, y1, dash, 1);
  drawing::LineToSheet(x0, y1, dash, 1);
  drawing::LineToSheet(x0, y0, dash, 1);
}

// Lines at 45 degrees across the rectangle, `step` mm apart.
void Hatch(double x0, double y0, double x1, double y1) {
  if (x1 - x0 <= 0.05) return;
  const double d = kHatchStep * std::sqrt(2.0);
  // Fixed phase on the page, so neighbouring bars' hatching lines up.
  for (double c = std::ceil((x0 + y0) / d) * d; c < x1 + y1; c += d) {
    const double xa = std::max(x0, c - y1);
    const double xb = std::min(x1, c - y0);
    if (xb - xa > 0.05) drawing::DrawSheetLine(xa, c - xa, xb, c - xb, 0, 1);
  }
}

std::string Length(long long v) {
  return base::Format("%lld", v);
}

}  // namespace

double BarLayout::Extent() const {
  return std::max(static_cast<double>(stock_length), stock_length + overhang);
}

BarLayout LayOutBar(const optimiser::OptimiserRecords& r, const optimiser::BarPattern& b,
                    const CutBars* cut, int pattern) {
  BarLayout bar;
  bar.stock_length = r.stock.entries[b.stock_index].length;
  bar.repeat = b.repeat_count;
  bar.kerf = std::max(r.conditions.kerf, 0);
  bar.remnant = b.remnant;
  double at = 0;
  double end = 0;
  for (int j = 1; j <= r.cut.count; ++j) {
    for (int n = 0; n < b.piece_counts[j]; ++n) {
      const int length = r.cut.entries[j].length;
      bar.pieces.push_back({at, length, {}, {}});
      end = at + length;
      at = end + bar.kerf;
    }
  }
  bar.used = at;
  bar.overhang = std::max(end - bar.stock_length, 0.0);
  if (cut == nullptr) return bar;
  // The i-th box stands for the i-th piece of every bar the pattern is cut on. The bars are in
  // plan order, so the pattern's own are one run of them.
  const auto first = std::lower_bound(cut->bars.begin(), cut->bars.end(), pattern,
                                      [](const CutBar& c, int p) { return c.pattern < p; });
  const auto last = std::upper_bound(first, cut->bars.end(), pattern,
                                     [](int p, const CutBar& c) { return p < c.pattern; });
  std::vector<std::vector<std::pair<std::string, int>>> counts(bar.pieces.size());
  for (auto cb = first; cb != last; ++cb) {
    for (std::size_t i = 0; i < bar.pieces.size() && i < cb->pieces.size(); ++i) {
      const std::string& mark = cb->pieces[i].mark;
      if (mark.empty()) continue;
      auto it = std::find_if(counts[i].begin(), counts[i].end(),
                             [&](const auto& c) { return c.first == mark; });
      if (it == counts[i].end()) {
        counts[i].emplace_back(mark, 1);
      } else {
        ++it->second;
      }
    }
  }
  for (std::size_t i = 0; i < bar.pieces.size(); ++i) {
    BarPiece& p = bar.pieces[i];
    for (const auto& [mark, n] : counts[i]) {
      p.mark_items.push_back(mark + (n > 1 ? base::Lit("×") + Length(n) : std::string()));
      p.marks += (p.marks.empty() ? "" : ",") + p.mark_items.back();
    }
  }
  return bar;
}

std::string MarginUsedText(const BarLayout& bar) {
  return bar.overhang > 0 ? base::Lit("余裕+") + Length(std::llround(bar.overhang)) : std::string();
}

double DiagramScale(double longest_extent) {
  return kDiagramBarRoom / std::max(longest_extent, 1.0);
}

std::vector<PieceLabel> PieceLabels(const BarLayout& bar, double scale) {
  std::vector<PieceLabel> labels;
  const double room_along_height = kDiagramBarHeight - 2 * kBoxInset - 0.4;
  for (const BarPiece& p : bar.pieces) {
    const double w = p.length * scale - 2 * kTextPadding;
    const double n = static_cast<double>(Length(p.length).size());
    if (n * kValueWidth <= w) {
      labels.push_back(PieceLabel::kNormal);
    } else if (n * kSmallWidth <= w) {
      labels.push_back(PieceLabel::kSmall);
    } else if (kTinyHeight <= w + kTextPadding && n * kTinyWidth <= room_along_height) {
      labels.push_back(PieceLabel::kRotated);
    } else {
      labels.push_back(PieceLabel::kNote);
    }
  }
  return labels;
}

std::vector<std::string> NarrowPieceNote(const BarLayout& bar, double scale) {
  const std::vector<PieceLabel> labels = PieceLabels(bar, scale);
  // Runs of equal lengths, left to right: "25×3".
  std::vector<std::string> items;
  int last = -1;
  int run = 0;
  auto flush = [&] {
    if (run == 0) return;
    items.push_back(run == 1 ? Length(last) : Length(last) + base::Lit("×") + Length(run));
  };
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (labels[i] != PieceLabel::kNote) continue;
    const int length = bar.pieces[i].length;
    if (length == last) {
      ++run;
      continue;
    }
    flush();
    last = length;
    run = 1;
  }
  flush();
  std::vector<std::string> lines;
  if (items.empty()) return lines;
  std::string line = base::Lit("＊印の長さ（左から）：");
  bool first = true;
  for (const std::string& item : items) {
    const std::string piece = (first ? "" : ", ") + item;
    if (!first && line.size() + piece.size() > kNoteColumns) {
      lines.push_back(line + ",");
      line = base::Lit("　　") + item;
    } else {
      line += piece;
    }
    first = false;
  }
  lines.push_back(line);
  return lines;
}

// Marks fit under their box when their tiny text leaves a column free beside it (so that the
// marks of neighbouring boxes never run into one) and the box's length is not itself in the
// note (its "*" stands there).
bool MarksFitUnder(const BarPiece& p, PieceLabel label, double scale) {
  return label != PieceLabel::kNote &&
         text::TextAdvance(p.marks, kTinyWidth) + kTinyWidth <= p.length * scale;
}

std::vector<std::string> MarkNote(const BarLayout& bar, double scale) {
  const std::vector<PieceLabel> labels = PieceLabels(bar, scale);
  // "2: G1,G2 / 3: G3", breaking between marks so that each stays whole.
  std::vector<std::string> runs;
  for (std::size_t i = 0; i < bar.pieces.size(); ++i) {
    const BarPiece& p = bar.pieces[i];
    if (p.marks.empty() || MarksFitUnder(p, labels[i], scale)) continue;
    if (!runs.empty()) runs.back() += " / ";
    for (std::size_t m = 0; m < p.mark_items.size(); ++m)
      runs.push_back((m == 0 ? base::Format("%zu: ", i + 1) : std::string()) + p.mark_items[m] +
                     (m + 1 < p.mark_items.size() ? "," : ""));
  }
  if (runs.empty()) return {};
  runs.front() = base::Lit("符号（左から何番目）：") + runs.front();
  return text::WrapRuns(runs, kNoteColumns * kSmallWidth, kSmallWidth, base::Lit("　　"));
}

double DiagramHeight(const BarLayout& bar, double scale) {
  return kTopGap + kDiagramBarHeight + kBelowBar +
         static_cast<double>(NarrowPieceNote(bar, scale).size() + MarkNote(bar, scale).size()) *
             kNoteLine;
}

double DrawDiagramRuler(double y, double longest_extent, double scale) {
  Style(kSmallHeight, kSmallWidth);
  const std::string& heading = base::Lit("素材長 × 本数");
  TextAt(kDiagramLabelRight - TextWidth(heading), y + kDiagramRulerHeight - 1.2 - kSmallHeight,
         heading);
  // Ticks every 1, 2 or 5 × 10^n mm of bar, at least 9 mm of page apart.
  double step = 100;
  for (int i = 0; step * scale < 9 && i < 40; ++i) step *= (i % 3 == 1) ? 2.5 : 2;
  const double line_y = y + kDiagramRulerHeight - 1.2;
  drawing::SetLineWeight(0);
  drawing::DrawSheetLine(kDiagramBarLeft, line_y, kDiagramBarLeft + longest_extent * scale, line_y,
                         0, 1);
  Style(kTinyHeight, kTinyWidth);
  for (double at = 0; at <= longest_extent + 0.5; at += step) {
    const double x = kDiagramBarLeft + at * scale;
    drawing::DrawSheetLine(x, line_y - 1.2, x, line_y, 0, 1);
    const std::string label = Length(std::llround(at));
    TextAt(x - TextWidth(label) / 2, line_y - 1.4 - kTinyHeight, label);
  }
  Style(kValueHeight, kValueWidth);
  return y + kDiagramRulerHeight;
}

double DrawDiagram(const BarLayout& bar, int number, double y, double scale) {
  const double top = y + kTopGap;
  const double bottom = top + kDiagramBarHeight;
  const double mid = top + kDiagramBarHeight / 2;
  const double x0 = kDiagramBarLeft;
  const double bar_end = x0 + bar.stock_length * scale;
  auto X = [&](double mm) { return x0 + mm * scale; };

  // Pattern number above, "素材長 × 本数" beside the bar.
  Style(kTinyHeight, kTinyWidth);
  TextAt(1.8, top - kTinyHeight - 0.3, base::Format("No.%d", number));
  Style(kValueHeight, kValueWidth);
  const std::string label = Length(bar.stock_length) + base::Lit(" × ") + Length(bar.repeat);
  TextAt(kDiagramLabelRight - TextWidth(label), mid - kValueHeight / 2, label);

  // The remnant, hatched in grey, under the outlines.
  if (bar.used < bar.stock_length) {
    drawing::SetLineColour(kHatchGrey);
    drawing::SetLineWeight(0);
    Hatch(X(bar.used), top, bar_end, bottom);
    drawing::SetLineColour(kBlack);
  }

  // The bar; a piece running into the margin shows the margin dashed beyond the bar's end.
  drawing::SetLineWeight(1);
  Box(x0, top, bar_end, bottom, 0);
  if (bar.overhang > 0) {
    drawing::SetLineWeight(0);
    const double over_end = X(bar.stock_length + bar.overhang);
    drawing::DrawSheetLine(bar_end, top, over_end, top, 2, 1);
    drawing::LineToSheet(over_end, bottom, 2, 1);
    drawing::LineToSheet(bar_end, bottom, 2, 1);
  }

  // Pieces as boxes, kerfs as thin lines across the bar.
  const std::vector<PieceLabel> labels = PieceLabels(bar, scale);
  for (std::size_t i = 0; i < bar.pieces.size(); ++i) {
    const BarPiece& p = bar.pieces[i];
    const double a = X(p.start);
    const double b = X(p.start + p.length);
    drawing::SetLineWeight(0.5);
    Box(a, top + kBoxInset, b, bottom - kBoxInset, 0);
    const double cut = p.start + p.length + bar.kerf / 2.0;
    if (cut < bar.stock_length) {
      drawing::SetLineWeight(0);
      drawing::DrawSheetLine(X(cut), top, X(cut), bottom, 0, 1);
    }
    const std::string t = Length(p.length);
    const double cx = (a + b) / 2;
    switch (labels[i]) {
      case PieceLabel::kNormal:
        Style(kValueHeight, kValueWidth);
        TextAt(cx - TextWidth(t) / 2, mid - kValueHeight / 2, t);
        break;
      case PieceLabel::kSmall:
        Style(kSmallHeight, kSmallWidth);
        TextAt(cx - TextWidth(t) / 2, mid - kSmallHeight / 2, t);
        break;
      case PieceLabel::kRotated:
        // Reads upwards; the text's cells lie to the right of the anchor.
        Style(kTinyHeight, kTinyWidth, 90);
        TextAt(cx - kTinyHeight / 2, mid + t.size() * kTinyWidth / 2, t);
        break;
      case PieceLabel::kNote:
        Style(kTinyHeight, kTinyWidth);
        TextAt(cx - kTinyWidth / 2, bottom + 0.1, "*");
        break;
    }
    if (!p.marks.empty() && MarksFitUnder(p, labels[i], scale)) {
      const text::FittedText marks =
          text::FitText(p.marks, kTinyHeight, kTinyWidth, b - a, 0, text::PageFitLimits());
      text::PutFittedText(cx - text::TextAdvance(p.marks, marks.width) / 2, bottom + 0.1, marks, 0);
    }
  }

  // The remnant's length (or the margin used) right after the drawing.
  Style(kValueHeight, kValueWidth);
  const long long rem = static_cast<long long>(std::trunc(bar.remnant));
  const std::string tail = bar.overhang > 0 ? MarginUsedText(bar) : base::Lit("残 ") + Length(rem);
  TextAt(X(bar.Extent()) + 1.5, mid - kValueHeight / 2, tail);

  double below = bottom + kBelowBar;
  std::vector<std::string> note = NarrowPieceNote(bar, scale);
  for (std::string& line : MarkNote(bar, scale)) note.push_back(std::move(line));
  for (const std::string& line : note) {
    // Each character exactly as wide as its cell, so that the line reads as one text.
    text::PutFittedText(x0, below,
                        text::FitText(line, kSmallHeight, kSmallWidth, kNoteColumns * kSmallWidth,
                                      0, text::PageFitLimits()),
                        0);
    below += kNoteLine;
  }
  Style(kValueHeight, kValueWidth);
  return y + DiagramHeight(bar, scale);
}

}  // namespace zarvel::report
