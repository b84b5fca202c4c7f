#include "API_SendPostMSG.h"

#include <QMetaObject>
#include <QWidget>

namespace API_SendPostMSG {

void PostClose(QWidget* form) {
    QMetaObject::invokeMethod(form, &QWidget::close, Qt::QueuedConnection);
}

bool SendClose(QWidget* form) {
    return form->close();
}

}  // namespace API_SendPostMSG
