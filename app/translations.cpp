#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>

namespace zarvel::app {
namespace {

struct OwnText {
  const char* context;
  const char* source;
  const char* japanese;  // UTF-8
};

// Texts of Qt's dialogs that Qt's Japanese translation leaves in English (the print dialog, its
// printer properties, paper names, the file dialogs).
constexpr OwnText kOwnTexts[] = {
    {"QPrintSettingsOutput", "Pages", "ページ"},
    {"QPrintSettingsOutput",
     "Specify pages or ranges separated by commas. Ranges are specified by two numbers separated "
     "by a hyphen. E.g: 3,5-7,9 prints pages 3, 5, 6, 7 and 9.",
     "ページか範囲をカンマで区切って指定します。範囲は 2 つの数をハイフンでつなぎます。"
     "例：3,5-7,9 は 3、5、6、7、9 ページを印刷します。"},
    {"QPrintSettingsOutput", "Double Sided Printing", "両面印刷"},
    {"QPrintSettingsOutput", "Off", "しない"},
    {"QPrintSettingsOutput", "Long side binding", "長辺綴じ"},
    {"QPrintSettingsOutput", "Short side binding", "短辺綴じ"},
    {"QPrintPropertiesWidget", "Advanced", "詳細設定"},
    {"QPrintPropertiesWidget", "There are conflicts in some options. Please fix them.",
     "設定の一部が食い違っています。直して下さい。"},
    {"QPlatformTheme", "OK", "確認"},
    {"QAbstractFileIconProvider", "Drive", "ドライブ"},
    {"QAbstractFileIconProvider", "Folder", "フォルダー"},
    {"QPageSize", "A3 Extra", "A3 エクストラ"},
    {"QPageSize", "A4 Extra", "A4 エクストラ"},
    {"QPageSize", "A4 Plus", "A4 プラス"},
    {"QPageSize", "A4 Small", "A4 スモール"},
    {"QPageSize", "A5 Extra", "A5 エクストラ"},
    {"QPageSize", "B5 Extra", "B5 エクストラ"},
    {"QPageSize", "Super A", "スーパー A"},
    {"QPageSize", "Super B", "スーパー B"},
    {"QPageSize", "Legal Extra", "リーガル エクストラ"},
    {"QPageSize", "Letter Extra", "レター エクストラ"},
    {"QPageSize", "Letter Plus", "レター プラス"},
    {"QPageSize", "Letter Small", "レター スモール"},
    {"QPageSize", "Architect A", "米国建築 A"},
    {"QPageSize", "Architect B", "米国建築 B"},
    {"QPageSize", "Architect C", "米国建築 C"},
    {"QPageSize", "Architect D", "米国建築 D"},
    {"QPageSize", "Architect E", "米国建築 E"},
};

// Our own texts, asked before Qt's translation.
class OwnTranslator final : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char*, int) const override {
    if (context == nullptr || source == nullptr) return {};
    for (const OwnText& t : kOwnTexts)
      if (std::strcmp(context, t.context) == 0 && std::strcmp(source, t.source) == 0)
        return QString::fromUtf8(t.japanese);
    return {};
  }
};

}  // namespace

bool InstallQtTranslations() {
  static bool installed = false;
  if (installed) return true;
  // The window speaks Japanese whatever the user's locale: dates, sizes, Qt's texts.
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  installed = QCoreApplication::installTranslator(translator) &&
              QCoreApplication::installTranslator(new OwnTranslator(QCoreApplication::instance()));
  return installed;
}

}  // namespace zarvel::app
