// Numbers are entered like an odometer: the field keeps its width, each key enters at the
// right and the leftmost character falls off. One entry state serves every field and grid.
#pragma once

#include <string>

namespace zarvel::job {

inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyEscape = 27;

// Width and decimals coded in a control's tag.
constexpr int TagWidth(int tag) {
  return (tag / 10) % 100;
}
constexpr int TagDecimals(int tag) {
  return tag % 10;
}

// Pads on the left to `width` (at least 1), or keeps the last `width` characters.
std::string RightAlign(const std::string& text, int width);

// A typed character as the entry takes it: ASCII as is, full-width digits and signs mapped
// ("０".."９", "．", "－", "＋", "Ｅ", "ｅ", "え"), anything else 0 (discarded).
int MapEntryChar(char32_t ch);

struct EntryState {
  const void* target = nullptr;  // the field or grid last entered
  int width = 1;
  std::string original;  // the text when entry began (Escape brings it back)
  int key_count = 0;     // characters shifted in; 0: the next one starts afresh
};

EntryState& Entry();

// Starts entry of a control: its text, its width.
void BeginEntry(const void* target, const std::string& text, int width);
// Applies one key (already mapped) to a text under the entry state.
std::string ShiftInChar(const std::string& text, int key);

// The text reformatted for a numeric field's tag: "%*.*f" or "%*d" of the number the text
// starts with (C reading: blanks, sign, digits; nothing readable is 0). Tag width 0: unchanged.
std::string FormatNumberText(const std::string& text, int tag);

// Cell width of a grid column in characters: (column width - 3) / (|font height| / 2), at least 1.
int GridCellWidth(int column_width, int font_height);

}  // namespace zarvel::job
