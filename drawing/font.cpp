#include "drawing/font.h"

#include "base/cp932.h"

namespace zarvel::drawing {

const std::string& FaceForCode(int32_t code) {
  switch (code) {
    case 1:
      return base::Lit("ＭＳ 明朝");
    case 2:
      return base::Lit("ＭＳ Ｐゴシック");
    case 3:
      return base::Lit("ＭＳ Ｐ明朝");
    case 4:
      return base::Lit("メイリオ");
    default:
      return base::Lit("ＭＳ ゴシック");
  }
}

int32_t NormaliseEscapement(int32_t e) {
  if (e > 3600) e %= 3600;
  if (e < 0) e += 3600;
  if (e < 0) e += 3600;
  return e;
}

LogicalFont MakeLogicalFont(int32_t height, int32_t width, int32_t escapement, int32_t code) {
  LogicalFont f;
  f.height = height;
  f.width = width;
  f.escapement = NormaliseEscapement(escapement);
  f.weight = (code & kFontBold) != 0 ? 700 : 400;
  f.italic = (code & kFontItalic) != 0 ? 1 : 0;
  f.face_name = FaceForCode(code);
  return f;
}

void MakeCanvasFont(Canvas& canvas, int32_t height, int32_t width, int32_t escapement,
                    int32_t code) {
  canvas.SetFont(MakeLogicalFont(height, width, escapement, code));
}

}  // namespace zarvel::drawing
