#include "Fun_FindRootContainer.h"

#include <QWidget>

namespace Fun_FindRootContainer {

QObject* FindRootContainer(QObject* control, bool stopAtForm) {
    QObject* current = control;
    while (current) {
        const auto* widget = qobject_cast<QWidget*>(current);
        if (stopAtForm && widget && widget->isWindow())
            return current;
        if (!current->parent())
            return current;
        current = current->parent();
    }
    return current;
}

}  // namespace Fun_FindRootContainer
