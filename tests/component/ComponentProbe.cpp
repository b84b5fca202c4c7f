// A small control library for the component layer's tests: one property of each kind, methods
// that convert, return and fail, and events whose by-reference argument must come back.
#include <QWidget>

#include "ComponentInterface.h"
#include "ComponentServer.h"

class ComponentProbe : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("dispid:68030000", "Text")
    Q_CLASSINFO("dispid:68030001", "Count")
    Q_CLASSINFO("dispid:68030002", "Poke")
    Q_CLASSINFO("dispid:60030000", "Join")
    Q_CLASSINFO("dispid:60030001", "Fail")
    Q_CLASSINFO("dispid:60030002", "NameOf")
    Q_CLASSINFO("dispid:60030003", "Ghost")
    Q_CLASSINFO("event:1", "BeforeChange")
    Q_CLASSINFO("event:2", "Changed")
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(int Count READ Count)

public:
    explicit ComponentProbe(QWidget* form) : QWidget(form) {}

    QString Text() const { return m_text; }
    void setText(const QString& text) {
        bool cancel = false;
        QString proposed = text;
        emit BeforeChange(proposed, cancel);
        if (cancel)
            return;
        m_text = proposed;
        ++m_count;
        emit Changed(m_text);
    }
    int Count() const { return m_count; }

    Q_INVOKABLE void Poke(int count) { m_count = count; }
    Q_INVOKABLE QString Join(const QString& a, int times = 1) const { return a.repeated(times); }
    Q_INVOKABLE void Fail() { ComponentInterface::RaiseError(this, QStringLiteral("it failed")); }
    Q_INVOKABLE QString NameOf(QWidget* widget) const {
        return widget ? widget->objectName() : QStringLiteral("none");
    }

signals:
    // The handler may change the text and cancel the change.
    void BeforeChange(QString& Text, bool& Cancel);
    void Changed(const QString& Text);

private:
    QString m_text;
    int m_count = 0;
};

namespace {

QWidget* CreateProbe(QWidget* form, const QVariantMap& bag) {
    auto* probe = new ComponentProbe(form);
    probe->Poke(bag.value(QStringLiteral("Count"), 0).toInt());
    return probe;
}

}  // namespace

const ComponentClass& ServedComponent() {
    static const ComponentClass served{"SkerrowTest.ComponentProbe",
                                       "{0CF8163C-B488-4FEF-9514-1C6BF16ADF5B}", &CreateProbe};
    return served;
}

#include "ComponentProbe.moc"
