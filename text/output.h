// Text on report pages: the current text style and characters placed cell by cell on the
// byte-column grid, recorded through the canvas layer.
#pragma once

#include <string>

#include "drawing/page_context.h"

namespace zarvel::text {

// The current text style. Sizes in sheet mm; the device fields are derived.
using drawing::StFont;

// The one current style (all zero until the first SetTextStyle).
const StFont& TextStyle();

// height < 0: given in device dots; width <= 0: half the height; a negative angle gets 360 once.
void SetTextStyle(double height, double width, double angle, int font_code);
void GetTextStyle(double& height, double& width, double& angle, int& font_code);
void RestoreTextStyle(const StFont& style);

// Draws a text anchored at (x, y), its first cell `along` and `across` from the anchor in the
// text's own frame, with unit superscripts ("mm2", "$^6", ...).
void PutText(double x, double y, double along, double across, const std::string& text);
void PutTextAt(double x, double y, const std::string& text);
// Draws the cells of a text without superscripts.
void DrawTextRun(double x, double y, double along, double across, const std::string& text);
// One character cell at device (x, y), snapped to odd dots.
void DrawTextCell(double x, double y, const std::string& character);
// Centred on x with its top H/8 below y; centred and standing on y.
void PutTextCentred(double x, double y, const std::string& text);
void PutTextAbove(double x, double y, const std::string& text);

// The lead byte of a two-byte character as the text layer sees it (0x80–0x9F, 0xE0–0xFF).
constexpr bool IsTextLeadByte(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) || b >= 0xE0;
}

// Draws a text with the symbol notation (subscripts, enlarged letters, bars, value
// placeholders); see notation.cpp.
void PutNotationText(double x, double y, double along, double across, const std::string& text);

}  // namespace zarvel::text
