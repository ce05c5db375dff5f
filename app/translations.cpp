#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zarvel::app {

bool InstallQtTranslations() {
  static bool installed = false;
  if (installed) return true;
  auto* translator = new QTranslator(QCoreApplication::instance());
  // The window speaks Japanese whatever the user's locale.
  if (!translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  installed = QCoreApplication::installTranslator(translator);
  return installed;
}

}  // namespace zarvel::app
