// The result report: the best plan laid out as pages (a summary, and on request the two
// pattern tables and the cutting diagrams), recorded into the page table.
#pragma once

#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "optimiser/host.h"
#include "optimiser/records.h"

namespace zarvel::report {

struct ReportOptions {
  bool table_a = false;   // ［長さ×本数］の表
  bool table_b = false;   // ［１本毎］の表
  bool table_c = false;   // 切断図
  bool saw_list = false;  // 切断指示書
  bool labels = false;    // ラベル, on label sheets
  int label_sheet = 0;    // the sheet's item: 12, 24 or 44 labels (report/labels.h)
  int keep = 1000;        // offcuts of at least this many mm get a label
  // Shift held while a value style would be chosen keeps the heading style (absent: never).
  const optimiser::KeyState* keys = nullptr;
  // Jobs planned as one: their member names (CP932), listed on the summary. Empty for one job.
  std::vector<std::string> jobs = {};
};

struct ReportResult {
  int pages = 0;           // report pages recorded (page n is slot n + 10)
  bool truncated = false;  // the page table ran out; the report stops at its last page
};

// Builds the report from the records' best plan into the page table (recording must be on).
ReportResult BuildReport(const optimiser::OptimiserRecords& records, const ReportOptions& options);

// The preview's rebuild: starts drawing on `surface` (1800 × 2700 dots), clears the template
// flags, resets the pages, records the report and switches recording off again.
ReportResult RebuildPages(drawing::Canvas& surface, const optimiser::OptimiserRecords& records,
                          const ReportOptions& options);

// A canvas that paints nothing and only keeps the state drawing code reads back: the
// recording surface for builds without a window.
class RecordingSurface final : public drawing::Canvas {
 public:
  void SetFont(const drawing::LogicalFont& font) override { font_ = font; }
  void SetFontColour(drawing::Colour) override {}
  void SetPenColour(drawing::Colour) override {}
  void SetPenWidth(int width) override { pen_width_ = width; }
  int PenWidth() const override { return pen_width_; }
  void SetPenStyle(int) override {}
  void SetBrushColour(drawing::Colour) override {}
  void SetBrushStyle(int) override {}
  void MoveTo(int, int) override {}
  void LineTo(int, int) override {}
  void TextOut(int, int, const std::string&) override {}
  void FillRect(const drawing::Rect&) override {}
  drawing::Rect ClipRect() const override { return {0, 0, 1800, 2700}; }
  drawing::LogicalFont Font() const override { return font_; }
  int TextWidth(const std::string& text) override { return NominalTextWidth(font_, text); }
  int TextHeight(const std::string&) override { return NominalTextHeight(font_); }
  void TextOutClipped(const drawing::Rect&, int, int, const std::string&) override {}

 private:
  int pen_width_ = 1;
  drawing::LogicalFont font_;
};

}  // namespace zarvel::report
