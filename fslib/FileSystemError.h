#pragma once

#include <QString>

#include <exception>

// The failure of a clsFileSystem member: an error number and its text, in the manner of the
// runtime errors the class has always raised (53 for a missing current file, and so on).
class FileSystemError : public std::exception {
public:
    FileSystemError(qint32 nNumber, const QString& strDescription);

    qint32 Number() const { return m_number; }
    QString Description() const { return m_description; }
    // The description in UTF-8.
    const char* what() const noexcept override;

    // 53: the current file does not exist or cannot be read (a folder, for one).
    static FileSystemError FileNotFound(const QString& strPath);
    // 9: a path climbs with ".." above its first piece.
    static FileSystemError SubscriptOutOfRange();
    // 70 or 75: an attribute could not be written; errorNumber is the system's errno.
    static FileSystemError AttributeNotWritten(const QString& strPath, int errorNumber);

private:
    qint32 m_number;
    QString m_description;
    QByteArray m_what;
};
