#include "cli/report_command.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <cmath>

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/format.h"
#include "cli/plan_command.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "job/file_system.h"
#include "platform/qt_canvas.h"
#include "report/report.h"

namespace zarvel::cli {
namespace {

constexpr int kPrinterDpi = 600;
constexpr int kSheetPngDpi = 300;

bool WritePdf(const std::string& path, int pages) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(path));
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setFullPage(true);  // the page body is placed from the paper's edges
  printer.setResolution(kPrinterDpi);
  printer.setDocName(QString::fromStdString(base::Cp932ToUtf8(base::ApplicationTitle())));
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  platform::QtCanvas canvas(painter, printer.pageRect(QPrinter::DevicePixel).toRect());
  const drawing::PlayTarget target = platform::PrinterTarget(printer, canvas);
  for (int p = 1; p <= pages; ++p) {
    if (p > 1) printer.newPage();
    drawing::PlayReportPage(target, p, drawing::kRecordingWidth, drawing::kRecordingHeight,
                            drawing::kPrinterPaper);
  }
  return painter.end();
}

// Removes the page files an earlier, longer report left in dir (only names this command
// writes), so that the folder holds exactly the pages of this report.
bool RemoveOlderPages(const std::string& dir, int pages) {
  QDir folder(QString::fromStdString(dir));
  const QStringList names =
      folder.entryList({QStringLiteral("page-*.png")}, QDir::Files | QDir::System | QDir::Hidden);
  bool ok = true;
  for (const QString& name : names) {
    const QString digits = name.mid(5, name.size() - 9);
    bool number = false;
    const int n = digits.toInt(&number);
    if (!number || n <= pages || name.toStdString() != base::Format("page-%03d.png", n)) continue;
    ok = folder.remove(name) && ok;
  }
  return ok;
}

bool WritePngs(const std::string& dir, int pages, std::ostream& out) {
  if (!QDir().mkpath(QString::fromStdString(dir))) return false;
  for (int p = 1; p <= pages; ++p) {
    // A page on the whole sheet (labels) is the sheet as a 300 dpi printer prints it, so that
    // its QR modules are the same whole dots as on paper; other pages as the preview plays them.
    const drawing::SheetSize sheet = drawing::PageSheet(p + drawing::kFirstReportSlot);
    const bool on_sheet = sheet.width > 0;
    auto dots = [](int32_t sheet_dots) {
      return static_cast<int>(std::lround(sheet_dots / (10 * 25.4) * kSheetPngDpi));
    };
    QImage image(on_sheet ? dots(sheet.width) : drawing::kRecordingWidth,
                 on_sheet ? dots(sheet.height) : drawing::kRecordingHeight, QImage::Format_RGB32);
    {
      QPainter painter(&image);
      platform::QtCanvas canvas(painter, image.rect());
      drawing::PlayTarget target = platform::BitmapTarget(image, canvas);
      if (on_sheet) {
        image.fill(platform::ToQColor(drawing::kPrinterPaper));
        target.kind = drawing::PlayTarget::Kind::kPrinter;
        target.log_pixels_x = target.log_pixels_y = kSheetPngDpi;
      }
      // White paper, as printed; the preview's paper colour is for the screen only.
      drawing::PlayReportPage(target, p, drawing::kRecordingWidth, drawing::kRecordingHeight,
                              drawing::kPrinterPaper);
    }
    const std::string file = dir + base::Format("/page-%03d.png", p);
    if (!image.save(QString::fromStdString(file), "PNG")) return false;
    out << file << "\n";
  }
  return RemoveOlderPages(dir, pages);
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const EarlyExit code = HelpRequested(args, out)) return *code;
  CommandOptions o;
  if (!ParseOptions(args,
                    {"--precision", "--tables", "--pdf", "--png", "--keep", "--label-sheet",
                     "--offcuts-first"},
                    o, err))
    return kExitUsage;
  if (o.pdf.empty() == o.png_dir.empty()) {
    err << "zarvel5: report には --pdf 出力.pdf か --png フォルダーのどちらか一つを指定して下さい\n"
        << kUsage;
    return kExitUsage;
  }
  // Neither the PDF nor a page file (written or removed in the folder) may be the job itself.
  const std::vector<InputFile> job_file{{o.job, "仕事のファイル"}};
  if (const EarlyExit code = RefuseOutputOntoInput(job_file, "--pdf", o.pdf, err)) return *code;
  if (!o.png_dir.empty()) {
    for (const std::string& name : job::Files().List(o.png_dir)) {
      if (name.rfind("page-", 0) != 0) continue;
      if (const EarlyExit code =
              RefuseOutputOntoInput(job_file, "--png", o.png_dir + "/" + name, err))
        return *code;
    }
  }
  int pages = 0;
  if (const EarlyExit code = PlanAndRecordPages(o, pages, err)) return *code;
  if (!o.pdf.empty()) {
    if (!WritePdf(o.pdf, pages)) {
      err << "zarvel5: " << o.pdf << " に書き込めません\n";
      return kExitUsage;
    }
    out << o.pdf << "\n";
  } else if (!WritePngs(o.png_dir, pages, out)) {
    err << "zarvel5: フォルダー " << o.png_dir << " にページを書き込めません\n";
    return kExitUsage;
  }
  return kExitPlanned;
}

}  // namespace zarvel::cli
