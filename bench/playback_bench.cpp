// Playing a full report page onto the 1800 × 2700 preview bitmap, and halving it for display.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <memory>

#include "base/cp932.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "drawing/primitives.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "platform/qt_canvas.h"
#include "report/report.h"
#include "run/run_command.h"

namespace {

using namespace zarvel::drawing;

// A dense page: a ruled table of 60 rows and 8 columns, every cell holding five characters.
void RecordDensePage() {
  QImage surface(kRecordingWidth, kRecordingHeight, QImage::Format_RGB32);
  QPainter painter(&surface);
  zarvel::platform::QtCanvas canvas(painter, surface.rect());
  BeginPageDrawing(canvas, 0, kRecordingWidth, kRecordingHeight);
  ResetPages();
  SetRecording(true);
  SelectPage(11);
  SetLineColour(0);
  SetLineWeight(0);
  for (int r = 0; r <= 60; ++r)
    DrawSheetLine(5, 10 + 4 * r, 175, 10 + 4 * r, r % 5 == 0 ? 0 : 1, 1);
  for (int c = 0; c <= 8; ++c) DrawSheetLine(5 + 21.25 * c, 10, 5 + 21.25 * c, 250, 0, 1);
  CanvasSetFont(canvas, 30, 15, 0, 0);
  const std::string cell = zarvel::base::Lit("5500×");
  for (int r = 0; r < 60; ++r)
    for (int c = 0; c < 8; ++c)
      for (std::size_t i = 0; i < cell.size();) {
        const std::size_t n = zarvel::base::CharLength(cell, i);
        CanvasText(canvas, static_cast<float>(SheetToDotX(6 + 21.25 * c) + 15 * i),
                   static_cast<float>(SheetToDotY(10.5 + 4 * r)), cell.substr(i, n));
        i += n;
      }
  SetRecording(false);
}

void BM_PlayPage(benchmark::State& state) {
  RecordDensePage();
  QImage image(kRecordingWidth, kRecordingHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    zarvel::platform::QtCanvas canvas(painter, image.rect());
    PlayReportPage(zarvel::platform::BitmapTarget(image, canvas), 1, kRecordingWidth,
                   kRecordingHeight, kScreenPaper);
  }
  state.counters["commands_kB"] = static_cast<double>(TotalCommandBytes()) / 1024;
}
BENCHMARK(BM_PlayPage)->Unit(benchmark::kMillisecond);

void BM_HalveBitmap(benchmark::State& state) {
  QImage big(kRecordingWidth, kRecordingHeight, QImage::Format_RGB32);
  big.fill(Qt::white);
  QImage small(kRecordingWidth / 2, kRecordingHeight / 2, QImage::Format_RGB32);
  for (auto _ : state) {
    HalveBitmap(zarvel::platform::ViewOf(small), zarvel::platform::ViewOf(big), 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_HalveBitmap)->Unit(benchmark::kMillisecond);

// One preview page at the largest display size: the example's table page played at double
// size (1800 × 2698) and halved into the 900 × 1350 display, as a scroll to a new page does.
void BM_PreviewPage(benchmark::State& state) {
  auto records = std::make_unique<zarvel::optimiser::OptimiserRecords>();
  zarvel::job::JobForm form(*records);
  if (!zarvel::job::OpenJobFile(form, ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5")) {
    state.SkipWithError("example job not found");
    return;
  }
  zarvel::run::RunHost host;
  zarvel::run::RunCommand(*records, form, host, true);
  zarvel::report::RecordingSurface surface;
  zarvel::report::ReportOptions options;
  options.table_a = true;
  zarvel::report::RebuildPages(surface, *records, options);
  QImage page(1800, 2698, QImage::Format_RGB32);
  QImage display(900, 1350, QImage::Format_RGB32);
  for (auto _ : state) {
    {
      QPainter painter(&page);
      zarvel::platform::QtCanvas canvas(painter, page.rect());
      PlayReportPage(zarvel::platform::BitmapTarget(page, canvas), 2, kRecordingWidth,
                     kRecordingHeight, kScreenPaper);
    }
    HalveBitmap(zarvel::platform::ViewOf(display), zarvel::platform::ViewOf(page), 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PreviewPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
