#include "Fun_OLEDropDragHelpers.h"

#include <QMimeData>
#include <QUrl>

namespace Fun_OLEDropDragHelpers {

Qt::DropActions LimitDropEffect(Qt::DropActions effect) {
    return effect & Qt::CopyAction;
}

bool GetDroppedFiles(const QMimeData* data, QStringList* files) {
    *files = QStringList{QString()};
    if (!data || !data->hasUrls())
        return false;
    QStringList local;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            local.append(url.toLocalFile());
    }
    if (local.isEmpty())
        return false;
    *files = local;
    return true;
}

}  // namespace Fun_OLEDropDragHelpers
