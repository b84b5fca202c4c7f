#include "ConnectionFailureText.h"

#include <QRegularExpression>
#include <QStringView>

#include "ServerText.h"

namespace ConnectionFailureText {

QString Reason(const QString& faultReason, const QString& lastReply) {
    if (!faultReason.isEmpty())
        return faultReason;
    return ServerText::Printable(lastReply.simplified());
}

bool MentionsTls(const QString& reason) {
    static const QRegularExpression kTls(QStringLiteral("encrypt|\\bTLS|\\bSSL"),
                                         QRegularExpression::CaseInsensitiveOption);
    return kTls.match(reason).hasMatch();
}

// A feature line "AUTH TLS", or one naming TLS among its mechanisms ("AUTH SSL;TLS").
bool OffersTls(const QString& featReply) {
    for (const QStringView line : QStringView(featReply).tokenize(u'\n')) {
        const QStringView feature = line.trimmed();
        if (feature.startsWith(QLatin1String("AUTH "), Qt::CaseInsensitive) &&
            feature.contains(QLatin1String("TLS"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString BoxText(const QString& reason, bool pointToTls) {
    QString text = QStringLiteral("接続に失敗しました。設定を確認してください。");
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n") + reason;
    if (pointToTls)
        text += QStringLiteral(
            "\r\nTLS での接続が必要な場合は、ﾌｧｲﾙ → ｻｰﾊﾞｰ接続設定 で "
            "TLS を「必須 (AUTH TLS)」に（設定ファイルでは Tls=Require に）"
            "してください。");
    return text;
}

}  // namespace ConnectionFailureText
