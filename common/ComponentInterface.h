#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QtGlobal>

class QWidget;

// What crosses between a host program and a control library loaded at run time: the four entries
// every control library exports, their result codes, the class factory they hand out, and the
// conventions by which a control describes its dispatch interface to a host that knows nothing
// of its class.
//
// A control is a QWidget. Its dispatch interface is its meta-object: each property is a
// Q_PROPERTY (a property that can only be assigned is a Q_INVOKABLE of one argument), each method
// a Q_INVOKABLE, each event a signal, and Q_CLASSINFO records their identifiers:
//     Q_CLASSINFO("dispid:68030000", "SetMinButton")     (eight hex digits)
//     Q_CLASSINFO("event:1", "AfterFormPosition")
// and a member's description, for a host or a designer to show, by its dispatch identifier:
//     Q_CLASSINFO("description:6803000B", "...")
// A member that fails records its error text in the dynamic property kErrorProperty of the
// control; the host takes it after the call.
namespace ComponentInterface {

// Results of the four entries, with the platform's usual values.
enum Result : qint32 {
    S_Ok = 0,
    S_False = 1,
    E_NoInterface = qint32(0x80004002),
    E_Pointer = qint32(0x80004003),
    E_Fail = qint32(0x80004005),
    Class_E_ClassNotAvailable = qint32(0x80040111),
    SelfReg_E_Class = qint32(0x80040201),
};

// The factory interface that DllGetClassObject hands out; a host asks for it by this id.
inline constexpr char kFactoryInterfaceId[] = "ComponentFactory/1";

inline constexpr char kDispIdPrefix[] = "dispid:";
inline constexpr char kEventIdPrefix[] = "event:";
// Dynamic properties of a created control: its ProgID (so that form-wide actions can leave the
// widgets inside hosted controls alone) and the error text of its last failed member.
inline constexpr char kProgIdProperty[] = "componentProgId";
inline constexpr char kErrorProperty[] = "componentError";

// Hands out the controls of one class. The library owns it; a host never deletes it.
class ComponentFactory {
public:
    virtual const char* ProgId() const = 0;
    virtual const char* ClassId() const = 0;
    // A new control as a child of form, its persisted properties read from bag.
    virtual QWidget* CreateInstance(QWidget* form, const QVariantMap& bag) = 0;

protected:
    ~ComponentFactory() = default;
};

// The exports. DllGetClassObject takes the class id or the ProgID of the class (a library found
// beside a program, unregistered, is asked by ProgID) and the interface id above.
using DllRegisterServerFn = qint32 (*)();
using DllUnregisterServerFn = qint32 (*)();
using DllGetClassObjectFn = qint32 (*)(const char* classKey, const char* interfaceId,
                                       void** object);
using DllCanUnloadNowFn = qint32 (*)();

// Called by a control's member that fails: the host reports text as the member's error.
inline void RaiseError(QObject* control, const QString& text) {
    control->setProperty(kErrorProperty, text);
}

}  // namespace ComponentInterface
