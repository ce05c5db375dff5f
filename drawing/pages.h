// Report pages as lists of drawing commands, and the canvas layer that records them.
//
// A page is a list of 32-bit little-endian words: opcode, length in words (header included),
// payload. Coordinates are IEEE floats in dots of the recording surface.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/page_context.h"

namespace zarvel::drawing {
inline constexpr int kCapacityStep = 1024;  // words added beyond the need when a page grows

enum Opcode : uint32_t {
  kOpSetFont = 0x403D4003,
  kOpFontColour = 0x403D4004,
  kOpText = 0x403D4005,
  kOpPenColour = 0x403D4006,
  kOpPenWidth = 0x403D4007,
  kOpPenStyle = 0x403D4008,
  kOpBrushStyle = 0x403D400A,
  kOpMoveTo = 0x403D400B,
  kOpLineTo = 0x403D400C,
  // Added for label sheets; pages without labels never carry them.
  kOpFillRect = 0x403D4010,  // float left, top, right, bottom (dots), int32 colour
  kOpSheet = 0x403D4011,     // int32 width, height: dots of the whole sheet, from its corner
};

// Dots per sheet millimetre of the recording surface.
inline constexpr int kRecordingDotsPerMm = 10;

// Page table: slots 0..1023; `recording` decides whether the canvas layer records or paints.
void ResetPages();
void SelectPage(int index);  // ignored outside 0..1023; empties the slot
int NewPage();               // selects the next slot; returns the current one
int LastPageIndex();
int CurrentPageIndex();
int64_t TotalCommandBytes();
// Reserves a command with a payload of `payload_bytes` on the current page; word 1 is set,
// the caller writes the opcode and the payload. Valid until the next reservation.
uint32_t* AllocCommand(int payload_bytes);
// The words of a slot in use (empty outside 0..1023).
std::span<const uint32_t> PageWords(int slot);
// Words reserved for a slot.
int PageCapacity(int slot);

void SetRecording(bool on);
bool Recording();

// Float <-> word, bit for bit.
uint32_t FloatWord(float f);
float WordFloat(uint32_t w);

// The canvas layer: records while recording is on (also changing the live canvas state that
// drawing code reads back), paints directly while it is off.
void CanvasSetFont(Canvas& canvas, int32_t height, int32_t width, int32_t escapement, int32_t code);
void CanvasFontColour(Canvas& canvas, Colour colour);
void CanvasText(Canvas& canvas, float x, float y, const std::string& text);
void CanvasPenColour(Canvas& canvas, Colour colour);
void CanvasPenWidth(Canvas& canvas, float width);
void CanvasPenStyle(Canvas& canvas, uint8_t style);
void CanvasBrushStyle(Canvas& canvas, uint8_t style);
void CanvasMoveTo(Canvas& canvas, float x, float y);
void CanvasLineTo(Canvas& canvas, float x, float y);
// A rectangle filled with `colour`, right and bottom edges exclusive. Played back, each edge
// lands on a whole device dot by itself, so rectangles that share an edge share it exactly.
void CanvasFillRect(Canvas& canvas, float left, float top, float right, float bottom,
                    Colour colour);
// Marks the current page as placed on the whole sheet (width × height dots at 10 per mm, from
// the paper's top-left corner) instead of the page body; recorded first on such a page.
void RecordSheetPlacement(int32_t width, int32_t height);
// The sheet size of a page recorded with RecordSheetPlacement; {0, 0} for a page-body page.
struct SheetSize {
  int32_t width = 0;
  int32_t height = 0;
};
SheetSize PageSheet(int slot);

// One command as a text line, for the "pages" listing and tests ("?" for an unknown opcode).
std::string DescribeCommand(std::span<const uint32_t> command);
// Every command of a slot described, in order; a length word that does not fit ends the list.
std::vector<std::string> DescribePage(int slot);

}  // namespace zarvel::drawing
