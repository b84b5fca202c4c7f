#include "PassiveReply.h"

#include <QRegularExpression>

namespace PassiveReply {

bool ParseEpsv(const QString& reply, quint16* port) {
    // The delimiter is whatever printable character follows the bracket (RFC 2428 suggests "|").
    static const QRegularExpression kEpsv(QStringLiteral(R"(\(([!-~])\1\1(\d{1,5})\1\))"));
    const QRegularExpressionMatch match = kEpsv.match(reply);
    if (!match.hasMatch())
        return false;
    const uint value = match.captured(2).toUInt();
    if (value < 1 || value > 65535)
        return false;
    *port = static_cast<quint16>(value);
    return true;
}

bool ParsePasv(const QString& reply, QHostAddress* address, quint16* port) {
    static const QRegularExpression kPasv(
        QStringLiteral(R"((\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}))"));
    const QRegularExpressionMatch match = kPasv.match(reply.mid(4));
    if (!match.hasMatch())
        return false;
    uint n[6];
    for (int i = 0; i < 6; ++i) {
        n[i] = match.captured(i + 1).toUInt();
        if (n[i] > 255)
            return false;
    }
    const uint value = n[4] * 256 + n[5];
    if (value == 0)
        return false;
    *address = QHostAddress((n[0] << 24) | (n[1] << 16) | (n[2] << 8) | n[3]);
    *port = static_cast<quint16>(value);
    return true;
}

}  // namespace PassiveReply
