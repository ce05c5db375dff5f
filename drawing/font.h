// Canvas fonts from four integers: height, width, escapement and font code.
#pragma once

#include <cstdint>
#include <string>

#include "drawing/canvas.h"

namespace zarvel::drawing {

inline constexpr int32_t kFontBold = 0x10;
inline constexpr int32_t kFontItalic = 0x20;

// The face requested for a font code (CP932): 1 ＭＳ 明朝, 2 ＭＳ Ｐゴシック, 3 ＭＳ Ｐ明朝,
// 4 メイリオ, any other value ＭＳ ゴシック (so a code with a style bit is always ＭＳ ゴシック).
const std::string& FaceForCode(int32_t code);

// Into 0..3600: above 3600 the remainder, then up to two additions of 3600 when negative.
int32_t NormaliseEscapement(int32_t escapement);

LogicalFont MakeLogicalFont(int32_t height, int32_t width, int32_t escapement, int32_t code);

// Builds the font and makes it the canvas font.
void MakeCanvasFont(Canvas& canvas, int32_t height, int32_t width, int32_t escapement,
                    int32_t code);

}  // namespace zarvel::drawing
