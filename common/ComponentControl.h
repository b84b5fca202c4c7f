#pragma once

#include <functional>

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QString>
#include <QVariant>

class QWidget;

// The arguments of one event as its handler sees them. An argument the control passes by
// reference (a signal parameter declared "T&") may be given a new value, which the control reads
// back when the handler returns, as a Cancel flag is.
class ComponentEvent {
public:
    ComponentEvent(const QMetaMethod& signal, void** argv) : m_signal(signal), m_argv(argv) {}

    int Count() const { return m_signal.parameterCount(); }
    QVariant Value(int index) const;
    bool IsByRef(int index) const;
    // False (and nothing changed) for an argument passed by value, an index out of range or a
    // value that does not convert to the argument's type.
    bool SetValue(int index, const QVariant& value);

private:
    QMetaType ArgumentType(int index) const;

    QMetaMethod m_signal;
    void** m_argv;
};

// The host side of late binding: a control created by ProgID from a library loaded at run time,
// reached only by the dispatch identifiers and event ids of its type library. A wrong ProgID,
// dispatch id, event id, argument count or argument type, and an error the control raises, give
// false with a clear text in error.
class ComponentControl : public QObject {
public:
    using EventHandler = std::function<void(ComponentEvent&)>;

    // Finds and loads the library that serves progId (ComponentRegistry::LibraryCandidates) and
    // creates its control as a child of form, its persisted properties read from bag. The result
    // is the control's child and lives as long as it; null with the reason in error.
    static ComponentControl* Create(const QString& progId, QWidget* form, const QVariantMap& bag,
                                    QString* error);

    QWidget* Widget() const;
    QString LibraryPath() const { return m_library; }

    bool GetProperty(qint32 dispId, QVariant* value, QString* error = nullptr) const;
    bool SetProperty(qint32 dispId, const QVariant& value, QString* error = nullptr);
    bool Invoke(qint32 dispId, const QVariantList& args = {}, QVariant* result = nullptr,
                QString* error = nullptr);
    // The handler runs each time the control raises the event, before the control goes on.
    bool ConnectEvent(int eventId, EventHandler handler, QString* error = nullptr);

    // Events arrive here as calls of methods this object does not declare, one per connection.
    int qt_metacall(QMetaObject::Call call, int id, void** argv) override;

private:
    struct Connection {
        QMetaMethod signal;
        EventHandler handler;
    };

    ComponentControl(QWidget* control, const QString& library);
    QByteArray MemberName(qint32 dispId, QString* error) const;
    QList<QMetaMethod> Methods(const QByteArray& name) const;
    bool CallMethod(const QMetaMethod& method, const QVariantList& args, QVariant* result,
                    QString* error) const;
    bool TakeControlError(const QByteArray& member, QString* error) const;
    QString Describe(qint32 dispId, const QByteArray& name) const;

    QString m_library;
    QList<Connection> m_connections;
};
