// Qt's own texts (standard buttons, the text fields' context menu, the file dialogs) in
// Japanese, like everything else the window shows.
#pragma once

namespace zarvel::app {

// Loads Qt's Japanese translations into the running application (once); false when they are
// not installed, and Qt's texts then stay English.
bool InstallQtTranslations();

}  // namespace zarvel::app
