#pragma once

#include <QString>

class QWidget;

// The title of the application a window belongs to.
namespace Fun_AppTitle {

// The display name of the application that owns window: every window of this process belongs
// to the one application, so it is the application's display name (its name unless it set one).
QString GetAppTitle(const QWidget* window);

}  // namespace Fun_AppTitle
