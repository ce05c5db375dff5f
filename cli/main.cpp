// zarvel5: the planner's command line.
#include <QGuiApplication>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/plan_command.h"
#include "cli/report_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? std::string() : args[0];
  const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
  // Numbers are read and written with a decimal point whatever the user's locale says.
  std::setlocale(LC_NUMERIC, "C");
  if (command == "plan") return zarvel::cli::RunPlanCommand(rest, std::cout, std::cerr);
  if (command == "pages") return zarvel::cli::RunPagesCommand(rest, std::cout, std::cerr);
  if (command == "report") {
    // Headless: no display is needed, nor a session's runtime folder.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      const std::string dir = "/tmp/zarvel5-runtime-" + std::to_string(::getuid());
      ::mkdir(dir.c_str(), 0700);
      qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir));
    }
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return zarvel::cli::RunReportCommand(rest, std::cout, std::cerr);
  }
  std::cerr << zarvel::cli::kUsage;
  return zarvel::cli::kExitUsage;
}
