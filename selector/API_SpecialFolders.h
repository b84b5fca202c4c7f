#pragma once

#include <QString>
#include <QtGlobal>

// Paths of the desktop's special folders, by the special-folder identifiers the control's Root
// property and its callers use.
namespace API_SpecialFolders {

// The folder of id, without a trailing "/" (except "/" itself); empty for an id this platform
// has no folder for.
QString GetSpecialFolderPath(qint32 id);

}  // namespace API_SpecialFolders
