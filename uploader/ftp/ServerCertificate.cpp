#include "ServerCertificate.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr qsizetype kDigestBytes = 32;

QString DateText(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

// Common name, organisation and country of the subject or the issuer.
template <typename Info>
QString Names(Info info) {
    QStringList parts;
    for (const auto attribute :
         {QSslCertificate::CommonName, QSslCertificate::Organization, QSslCertificate::CountryName})
        parts += info(attribute);
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QStringLiteral(", "));
}

}  // namespace

namespace ServerCertificate {

QByteArray Fingerprint(const QSslCertificate& certificate) {
    return certificate.isNull() ? QByteArray() : certificate.digest(QCryptographicHash::Sha256);
}

QString FingerprintText(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QByteArray ParseFingerprint(const QString& text) {
    QString hex = text.mid(text.lastIndexOf(u'=') + 1).trimmed();
    static const QRegularExpression kPairs(
        QStringLiteral("^[0-9A-Fa-f]{2}(:?[0-9A-Fa-f]{2}){%1}$").arg(kDigestBytes - 1));
    if (!kPairs.match(hex).hasMatch())
        return {};
    hex.remove(u':');
    return QByteArray::fromHex(hex.toLatin1());
}

QString Describe(const QSslCertificate& certificate, const QList<QSslError>& errors) {
    const auto subject = [&](QSslCertificate::SubjectInfo a) { return certificate.subjectInfo(a); };
    const auto issuer = [&](QSslCertificate::SubjectInfo a) { return certificate.issuerInfo(a); };
    QString text = QStringLiteral("発行先: ") + Names(subject) + QStringLiteral("\r\n発行者: ") +
                   Names(issuer) + QStringLiteral("\r\n有効期間: ") +
                   DateText(certificate.effectiveDate()) + QStringLiteral(" ～ ") +
                   DateText(certificate.expiryDate()) + QStringLiteral("\r\nSHA-256: ") +
                   FingerprintText(Fingerprint(certificate));
    QStringList reasons;
    for (const QSslError& error : errors)
        reasons += error.errorString();
    reasons.removeDuplicates();
    if (!reasons.isEmpty())
        text += QStringLiteral("\r\n理由: ") + reasons.join(QStringLiteral(" / "));
    return text;
}

}  // namespace ServerCertificate
