#pragma once

#include <QString>

class QWidget;

// Remembering a form's place, size and window state in the host program's INI file, section
// "Position_" + the form's name, values in twips.
namespace Fun_FormPosRegistResume {

// The host program's own INI file: $XDG_DATA_HOME/<application name>/<application name>.ini,
// the file that holds the program's settings.
QString PositionIniPath();
QString SectionName(const QWidget* form);

// Saves the window state and, for a normal window, its place and outer size. A minimized form
// saves nothing; a maximized one keeps the place and size saved before. False with the reason
// when the file could not be created (a read-only file is not written and is no error).
bool SavePosition(QWidget* form, QString* error);

enum class Restore { Restored, NothingStored, NotNumeric };
// Puts the form back where it was saved, pulled back onto the primary screen. Changes nothing
// when a value is missing or not a number.
Restore RestorePosition(QWidget* form);

}  // namespace Fun_FormPosRegistResume
