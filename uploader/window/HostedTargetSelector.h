#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QVariantMap>

class ComponentControl;
class QLabel;
class QWidget;

// One target selector of the window: the control Hobrand_Pelomir.Pelomir, created from its
// library by ProgID and reached late-bound by its dispatch identifiers. When the library cannot
// be loaded, a label shows the path in its place: nothing can be chosen then, but the path the
// window gives it reads back unchanged, so a profile's folder and the table setting pass through
// intact.
class HostedTargetSelector : public QObject {
public:
    // A control named name on form, its design-time properties in bag.
    HostedTargetSelector(QWidget* form, const QString& name, const QVariantMap& bag);

    // The control, or the label in its place.
    QWidget* Widget() const;
    // Null when the library could not be loaded.
    ComponentControl* Control() const { return m_control; }
    // Why the control is missing or refused a member, the first time it happened; empty while
    // all is well.
    QString Error() const { return m_error; }

    // Shows path; "" empties the selector.
    void setInitDir(const QString& path);
    // The chosen path.
    QString Target() const;
    void setENABLED(bool enabled);
    bool ENABLED() const;
    // handler runs each time the user chooses a new path.
    void OnPelomir(std::function<void()> handler);

private:
    void Note(const QString& error) const;

    ComponentControl* m_control = nullptr;
    QLabel* m_label = nullptr;
    mutable QString m_error;
};
