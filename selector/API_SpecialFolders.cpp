#include "API_SpecialFolders.h"

#include <QDir>
#include <QStandardPaths>

#include <optional>

namespace API_SpecialFolders {

namespace {

using Location = QStandardPaths::StandardLocation;

// Each identifier with a counterpart here, and where it points. The ones without a row (control
// panel, printers, favourites, recent documents, send-to, network, network neighbourhood, and
// 25) have no such folder on this platform and give "".
//
//   id  Windows folder                 here
//    0  desktop                        XDG desktop folder
//    2  start menu programs            $XDG_DATA_HOME/applications (the application menu)
//    5  personal (My Documents)        XDG documents folder
//    7  startup                        $XDG_CONFIG_HOME/autostart
//   10  recycle bin                    $XDG_DATA_HOME/Trash/files (the trash's files)
//   11  start menu                     $XDG_DATA_HOME/applications (the application menu)
//   13  my music                       XDG music folder
//   14  my videos                      XDG videos folder
//   16  desktop directory              XDG desktop folder
//   17  my computer (drives)           /
//   20  fonts                          the user's font folder
//   21  templates                      XDG templates folder
//   23  system folder (System32)       /usr/lib: the system's shared libraries
//   24  Windows folder                 /usr: where the system itself is installed
//   26  temporary folder               the temporary folder ($TMPDIR, else /tmp)
//   39  my pictures                    XDG pictures folder
//   40  user profile                   the home folder
struct Folder {
    qint32 id;
    std::optional<Location> location;
    const char* path;  // fixed, or relative to location when both are given
};

const Folder kFolders[] = {
    {0, QStandardPaths::DesktopLocation, ""},
    {2, QStandardPaths::ApplicationsLocation, ""},
    {5, QStandardPaths::DocumentsLocation, ""},
    {7, QStandardPaths::GenericConfigLocation, "autostart"},
    {10, QStandardPaths::GenericDataLocation, "Trash/files"},
    {11, QStandardPaths::ApplicationsLocation, ""},
    {13, QStandardPaths::MusicLocation, ""},
    {14, QStandardPaths::MoviesLocation, ""},
    {16, QStandardPaths::DesktopLocation, ""},
    {17, std::nullopt, "/"},
    {20, QStandardPaths::FontsLocation, ""},
    {21, QStandardPaths::TemplatesLocation, ""},
    {23, std::nullopt, "/usr/lib"},
    {24, std::nullopt, "/usr"},
    {26, QStandardPaths::TempLocation, ""},
    {39, QStandardPaths::PicturesLocation, ""},
    {40, QStandardPaths::HomeLocation, ""},
};

QString WithoutTrailingSlash(QString path) {
    if (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

}  // namespace

QString GetSpecialFolderPath(qint32 id) {
    for (const Folder& folder : kFolders) {
        if (folder.id != id)
            continue;
        const QString path = QString::fromLatin1(folder.path);
        if (!folder.location)
            return path;
        const QString base = QStandardPaths::writableLocation(*folder.location);
        if (base.isEmpty())
            return QString();
        return WithoutTrailingSlash(path.isEmpty() ? base : base + u'/' + path);
    }
    return QString();
}

}  // namespace API_SpecialFolders
