#include "drawing/pages.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "base/cp932.h"
#include "base/format.h"
#include "drawing/font.h"

namespace zarvel::drawing {
namespace {

PageTable& Table() {
  return CurrentPageContext().pages;
}

bool IsSpaceText(const std::string& text) {
  return text == " " || text == base::Lit("　");
}

int Dot(float v) {
  return static_cast<int>(std::trunc(v + 0.1f));
}

}  // namespace

uint32_t FloatWord(float f) {
  return std::bit_cast<uint32_t>(f);
}
float WordFloat(uint32_t w) {
  return std::bit_cast<float>(w);
}

void ResetPages() {
  PageTable& t = Table();
  t.last = 0;
  for (PageSlot& s : t.entries) s.used = 0;
}

void SelectPage(int index) {
  if (index < 0 || index >= kPageSlots) return;
  PageTable& t = Table();
  t.current = index;
  t.entries[index].used = 0;
  t.last = std::max(t.last, index);
}

int NewPage() {
  SelectPage(Table().current + 1);
  return Table().current;
}

int LastPageIndex() {
  return Table().last;
}
int CurrentPageIndex() {
  return Table().current;
}

int64_t TotalCommandBytes() {
  const PageTable& t = Table();
  int64_t total = 0;
  for (int i = 0; i <= t.last; ++i) total += int64_t{t.entries[i].used} * 4;
  return total;
}

uint32_t* AllocCommand(int payload_bytes) {
  PageSlot& s = Table().entries[Table().current];
  const int n = ((std::max(payload_bytes, 0) + 3) >> 2) + 2;
  if (s.capacity < s.used + n) {
    s.capacity += n + kCapacityStep;
    s.words.resize(static_cast<std::size_t>(s.capacity));
  }
  uint32_t* command = s.words.data() + s.used;
  std::fill(command, command + n, 0u);
  command[1] = static_cast<uint32_t>(n);
  s.used += n;
  return command;
}

std::span<const uint32_t> PageWords(int slot) {
  if (slot < 0 || slot >= kPageSlots) return {};
  const PageSlot& s = Table().entries[slot];
  return {s.words.data(), static_cast<std::size_t>(s.used)};
}

int PageCapacity(int slot) {
  return slot < 0 || slot >= kPageSlots ? 0 : Table().entries[slot].capacity;
}

void SetRecording(bool on) {
  Table().recording = on;
}
bool Recording() {
  return Table().recording;
}

void CanvasSetFont(Canvas& canvas, int32_t height, int32_t width, int32_t escapement,
                   int32_t code) {
  MakeCanvasFont(canvas, height, width, escapement, code);
  if (!Recording()) return;
  uint32_t* c = AllocCommand(16);
  c[0] = kOpSetFont;
  c[2] = static_cast<uint32_t>(height);
  c[3] = static_cast<uint32_t>(width);
  c[4] = static_cast<uint32_t>(escapement);
  c[5] = static_cast<uint32_t>(code);
}

namespace {

void RecordWord(uint32_t opcode, uint32_t value) {
  uint32_t* c = AllocCommand(4);
  c[0] = opcode;
  c[2] = value;
}

void RecordPoint(uint32_t opcode, float x, float y) {
  uint32_t* c = AllocCommand(8);
  c[0] = opcode;
  c[2] = FloatWord(x);
  c[3] = FloatWord(y);
}

}  // namespace

void CanvasFontColour(Canvas& canvas, Colour colour) {
  canvas.SetFontColour(colour);
  if (Recording()) RecordWord(kOpFontColour, colour);
}

void CanvasText(Canvas& canvas, float x, float y, const std::string& text) {
  if (IsSpaceText(text)) return;
  if (!Recording()) {
    canvas.TextOut(Dot(x), Dot(y), text);
    return;
  }
  uint32_t* c = AllocCommand(12);
  c[0] = kOpText;
  c[2] = FloatWord(x);
  c[3] = FloatWord(y);
  // The first two bytes of the text, its terminator (or a zero), and a filler byte.
  unsigned char bytes[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < 2 && i < text.size(); ++i)
    bytes[i] = static_cast<unsigned char>(text[i]);
  std::memcpy(&c[4], bytes, 4);
}

void CanvasPenColour(Canvas& canvas, Colour colour) {
  canvas.SetPenColour(colour);
  if (Recording()) RecordWord(kOpPenColour, colour);
}

void CanvasPenWidth(Canvas& canvas, float width) {
  canvas.SetPenWidth(static_cast<int>(std::trunc(width)));
  if (Recording()) RecordWord(kOpPenWidth, FloatWord(width));
}

void CanvasPenStyle(Canvas& canvas, uint8_t style) {
  canvas.SetPenStyle(style);
  if (Recording()) RecordWord(kOpPenStyle, style);
}

void CanvasBrushStyle(Canvas& canvas, uint8_t style) {
  canvas.SetBrushStyle(style);
  if (Recording()) RecordWord(kOpBrushStyle, style);
}

void CanvasMoveTo(Canvas& canvas, float x, float y) {
  if (Recording()) {
    RecordPoint(kOpMoveTo, x, y);
  } else {
    canvas.MoveTo(Dot(x), Dot(y));
  }
}

void CanvasLineTo(Canvas& canvas, float x, float y) {
  if (Recording()) {
    RecordPoint(kOpLineTo, x, y);
  } else {
    canvas.LineTo(Dot(x), Dot(y));
  }
}

void CanvasFillRect(Canvas& canvas, float left, float top, float right, float bottom,
                    Colour colour) {
  if (!Recording()) {
    canvas.SetBrushColour(colour);
    canvas.SetBrushStyle(0);
    canvas.FillRect({Dot(left), Dot(top), Dot(right), Dot(bottom)});
    return;
  }
  uint32_t* c = AllocCommand(20);
  c[0] = kOpFillRect;
  c[2] = FloatWord(left);
  c[3] = FloatWord(top);
  c[4] = FloatWord(right);
  c[5] = FloatWord(bottom);
  c[6] = colour;
}

void RecordSheetPlacement(int32_t width, int32_t height) {
  if (!Recording()) return;
  uint32_t* c = AllocCommand(8);
  c[0] = kOpSheet;
  c[2] = static_cast<uint32_t>(width);
  c[3] = static_cast<uint32_t>(height);
}

SheetSize PageSheet(int slot) {
  const std::span<const uint32_t> words = PageWords(slot);
  if (words.size() < 4 || words[0] != kOpSheet || words[1] < 4) return {};
  const auto w = static_cast<int32_t>(words[2]);
  const auto h = static_cast<int32_t>(words[3]);
  constexpr int32_t kLargest = 20000;  // 2 m of paper: anything larger is not a sheet
  if (w <= 0 || h <= 0 || w > kLargest || h > kLargest) return {};
  return {w, h};
}

std::vector<std::string> DescribePage(int slot) {
  std::vector<std::string> out;
  const std::span<const uint32_t> words = PageWords(slot);
  for (std::size_t i = 0; i + 1 < words.size();) {
    const uint32_t n = words[i + 1];
    if (n < 2 || n > words.size() - i) break;
    out.push_back(DescribeCommand(words.subspan(i, n)));
    i += n;
  }
  return out;
}

std::string DescribeCommand(std::span<const uint32_t> c) {
  if (c.size() < 2) return "?";
  auto word = [&](std::size_t i) { return i < c.size() ? c[i] : 0u; };
  auto f = [&](std::size_t i) { return static_cast<double>(WordFloat(word(i))); };
  auto point = [&](const char* name) { return base::Format("%s %.1f %.1f", name, f(2), f(3)); };
  switch (c[0]) {
    case kOpSetFont:
      return base::Format("font %d %d %d %d", static_cast<int32_t>(word(2)),
                          static_cast<int32_t>(word(3)), static_cast<int32_t>(word(4)),
                          static_cast<int32_t>(word(5)));
    case kOpFontColour:
      return base::Format("font-colour 0x%06X", word(2));
    case kOpText: {
      const uint32_t w = word(4);
      std::string t;
      for (int i = 0; i < 2; ++i) {
        const char ch = static_cast<char>((w >> (8 * i)) & 0xFF);
        if (ch == '\0') break;
        t += ch;
      }
      return point("text") + " \"" + t + "\"";
    }
    case kOpPenColour:
      return base::Format("pen-colour 0x%06X", word(2));
    case kOpPenWidth:
      return base::Format("pen-width %.1f", f(2));
    case kOpPenStyle:
      return base::Format("pen-style %u", word(2) & 0xFF);
    case kOpBrushStyle:
      return base::Format("brush-style %u", word(2) & 0xFF);
    case kOpMoveTo:
      return point("move");
    case kOpLineTo:
      return point("line");
    case kOpFillRect:
      return base::Format("fill %.1f %.1f %.1f %.1f 0x%06X", f(2), f(3), f(4), f(5), word(6));
    case kOpSheet:
      return base::Format("sheet %d %d", static_cast<int32_t>(word(2)),
                          static_cast<int32_t>(word(3)));
    default:
      return base::Format("unknown 0x%08X", c[0]);
  }
}

}  // namespace zarvel::drawing
