#pragma once

#include <QtGlobal>

// Telling a forced end of the program from a close the user or the program asked for.
namespace Fun_CheckUnloadMode {

// Why a form is being closed.
enum UnloadMode : qint16 {
    UnloadMode_FormControlMenu = 0,  // the user closes the window
    UnloadMode_FormCode = 1,         // the program closes it
    UnloadMode_AppWindows = 2,       // the desktop session ends
    UnloadMode_AppTaskManager = 3,   // the program is terminated (SIGTERM)
};

// True for a session end or a termination: the program must end at once.
bool CheckUnloadMode(qint16 mode);

// Ends the program's event loop at once when CheckUnloadMode is true; nothing else runs.
void EndOnSystemUnload(qint16 mode);

}  // namespace Fun_CheckUnloadMode
