// GoogleTest main for the window tests: one QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "app/translations.h"

int main(int argc, char** argv) {
  // Offscreen unless told otherwise (the X11 run uses xcb under Xvfb).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  zarvel::app::InstallQtTranslations();  // as the program does
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
