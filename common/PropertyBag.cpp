#include "PropertyBag.h"

QString PropertyBag::FindKey(const QString& name) const {
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    }
    return QString();
}

QVariant PropertyBag::ReadProperty(const QString& name, const QVariant& defaultValue) const {
    const QString key = FindKey(name);
    if (key.isNull())
        return defaultValue;
    QVariant value = m_values.value(key);
    if (defaultValue.isValid() && !value.convert(defaultValue.metaType()))
        return defaultValue;
    return value;
}

void PropertyBag::WriteProperty(const QString& name, const QVariant& value,
                                const QVariant& defaultValue) {
    for (QString key = FindKey(name); !key.isNull(); key = FindKey(name))
        m_values.remove(key);
    if (value != defaultValue)
        m_values.insert(name, value);
}
