#pragma once

#include <QString>
#include <QVariantMap>

class QWidget;

// The library side of the component layer. A control library builds in ComponentServer.cpp,
// which defines the four exports (ComponentInterface.h), and defines ServedComponent() once: the
// one class it serves.
struct ComponentClass {
    const char* progId;
    const char* classId;
    // A new control as a child of form, its persisted properties read from bag.
    QWidget* (*create)(QWidget* form, const QVariantMap& bag);
};

const ComponentClass& ServedComponent();

namespace ComponentServer {
// The absolute path of the library this code is built into.
QString LibraryPath();
}  // namespace ComponentServer
