// Qt's own texts (standard buttons, the text fields' context menu, the file dialogs) in
// Japanese, like everything else the window shows.
#pragma once

namespace zarvel::app {

// Loads Qt's Japanese translations and our own for what they leave in English into the running
// application (once); false when Qt's are not installed, and Qt's texts then stay English.
bool InstallQtTranslations();

}  // namespace zarvel::app
