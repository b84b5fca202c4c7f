#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The failure of a clsComDlg member: an error number and its text.
class ComDlgError : public std::exception {
public:
    ComDlgError(qint32 nNumber, const QString& strDescription)
        : m_number(nNumber), m_description(strDescription), m_what(strDescription.toUtf8()) {}

    qint32 Number() const { return m_number; }
    QString Description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    qint32 m_number;
    QString m_description;
    QByteArray m_what;
};
