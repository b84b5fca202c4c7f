#include "ReplyFramer.h"

#include <cctype>

namespace {

bool StartsWithCode(const QByteArray& line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

QList<QByteArray> ReplyFramer::Feed(const QByteArray& bytes) {
    QList<QByteArray> replies;
    m_pending += bytes;
    qsizetype lineStart = m_scanned;
    for (;;) {
        const qsizetype newline = m_pending.indexOf('\n', lineStart);
        if (newline < 0)
            break;
        QByteArray line = m_pending.mid(lineStart, newline - lineStart);
        if (line.endsWith('\r'))
            line.chop(1);
        bool ends;
        if (m_openCode.isEmpty()) {
            // A line that is no reply at all still ends one, so that it gets seen and judged.
            ends = !(StartsWithCode(line) && line.size() > 3 && line[3] == '-');
            if (!ends)
                m_openCode = line.left(3);
        } else {
            ends = line.startsWith(m_openCode) && (line.size() == 3 || line[3] == ' ');
        }
        lineStart = newline + 1;
        if (ends) {
            replies.append(m_pending.left(lineStart));
            m_pending.remove(0, lineStart);
            lineStart = 0;
            m_openCode.clear();
        }
    }
    m_scanned = lineStart;
    return replies;
}

void ReplyFramer::Clear() {
    m_pending.clear();
    m_scanned = 0;
    m_openCode.clear();
}
