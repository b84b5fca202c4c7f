#include "ComponentControl.h"

#include <array>
#include <optional>

#include <QFileInfo>
#include <QLibrary>
#include <QMetaClassInfo>
#include <QMetaProperty>
#include <QWidget>

#include "ComponentInterface.h"
#include "ComponentRegistry.h"

using namespace ComponentInterface;

namespace {

QString Hex(qint32 id) {
    return QStringLiteral("0x%1").arg(quint32(id), 8, 16, QLatin1Char('0'));
}

// Every failure ends here: false, with the text for the caller.
bool Fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

// value as the type a member takes; false with the reason in why.
bool ConvertTo(const QVariant& value, QMetaType type, QVariant* out, QString* why) {
    if (type == QMetaType::fromType<QVariant>()) {
        *out = QVariant::fromValue(value);
        return true;
    }
    if (type.flags() & QMetaType::PointerToQObject) {
        QObject* object = nullptr;
        if (value.metaType().flags() & QMetaType::PointerToQObject)
            object = *static_cast<QObject* const*>(value.constData());
        else if (value.isValid() && !value.isNull())
            return Fail(why, QStringLiteral("a %1 is not an object").arg(value.typeName()));
        if (object && !object->metaObject()->inherits(type.metaObject()))
            return Fail(why, QStringLiteral("a %1 is not a %2")
                                 .arg(object->metaObject()->className(), type.name()));
        *out = QVariant(type, &object);
        return true;
    }
    QVariant converted = value;
    if (converted.metaType() != type && !converted.convert(type))
        return Fail(why, QStringLiteral("a %1 does not convert to %2")
                             .arg(value.isValid() ? value.typeName() : "empty value", type.name()));
    *out = converted;
    return true;
}

std::optional<qint32> ParseId(const char* name, const char* prefix) {
    const QByteArray key(name);
    if (!key.startsWith(prefix))
        return std::nullopt;
    bool ok = false;
    const quint32 id = key.mid(qstrlen(prefix)).toUInt(&ok, 16);
    return ok ? std::optional<qint32>(qint32(id)) : std::nullopt;
}

// The factory of progId in library, loaded (and never unloaded); false with the reason in error.
bool LoadFactory(const QString& library, const QString& progId, const QString& classKey,
                 ComponentFactory** factory, QString* error) {
    QLibrary lib(library);
    if (!lib.load())
        return Fail(error, QStringLiteral("cannot load %1: %2").arg(library, lib.errorString()));
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFn>(lib.resolve("DllGetClassObject"));
    if (!getClassObject)
        return Fail(error,
                    QStringLiteral("%1 is not a control library: it has no DllGetClassObject")
                        .arg(library));
    void* object = nullptr;
    const QByteArray key = classKey.toLatin1();
    const qint32 result = getClassObject(key.constData(), kFactoryInterfaceId, &object);
    if (result == E_NoInterface)
        return Fail(error, QStringLiteral("%1 does not offer the factory interface %2")
                               .arg(library, kFactoryInterfaceId));
    *factory = static_cast<ComponentFactory*>(object);
    if (result != S_Ok || !*factory || QString::fromLatin1((*factory)->ProgId()) != progId)
        return Fail(error,
                    QStringLiteral("%1 does not serve %2 (%3)").arg(library, progId, Hex(result)));
    return true;
}

}  // namespace

// A parameter declared "T&" has no meta-type of its own; it is T's.
QMetaType ComponentEvent::ArgumentType(int index) const {
    const QMetaType type = m_signal.parameterMetaType(index);
    if (type.isValid())
        return type;
    QByteArray name = m_signal.parameterTypeName(index);
    if (name.endsWith('&'))
        name.chop(1);
    return QMetaType::fromName(name);
}

QVariant ComponentEvent::Value(int index) const {
    if (index < 0 || index >= Count() || !ArgumentType(index).isValid())
        return QVariant();
    return QVariant(ArgumentType(index), m_argv[index + 1]);
}

bool ComponentEvent::IsByRef(int index) const {
    if (index < 0 || index >= Count())
        return false;
    const QByteArray type = m_signal.parameterTypeName(index);
    return type.endsWith('&') && !type.startsWith("const ");
}

bool ComponentEvent::SetValue(int index, const QVariant& value) {
    if (!IsByRef(index) || !ArgumentType(index).isValid())
        return false;
    const QMetaType type = ArgumentType(index);
    QVariant converted;
    QString why;
    if (!ConvertTo(value, type, &converted, &why))
        return false;
    type.destruct(m_argv[index + 1]);
    type.construct(m_argv[index + 1], converted.constData());
    return true;
}

ComponentControl* ComponentControl::Create(const QString& progId, QWidget* form,
                                           const QVariantMap& bag, QString* error) {
    const std::optional<ComponentRegistry::Entry> entry = ComponentRegistry::Lookup(progId);
    QString library;
    for (const QString& candidate : ComponentRegistry::LibraryCandidates(progId)) {
        if (QFileInfo(candidate).isFile()) {
            library = candidate;
            break;
        }
    }
    if (library.isEmpty()) {
        Fail(error, entry ? QStringLiteral("%1 is registered to %2, which does not exist "
                                           "(registry %3)")
                                .arg(progId, entry->library, ComponentRegistry::RegistryPath())
                          : QStringLiteral("%1 is not registered and %2 is not in %3")
                                .arg(progId, ComponentRegistry::LibraryFileName(progId),
                                     ComponentRegistry::LibraryFolders().join(u", ")));
        return nullptr;
    }
    const QString classKey = entry && !entry->classId.isEmpty() ? entry->classId : progId;
    ComponentFactory* factory = nullptr;
    if (!LoadFactory(library, progId, classKey, &factory, error))
        return nullptr;
    QWidget* control = factory->CreateInstance(form, bag);
    if (!control) {
        Fail(error, QStringLiteral("%1 could not create %2").arg(library, progId));
        return nullptr;
    }
    return new ComponentControl(control, library);
}

ComponentControl::ComponentControl(QWidget* control, const QString& library)
    : QObject(control), m_library(library) {}

QWidget* ComponentControl::Widget() const {
    return static_cast<QWidget*>(parent());
}

QString ComponentControl::Describe(qint32 dispId, const QByteArray& name) const {
    return QStringLiteral("%1 %2 (%3)")
        .arg(Widget()->property(kProgIdProperty).toString(), QString::fromLatin1(name),
             Hex(dispId));
}

QByteArray ComponentControl::MemberName(qint32 dispId, QString* error) const {
    const QMetaObject* meta = Widget()->metaObject();
    for (int i = 0; i < meta->classInfoCount(); ++i) {
        if (ParseId(meta->classInfo(i).name(), kDispIdPrefix) == dispId)
            return meta->classInfo(i).value();
    }
    Fail(error, QStringLiteral("%1 has no member with the dispatch id %2")
                    .arg(Widget()->property(kProgIdProperty).toString(), Hex(dispId)));
    return QByteArray();
}

QList<QMetaMethod> ComponentControl::Methods(const QByteArray& name) const {
    QList<QMetaMethod> methods;
    const QMetaObject* meta = Widget()->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.name() == name && method.access() == QMetaMethod::Public &&
            method.methodType() != QMetaMethod::Signal)
            methods.append(method);
    }
    return methods;
}

bool ComponentControl::TakeControlError(const QByteArray& member, QString* error) const {
    const QString text = Widget()->property(kErrorProperty).toString();
    if (text.isEmpty())
        return true;
    Widget()->setProperty(kErrorProperty, QVariant());
    return Fail(error, QStringLiteral("%1: %2").arg(QString::fromLatin1(member), text));
}

bool ComponentControl::GetProperty(qint32 dispId, QVariant* value, QString* error) const {
    const QByteArray name = MemberName(dispId, error);
    if (name.isEmpty())
        return false;
    const QMetaObject* meta = Widget()->metaObject();
    const int index = meta->indexOfProperty(name.constData());
    if (index < 0 || !meta->property(index).isReadable())
        return Fail(error, QStringLiteral("%1 cannot be read").arg(Describe(dispId, name)));
    Widget()->setProperty(kErrorProperty, QVariant());
    const QVariant read = meta->property(index).read(Widget());
    if (!TakeControlError(name, error))
        return false;
    if (value)
        *value = read;
    return true;
}

bool ComponentControl::SetProperty(qint32 dispId, const QVariant& value, QString* error) {
    const QByteArray name = MemberName(dispId, error);
    if (name.isEmpty())
        return false;
    const QMetaObject* meta = Widget()->metaObject();
    const int index = meta->indexOfProperty(name.constData());
    if (index < 0) {
        // A property that can only be assigned is a method of one argument.
        for (const QMetaMethod& method : Methods(name)) {
            if (method.parameterCount() == 1)
                return CallMethod(method, {value}, nullptr, error);
        }
        return Fail(error, QStringLiteral("%1 cannot be assigned").arg(Describe(dispId, name)));
    }
    const QMetaProperty property = meta->property(index);
    if (!property.isWritable())
        return Fail(error, QStringLiteral("%1 is read-only").arg(Describe(dispId, name)));
    QVariant converted;
    QString why;
    if (!ConvertTo(value, property.metaType(), &converted, &why))
        return Fail(error, QStringLiteral("%1: %2").arg(Describe(dispId, name), why));
    Widget()->setProperty(kErrorProperty, QVariant());
    if (!property.write(Widget(), converted))
        return Fail(error, QStringLiteral("%1 refused the value").arg(Describe(dispId, name)));
    return TakeControlError(name, error);
}

bool ComponentControl::Invoke(qint32 dispId, const QVariantList& args, QVariant* result,
                              QString* error) {
    const QByteArray name = MemberName(dispId, error);
    if (name.isEmpty())
        return false;
    if (Widget()->metaObject()->indexOfProperty(name.constData()) >= 0)
        return Fail(error,
                    QStringLiteral("%1 is a property, not a method").arg(Describe(dispId, name)));
    const QList<QMetaMethod> methods = Methods(name);
    if (methods.isEmpty())
        return Fail(
            error, QStringLiteral("%1 is not a member of the control").arg(Describe(dispId, name)));
    QStringList counts;
    for (const QMetaMethod& method : methods) {
        if (method.parameterCount() == args.size())
            return CallMethod(method, args, result, error);
        counts.append(QString::number(method.parameterCount()));
    }
    return Fail(error, QStringLiteral("%1 takes %2 arguments, not %3")
                           .arg(Describe(dispId, name), counts.join(QStringLiteral(" or ")))
                           .arg(args.size()));
}

bool ComponentControl::CallMethod(const QMetaMethod& method, const QVariantList& args,
                                  QVariant* result, QString* error) const {
    constexpr int kMaxArguments = 10;
    if (args.size() > kMaxArguments)
        return Fail(
            error,
            QStringLiteral("%1: too many arguments").arg(QString::fromLatin1(method.name())));
    QVariantList converted;
    for (int i = 0; i < args.size(); ++i) {
        QVariant value;
        QString why;
        if (!ConvertTo(args[i], method.parameterMetaType(i), &value, &why))
            return Fail(error, QStringLiteral("%1, argument %2: %3")
                                   .arg(QString::fromLatin1(method.name()))
                                   .arg(i + 1)
                                   .arg(why));
        converted.append(value);
    }
    const QList<QByteArray> types = method.parameterTypes();
    std::array<QGenericArgument, kMaxArguments> generic{};
    for (int i = 0; i < converted.size(); ++i)
        generic[i] = QGenericArgument(types[i].constData(), converted[i].constData());
    QVariant returned;
    QGenericReturnArgument returnArgument;
    if (method.returnMetaType().id() != QMetaType::Void) {
        returned = QVariant(method.returnMetaType());
        returnArgument = QGenericReturnArgument(method.typeName(), returned.data());
    }
    Widget()->setProperty(kErrorProperty, QVariant());
    if (!method.invoke(Widget(), Qt::DirectConnection, returnArgument, generic[0], generic[1],
                       generic[2], generic[3], generic[4], generic[5], generic[6], generic[7],
                       generic[8], generic[9]))
        return Fail(error, QStringLiteral("%1 could not be called")
                               .arg(QString::fromLatin1(method.methodSignature())));
    if (!TakeControlError(method.name(), error))
        return false;
    if (result)
        *result = returned;
    return true;
}

bool ComponentControl::ConnectEvent(int eventId, EventHandler handler, QString* error) {
    const QMetaObject* meta = Widget()->metaObject();
    QByteArray name;
    for (int i = 0; i < meta->classInfoCount() && name.isEmpty(); ++i) {
        if (ParseId(meta->classInfo(i).name(), kEventIdPrefix) == eventId)
            name = meta->classInfo(i).value();
    }
    for (int i = 0; !name.isEmpty() && i < meta->methodCount(); ++i) {
        const QMetaMethod signal = meta->method(i);
        if (signal.methodType() != QMetaMethod::Signal || signal.name() != name)
            continue;
        const int slot = QObject::staticMetaObject.methodCount() + int(m_connections.size());
        if (!QMetaObject::connect(Widget(), i, this, slot, Qt::DirectConnection))
            break;
        m_connections.append({signal, std::move(handler)});
        return true;
    }
    return Fail(error, QStringLiteral("%1 has no event with the id %2")
                           .arg(Widget()->property(kProgIdProperty).toString())
                           .arg(eventId));
}

int ComponentControl::qt_metacall(QMetaObject::Call call, int id, void** argv) {
    id = QObject::qt_metacall(call, id, argv);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod)
        return id;
    if (id < m_connections.size()) {
        // A copy: the handler may end the control, and this object with it.
        const Connection connection = m_connections.at(id);
        ComponentEvent event(connection.signal, argv);
        connection.handler(event);
    }
    return -1;
}
