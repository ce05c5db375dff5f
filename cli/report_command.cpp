#include "cli/report_command.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <cmath>
#include <functional>

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/format.h"
#include "cli/nest_command.h"
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

// The pages that `record(i)` records for each source i in turn (its page count; below 0: none)
// played into one PDF.
bool WritePdf(const std::string& path, std::size_t sources,
              const std::function<int(std::size_t)>& record) {
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
  bool first = true;
  for (std::size_t i = 0; i < sources; ++i) {
    const int pages = record(i);
    for (int p = 1; p <= pages; ++p) {
      if (!first) printer.newPage();
      first = false;
      drawing::PlayReportPage(target, p, drawing::kRecordingWidth, drawing::kRecordingHeight,
                              drawing::kPrinterPaper);
    }
  }
  return painter.end();
}

bool WritePdf(const std::string& path, int pages) {
  return WritePdf(path, 1, [pages](std::size_t) { return pages; });
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

// The recorded pages as page-NNN.png from number `first` on.
bool WritePngs(const std::string& dir, int pages, std::ostream& out, int first = 1) {
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
    const std::string file = dir + base::Format("/page-%03d.png", first + p - 1);
    if (!image.save(QString::fromStdString(file), "PNG")) return false;
    out << file << "\n";
  }
  return first > 1 || RemoveOlderPages(dir, pages);
}

// Neither the PDF nor a page file (written or removed in the folder) may be a job being read.
EarlyExit RefuseOutputsOntoJobs(const CommandOptions& o, const std::vector<std::string>& jobs,
                                std::ostream& err) {
  std::vector<InputFile> inputs;
  for (const std::string& job : jobs) inputs.push_back({job, "仕事のファイル"});
  if (const EarlyExit code = RefuseOutputOntoInput(inputs, "--pdf", o.pdf, err)) return code;
  if (!o.png_dir.empty()) {
    for (const std::string& name : job::Files().List(o.png_dir)) {
      if (name.rfind("page-", 0) != 0) continue;
      if (const EarlyExit code =
              RefuseOutputOntoInput(inputs, "--png", o.png_dir + "/" + name, err))
        return code;
    }
  }
  return std::nullopt;
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
  if (const EarlyExit code = RefuseOutputsOntoJobs(o, {o.job}, err)) return *code;
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

int RunNestReportCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
  if (const EarlyExit code = HelpRequested(args, out)) return *code;
  CommandOptions o;
  if (!ParseOptions(
          args,
          {"JOB...", "--precision", "--tables", "--pdf", "--png", "--keep", "--label-sheet",
           "--from-yard", "--yard", "--allow-network-file", "--offcuts-first"},
          o, err))
    return kExitUsage;
  if (o.pdf.empty() == o.png_dir.empty()) {
    err << "zarvel5: nest には --pdf 出力.pdf か --png フォルダーのどちらか一つを指定して下さい\n"
        << kUsage;
    return kExitUsage;
  }
  if (const EarlyExit code = RefuseOutputsOntoJobs(o, o.jobs, err)) return *code;
  session::Nest nest = BuildNest(o, &err);
  if (!nest.yard_error) {
    err << "zarvel5: " << nest.yard_error.message << "\n";
    return ExitCode(nest.yard_error);
  }
  for (const session::NestJob& j : nest.jobs)
    if (j.unreadable) err << "zarvel5: " << j.message << "\n";
  std::vector<const session::NestGroup*> planned;
  for (const session::NestGroup& g : nest.groups) {
    if (g.Planned())
      planned.push_back(&g);
    else
      err << "zarvel5: " << g.name << ": " << g.message << "\n";
  }
  // Each group's pages in turn: its report as the preview builds it, its pieces named by their
  // member and mark.
  auto record = [&](std::size_t i) {
    int pages = 0;
    report::ReportOptions options = TableOptions(o, *planned[i]->run.form);
    options.jobs = session::GroupMembers(nest, *planned[i]);
    if (session::RecordPages(planned[i]->run, options, pages)) err << kTruncatedMessage;
    return pages;
  };
  if (!o.pdf.empty()) {
    if (!WritePdf(o.pdf, planned.size(), record)) {
      err << "zarvel5: " << o.pdf << " に書き込めません\n";
      return kExitUsage;
    }
    out << o.pdf << "\n";
  } else {
    int written = 0;
    for (std::size_t i = 0; i < planned.size(); ++i) {
      const int pages = record(i);
      if (!WritePngs(o.png_dir, pages, out, written + 1)) {
        err << "zarvel5: フォルダー " << o.png_dir << " にページを書き込めません\n";
        return kExitUsage;
      }
      written += pages;
    }
    RemoveOlderPages(o.png_dir, written);
  }
  return nest.ExitCode();
}

}  // namespace zarvel::cli
