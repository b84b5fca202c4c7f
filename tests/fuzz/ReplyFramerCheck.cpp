#include <QList>

#include "FtpLimits.h"
#include "FuzzChecks.h"
#include "ReplyFramer.h"

namespace {

struct Framing {
    QList<QByteArray> replies;
    QString fault;
    bool operator==(const Framing&) const = default;
};

// Feeds the input in pieces of the sizes pieceAt gives, taking the replies after each piece.
template <typename PieceSize>
Framing Frame(QByteArrayView input, PieceSize pieceAt) {
    ::ReplyFramer framer;
    Framing framing;
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype size = qMin(pieceAt(at), input.size() - at);
        if (!framer.Feed(input.sliced(at, size))) {
            framing.fault = framer.Fault();
            break;
        }
        at += size;
        QByteArray reply;
        while (framer.Next(&reply))
            framing.replies.append(reply);
    }
    return framing;
}

}  // namespace

namespace FuzzChecks {

QString ReplyFramer(QByteArrayView input) {
    const Framing whole = Frame(input, [&](qsizetype) { return input.size(); });
    QByteArray joined;
    for (const QByteArray& reply : whole.replies) {
        if (!reply.endsWith('\n'))
            return QStringLiteral("a reply without its line end");
        joined += reply;
    }
    if (!input.startsWith(joined))
        return QStringLiteral("replies that are not the stream's own bytes");
    // Held whole, the stream breaks no limit but a line's; split, it must frame the same.
    if (input.size() > FtpLimits::kMaxReply)
        return {};
    if (Frame(input, [](qsizetype) { return qsizetype{1}; }) != whole)
        return QStringLiteral("framed differently byte by byte");
    const auto varied = [&](qsizetype at) {
        return qsizetype{1} + static_cast<unsigned char>(input[at]) % 13;
    };
    if (Frame(input, varied) != whole)
        return QStringLiteral("framed differently in pieces");
    return {};
}

}  // namespace FuzzChecks
