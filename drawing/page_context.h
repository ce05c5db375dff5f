// Everything page drawing keeps from one call to the next, in one place: the drawing state,
// the page table, the text style, the value fields, the report lines' counters and rule
// columns, and the template letter flags. The free functions of drawing/ and text/ work on the
// current context; ResetPageContext() returns all of it to its state at start-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "drawing/canvas.h"

namespace zarvel::drawing {

inline constexpr int kPageSlots = 1024;

struct DrawingState {
  Canvas* canvas = nullptr;
  double dots_per_mm = 0.1;
  double left = 0;
  double right = 180;
  double top = 0;
  double bottom = 0;
  double pen_x = 0;  // the pen position in dots, before snapping
  double pen_y = 0;
};

struct PageSlot {
  int32_t capacity = 0;
  int32_t used = 0;
  std::vector<uint32_t> words;  // sized to `capacity`
};

struct PageTable {
  std::vector<PageSlot> entries = std::vector<PageSlot>(kPageSlots);
  int current = 0;
  int last = 0;
  bool recording = false;
};

// The current text style. Sizes in sheet mm; the device fields are derived.
struct StFont {
  double height = 0;
  double width = 0;  // one byte column
  double angle = 0;  // degrees, counter-clockwise
  int device_height = 0;
  int device_width = 0;
  int angle_tenths = 0;
  int font_code = 0;
};

inline constexpr int kAnonymousFields = 1000;
inline constexpr int kFirstNamedField = 1000;
inline constexpr int kFieldTableSize = 1202;
inline constexpr int kNamedFieldEnd = 1200;  // named fields are 1000..1199
inline constexpr std::size_t kMaxFieldName = 15;

struct ValueField {
  double x = 0;
  double y = 0;
  double field_width = 0;
  double along = 0;
  double across = 0;
  double left_limit = 0;
  int length = 0;
  int decimals = 0;
  StFont style;
  std::string name;
};

struct FieldTable {
  std::vector<ValueField> fields = std::vector<ValueField>(kFieldTableSize);
  int anonymous = 0;
  int cursor = 0;
  int next_named = kFirstNamedField;
};

inline constexpr std::size_t kRuleColumns = 258;

struct RuleColumn {
  double start_y = 0;
  int weight = 0;  // 0 none, 1 thin, 2 thick
};

struct ReportLineState {
  std::array<int, 4> headings{};
  std::array<RuleColumn, kRuleColumns> rules{};
};

struct PageContext {
  DrawingState drawing;
  PageTable pages;
  StFont text_style;  // all zero until the first SetTextStyle
  FieldTable value_fields;
  ReportLineState report_lines;
  std::array<bool, 32> template_flags{};
};

// The context the free functions work on.
PageContext& CurrentPageContext();
// Everything back to its state at start-up (pages emptied, their memory released).
void ResetPageContext();

}  // namespace zarvel::drawing
