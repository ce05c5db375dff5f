// A page of arbitrary command words, played onto a canvas that only keeps state, and listed.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "drawing/pages.h"
#include "drawing/playback.h"
#include "report/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace zarvel::drawing;
  const std::size_t words = size / 4;
  ResetPages();
  SelectPage(kFirstReportSlot + 1);
  if (words >= 2) {
    uint32_t* page = AllocCommand(static_cast<int>((words - 2) * 4));
    std::memcpy(page, data, words * 4);
  }
  zarvel::report::RecordingSurface canvas;
  PlayTarget bitmap{PlayTarget::Kind::kBitmap, &canvas, 900, 1350};
  PlayReportPage(bitmap, 1, kRecordingWidth, kRecordingHeight, kScreenPaper);
  PlayTarget printer;
  printer.kind = PlayTarget::Kind::kPrinter;
  printer.canvas = &canvas;
  printer.log_pixels_x = printer.log_pixels_y = 600;
  PlayReportPage(printer, 1, data != nullptr && size > 0 ? data[0] : 0, 2700, 0xFFFFFF);
  (void)DescribePage(kFirstReportSlot + 1);
  return 0;
}
