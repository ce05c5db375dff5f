// zarvel5: the planner's window, or with a command word its headless commands.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <algorithm>
#include <clocale>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/history.h"
#include "app/main_window.h"
#include "app/message.h"
#include "app/qt_text.h"
#include "app/translations.h"
#include "app/yard_window.h"
#include "base/app_info.h"
#include "cli/import_command.h"
#include "cli/nest_command.h"
#include "cli/order_command.h"
#include "cli/plan_command.h"
#include "cli/report_command.h"
#include "cli/sections_command.h"
#include "cli/yard_command.h"

namespace {

// Qt wants a private runtime folder; a headless run may have none.
void EnsureRuntimeDir() {
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
  const std::string dir = "/tmp/zarvel5-runtime-" + std::to_string(::getuid());
  ::mkdir(dir.c_str(), 0700);
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir));
}

int RunWindow(int argc, char** argv, const std::vector<std::string>& args) {
  EnsureRuntimeDir();
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(zarvel::app::Qs(zarvel::base::ApplicationTitle()));
  // The installed menu entry (zarvel5.desktop): desktops match the window to it and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("zarvel5"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("zarvel5")));
  zarvel::app::InstallQtTranslations();
  auto records = std::make_unique<zarvel::optimiser::OptimiserRecords>();
  zarvel::app::MainWindow window(*records);
  zarvel::app::TheMessageDialog();
  zarvel::app::HistoryWindow history;
  window.SetHistoryWindow(&history);
  zarvel::app::YardLink yard(window, *records);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  window.StartUp();
  // File names are UTF-8 here whatever the locale says (a C locale would garble 仕事.zv5).
  if (!args.empty()) window.OpenFromCommandLine(QString::fromStdString(args[0]));
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? std::string() : args[0];
  const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
  // Numbers are read and written with a decimal point whatever the user's locale says.
  std::setlocale(LC_NUMERIC, "C");
  if (command == "plan") return zarvel::cli::RunPlanCommand(rest, std::cout, std::cerr);
  if (command == "pages") return zarvel::cli::RunPagesCommand(rest, std::cout, std::cerr);
  if (command == "order") return zarvel::cli::RunOrderCommand(rest, std::cout, std::cerr);
  const bool pages = std::find_if(rest.begin(), rest.end(), [](const std::string& a) {
                       return a == "--pdf" || a == "--png";
                     }) != rest.end();
  if (command == "nest" && !pages) return zarvel::cli::RunNestCommand(rest, std::cout, std::cerr);
  if (command == "import") return zarvel::cli::RunImportCommand(rest, std::cout, std::cerr);
  if (command == "sections") return zarvel::cli::RunSectionsCommand(rest, std::cout, std::cerr);
  if (command == "yard") return zarvel::cli::RunYardCommand(rest, std::cout, std::cerr);
  if (command == "report" || command == "nest") {
    // Headless: no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureRuntimeDir();
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return command == "nest" ? zarvel::cli::RunNestReportCommand(rest, std::cout, std::cerr)
                             : zarvel::cli::RunReportCommand(rest, std::cout, std::cerr);
  }
  // The window needs a display (or a platform chosen explicitly, such as offscreen); checked
  // here because Qt would abort without one.
  const bool has_display = !qEnvironmentVariableIsEmpty("DISPLAY") ||
                           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
  const auto is_file = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  };
  if (const auto code =
          zarvel::cli::CheckWindowStart(args, has_display, is_file, std::cout, std::cerr))
    return *code;
  return RunWindow(argc, argv, args);
}
