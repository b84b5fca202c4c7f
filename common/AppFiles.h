#pragma once

#include <QString>

// Where every file "beside the program" lives: $XDG_DATA_HOME/SkerrowEx (by default
// ~/.local/share/SkerrowEx), created on first use. The window and the headless runner share it.
namespace AppFiles {
// The folder, without a trailing separator.
QString AppFolder();
// The folder + "/SkerrowEx" + suffix, e.g. AppFilePath(".dat") for the profile file.
QString AppFilePath(const QString& suffix);
}  // namespace AppFiles
