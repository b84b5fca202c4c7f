#include "HostKeyFingerprint.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace HostKeyFingerprint {

QByteArray Of(const QByteArray& key) {
    return QCryptographicHash::hash(key, QCryptographicHash::Sha256);
}

QString Text(const QByteArray& digest) {
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

QByteArray Parse(const QString& text) {
    static const QRegularExpression kFingerprint(
        QStringLiteral("(?:^|\\s)SHA256:([A-Za-z0-9+/]{43})=?(?:\\s|$)"));
    const QRegularExpressionMatch match = kFingerprint.match(text.trimmed());
    if (!match.hasMatch())
        return QByteArray();
    const QByteArray digest = QByteArray::fromBase64(match.captured(1).toLatin1());
    return digest.size() == 32 ? digest : QByteArray();
}

}  // namespace HostKeyFingerprint
