#include "ComponentServer.h"

#include <dlfcn.h>

#include <cstring>

#include <QFileInfo>
#include <QWidget>

#include "ComponentInterface.h"
#include "ComponentRegistry.h"

using namespace ComponentInterface;

namespace {

int g_liveControls = 0;

class Factory final : public ComponentFactory {
public:
    const char* ProgId() const override { return ServedComponent().progId; }
    const char* ClassId() const override { return ServedComponent().classId; }

    QWidget* CreateInstance(QWidget* form, const QVariantMap& bag) override {
        QWidget* control = ServedComponent().create(form, bag);
        if (!control)
            return nullptr;
        control->setProperty(kProgIdProperty, QString::fromLatin1(ProgId()));
        ++g_liveControls;
        QObject::connect(control, &QObject::destroyed, [] { --g_liveControls; });
        return control;
    }
};

Factory g_factory;

bool Same(const char* a, const char* b) {
    return a && b && std::strcmp(a, b) == 0;
}

}  // namespace

namespace ComponentServer {

QString LibraryPath() {
    Dl_info info{};
    if (!dladdr(&g_factory, &info) || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
}

}  // namespace ComponentServer

#define COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))

COMPONENT_EXPORT qint32 DllRegisterServer() {
    const ComponentClass& served = ServedComponent();
    const QString library = ComponentServer::LibraryPath();
    if (library.isEmpty())
        return E_Fail;
    return ComponentRegistry::Register(QString::fromLatin1(served.progId),
                                       {QString::fromLatin1(served.classId), library}, nullptr)
               ? S_Ok
               : SelfReg_E_Class;
}

// S_False when the ProgID was not registered to this library: nothing was changed.
COMPONENT_EXPORT qint32 DllUnregisterServer() {
    switch (ComponentRegistry::Unregister(QString::fromLatin1(ServedComponent().progId),
                                          ComponentServer::LibraryPath(), nullptr)) {
        case ComponentRegistry::UnregisterResult::Removed:
            return S_Ok;
        case ComponentRegistry::UnregisterResult::NotRegistered:
        case ComponentRegistry::UnregisterResult::OtherLibrary:
            return S_False;
        case ComponentRegistry::UnregisterResult::Failed:
            break;
    }
    return SelfReg_E_Class;
}

COMPONENT_EXPORT qint32 DllGetClassObject(const char* classKey, const char* interfaceId,
                                          void** object) {
    if (!object)
        return E_Pointer;
    *object = nullptr;
    if (!Same(classKey, g_factory.ClassId()) && !Same(classKey, g_factory.ProgId()))
        return Class_E_ClassNotAvailable;
    if (!Same(interfaceId, kFactoryInterfaceId))
        return E_NoInterface;
    *object = static_cast<ComponentFactory*>(&g_factory);
    return S_Ok;
}

// The library may be unloaded once none of its controls is alive.
COMPONENT_EXPORT qint32 DllCanUnloadNow() {
    return g_liveControls == 0 ? S_Ok : S_False;
}
