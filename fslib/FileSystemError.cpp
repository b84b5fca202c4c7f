#include "FileSystemError.h"

#include <cerrno>
#include <cstring>

FileSystemError::FileSystemError(qint32 nNumber, const QString& strDescription)
    : m_number(nNumber), m_description(strDescription), m_what(strDescription.toUtf8()) {}

const char* FileSystemError::what() const noexcept {
    return m_what.constData();
}

FileSystemError FileSystemError::FileNotFound(const QString& strPath) {
    return FileSystemError(53, QStringLiteral("ファイルが見つかりません。 ") + strPath);
}

FileSystemError FileSystemError::SubscriptOutOfRange() {
    return FileSystemError(9, QStringLiteral("インデックスが有効範囲にありません。"));
}

FileSystemError FileSystemError::AttributeNotWritten(const QString& strPath, int errorNumber) {
    if (errorNumber == ENOTSUP || errorNumber == EOPNOTSUPP)
        return FileSystemError(
            75, QStringLiteral(
                    "このファイルシステムは拡張属性を保存できないため、属性を変更できません。 ") +
                    strPath);
    if (errorNumber == EPERM || errorNumber == EACCES || errorNumber == EROFS)
        return FileSystemError(70, QStringLiteral("書き込みできません。 ") + strPath);
    return FileSystemError(75,
                           QStringLiteral("属性を変更できません (%1)。 %2")
                               .arg(QString::fromLocal8Bit(std::strerror(errorNumber)), strPath));
}
