#pragma once

// Qt's own texts (standard buttons, the context menus of text fields, the standard dialogs) in
// Japanese, as every other text of the window is, whatever the locale says.
namespace QtTranslation {

// Installs Qt's Japanese translation into the application; false when it could not be loaded
// (the texts then stay in English).
bool InstallJapanese();

}  // namespace QtTranslation
