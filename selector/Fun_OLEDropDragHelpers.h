#pragma once

#include <QStringList>
#include <Qt>

class QMimeData;

// What a drop onto the control may do, and the files it carries.
namespace Fun_OLEDropDragHelpers {

// A drag over the control may only copy.
Qt::DropActions LimitDropEffect(Qt::DropActions effect);

// The local files of a drop, in the order they were dragged, into files; false (files holding
// one empty element) when the data carries none. Anything else it carries is ignored.
bool GetDroppedFiles(const QMimeData* data, QStringList* files);

}  // namespace Fun_OLEDropDragHelpers
