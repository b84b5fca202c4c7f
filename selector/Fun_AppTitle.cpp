#include "Fun_AppTitle.h"

#include <QGuiApplication>

namespace Fun_AppTitle {

QString GetAppTitle(const QWidget* /*window*/) {
    return QGuiApplication::applicationDisplayName();
}

}  // namespace Fun_AppTitle
