#include "report/labels.h"

#include <algorithm>
#include <cmath>

#include "base/cp932.h"
#include "base/format.h"
#include "report/qr_code.h"
#include "text/fitted_text.h"
#include "text/output.h"

namespace zarvel::report {
namespace {

constexpr int kPlainFont = 0;    // ＭＳ ゴシック
constexpr int kBoldFont = 0x10;  // ＭＳ ゴシック, bold
// Smallest QR module worth printing (mm); below it the code's error correction is lowered.
constexpr double kMinModule = 0.4;
constexpr double kPrintStep = 25.4 / 300;  // mm

// A field of the QR line: TAB and line ends would split it.
std::string QrField(const std::string& cp932) {
  std::string s = base::Cp932ToUtf8(cp932);
  std::replace_if(
      s.begin(), s.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
  return s;
}

}  // namespace

void FitTextLine(double x, double y, double height, double room, const std::string& s, int font,
                 double room_height) {
  text::PutFittedText(
      x, y, text::FitText(s, height, height * 0.5, room, room_height, text::PageFitLimits()), font);
}

const LabelSheet& LabelSheetOf(int item) {
  return item >= 0 && item < static_cast<int>(kLabelSheets.size())
             ? kLabelSheets[static_cast<std::size_t>(item)]
             : kLabelSheets[0];
}

bool IsKeptOffcut(double remnant, int keep) {
  const int length = OffcutLength(remnant);
  return length > 0 && length >= keep;
}

int OffcutLength(double remnant) {
  if (!(remnant > 0)) return 0;
  return static_cast<int>(std::trunc(std::min(remnant, 1e9)));
}

std::vector<Label> ListLabels(const optimiser::OptimiserRecords& r, const CutBars& cut, int keep,
                              std::size_t limit) {
  std::vector<Label> labels;
  const optimiser::Conditions& c = r.conditions;
  // The steel is its section and, when the job knows it, its grade.
  const std::string member = c.grade.empty() ? c.member_name : c.member_name + " " + c.grade;
  const std::string date = base::Format("%d", c.year + 2000) + base::Lit("年") +
                           base::Format("%d", c.month) + base::Lit("月") +
                           base::Format("%d", c.day) + base::Lit("日");
  for (const CutBar& bar : cut.bars) {
    for (std::size_t k = 0; k < bar.pieces.size(); ++k) {
      if (labels.size() >= limit) return labels;
      const CutPiece& p = bar.pieces[k];
      labels.push_back({false, c.project_name, member, p.mark, p.length,
                        base::Format("%d-%d-%zu", bar.pattern, bar.bar, k + 1), date});
    }
  }
  for (const CutBar& bar : cut.bars) {
    const double remnant = r.best.patterns[bar.pattern].remnant;
    if (!IsKeptOffcut(remnant, keep)) continue;
    if (labels.size() >= limit) return labels;
    labels.push_back({true,
                      c.project_name,
                      member,
                      {},
                      OffcutLength(remnant),
                      base::Format("%d-%d", bar.pattern, bar.bar),
                      date});
  }
  return labels;
}

std::string LabelQrText(const Label& l) {
  const std::string length = base::Format("%d", l.length);
  if (l.offcut)
    return "残材\t" + QrField(l.member) + "\t" + length + "\t" + QrField(l.project) + " " +
           l.number;
  return QrField(l.project) + "\t" + QrField(l.member) + "\t" + QrField(l.mark) + "\t" + length +
         "\t" + l.number;
}

void DrawLabel(const Label& l, const LabelSheet& sheet, int index) {
  const int column = index % sheet.columns;
  const int row = index / sheet.columns;
  const double left = sheet.left + column * sheet.pitch_x;
  const double top = sheet.top + row * sheet.pitch_y;
  const double h = sheet.height;
  const double pad = std::clamp(h * 0.06, 1.2, 2.5);
  // The code on the right, as high as the label allows; its quiet zone parts it from the text.
  const double side = h - 2 * pad;
  const double code_left = left + sheet.width - pad - side;
  const std::optional<QrSymbol> code = EncodeQrFor(LabelQrText(l), side, kMinModule);
  if (code) {
    // Modules of whole 1/300 inch steps on a grid of such steps from the paper's corner: exact
    // squares of whole dots on 300, 600 and 1200 dpi printers.
    const int steps = static_cast<int>(side / code->Span() / kPrintStep);
    const double used = steps > 0 ? steps * kPrintStep * code->Span() : side;
    auto on_grid = [&](double v) {
      return steps > 0 ? std::round(v / kPrintStep) * kPrintStep : v;
    };
    DrawQrCode(on_grid(code_left + (side - used) / 2), on_grid(top + pad + (side - used) / 2), used,
               *code);
  }

  // The text stays clear of the code's quiet zone.
  const double x = left + pad;
  const double room = code_left - x;
  const double small = h * 0.085;
  const double large = h * 0.2;
  const double gap = (h - 2 * pad - 4 * small - 2 * large) / 7;
  double y = top + pad + gap;
  auto line = [&](double height, const std::string& s, int font) {
    FitTextLine(x, y, height, room, s, font, height + gap);
    y += height + gap;
  };
  line(small, l.project, kPlainFont);
  line(small, l.member, kPlainFont);
  line(large, l.offcut ? base::Lit("残材") : (l.mark.empty() ? base::Lit("－") : l.mark),
       kBoldFont);
  const std::string length = base::Format("%d", l.length);
  const text::FittedText number =
      text::FitText(length, large, large * 0.5, room, 0, text::PageFitLimits());
  text::PutFittedText(x, y, number, kBoldFont);
  // "mm" after the number, standing on its foot line.
  const double after = std::min(text::TextAdvance(length, number.width), room);
  FitTextLine(x + after + 0.5, y + large - small, small, room - after - 0.5, "mm", kPlainFont);
  y += large + gap;
  line(small, (l.offcut ? base::Lit("元 No.") : std::string("No.")) + l.number, kPlainFont);
  line(small, l.date, kPlainFont);
}

}  // namespace zarvel::report
