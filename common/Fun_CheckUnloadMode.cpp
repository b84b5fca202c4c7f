#include "Fun_CheckUnloadMode.h"

#include <QCoreApplication>

namespace Fun_CheckUnloadMode {

bool CheckUnloadMode(qint16 mode) {
    return mode == UnloadMode_AppWindows || mode == UnloadMode_AppTaskManager;
}

void EndOnSystemUnload(qint16 mode) {
    if (CheckUnloadMode(mode))
        QCoreApplication::exit(0);
}

}  // namespace Fun_CheckUnloadMode
