#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

// The persisted properties of a control, kept by its host form: values by name, names matched
// regardless of letter case. A value equal to its default is not written, so a bag holds only
// what differs from a new control.
class PropertyBag {
public:
    explicit PropertyBag(QVariantMap values = {}) : m_values(std::move(values)) {}

    // The stored value converted to the default's type, or the default when there is none or it
    // does not convert.
    QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const;
    // Stores value under name, replacing any spelling of it; removes it when it equals the
    // default.
    void WriteProperty(const QString& name, const QVariant& value, const QVariant& defaultValue);

    const QVariantMap& Values() const { return m_values; }

private:
    QString FindKey(const QString& name) const;

    QVariantMap m_values;
};
