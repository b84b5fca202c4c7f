#pragma once

#include <QString>
#include <QtGlobal>

class DialogHost;

// The folder browser: a dialog that offers folders only and opens with one of them chosen.
namespace Fun_FolderSelect {

struct BrowseRequest {
    qint32 owner = 0;  // the owner window's handle
    qint32 root = 0;   // special-folder identifier of the top of the browsing; 0 is the desktop
    QString title;
    QString initialPath;  // the folder chosen when the dialog opens
};

// The chosen folder, or "" when the dialog was cancelled. The desktop (0) and the drives (17) as
// root leave the whole file system to browse; another root the dialog opens at when the initial
// folder lies outside it. A root this platform has no folder for is the desktop.
QString BrowseFolder(const BrowseRequest& request, DialogHost& host);

}  // namespace Fun_FolderSelect
