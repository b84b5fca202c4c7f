#include "AppFiles.h"

#include <QDir>
#include <QStandardPaths>

#include "AppTitle.h"

namespace AppFiles {

QString AppFolder() {
    // GenericDataLocation honours XDG_DATA_HOME, which tests point at a temporary folder.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QLatin1Char('/') + AppTitle::Title();
    QDir().mkpath(folder);
    return folder;
}

QString AppFilePath(const QString& suffix) {
    return AppFolder() + QLatin1Char('/') + AppTitle::Title() + suffix;
}

}  // namespace AppFiles
