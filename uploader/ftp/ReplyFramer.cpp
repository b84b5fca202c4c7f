#include "ReplyFramer.h"

#include <cctype>

#include "FtpLimits.h"

namespace {

bool StartsWithCode(QByteArrayView line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

bool ReplyFramer::Feed(QByteArrayView bytes) {
    if (!m_fault.isEmpty())
        return false;
    // Line lengths are checked as the bytes come, so no line is ever held whole past the limit.
    qsizetype from = 0;
    for (;;) {
        const qsizetype newline = bytes.indexOf('\n', from);
        const qsizetype length = m_tail + (newline < 0 ? bytes.size() : newline) - from;
        if (length > FtpLimits::kMaxLine) {
            m_fault = QStringLiteral("a reply line longer than %1 bytes").arg(FtpLimits::kMaxLine);
            return false;
        }
        if (newline < 0) {
            m_tail = length;
            break;
        }
        m_tail = 0;
        from = newline + 1;
    }
    if (m_pending.size() - m_begin + bytes.size() > FtpLimits::kMaxReply) {
        m_fault = QStringLiteral("more than %1 bytes of replies").arg(FtpLimits::kMaxReply);
        return false;
    }
    m_pending.append(bytes);
    return true;
}

bool ReplyFramer::Next(QByteArray* reply) {
    qsizetype lineStart = m_scanned;
    for (;;) {
        const qsizetype newline = m_pending.indexOf('\n', lineStart);
        if (newline < 0)
            break;
        QByteArrayView line(m_pending.constData() + lineStart, newline - lineStart);
        if (line.endsWith('\r'))
            line.chop(1);
        bool ends;
        if (m_openCode.isEmpty()) {
            // A line that is no reply at all still ends one, so that it gets seen and judged.
            ends = !(StartsWithCode(line) && line.size() > 3 && line[3] == '-');
            if (!ends)
                m_openCode = line.first(3).toByteArray();
        } else {
            ends = line.startsWith(m_openCode) && (line.size() == 3 || line[3] == ' ');
        }
        lineStart = newline + 1;
        if (ends) {
            *reply = m_pending.mid(m_begin, lineStart - m_begin);
            m_begin = lineStart;
            m_scanned = lineStart;
            m_openCode.clear();
            // Taken replies go once they are half of what is held, so moving costs no more than
            // taking.
            if (m_begin * 2 >= m_pending.size()) {
                m_pending.remove(0, m_begin);
                m_scanned -= m_begin;
                m_begin = 0;
            }
            return true;
        }
    }
    m_scanned = lineStart;
    return false;
}

void ReplyFramer::Clear() {
    m_pending.clear();
    m_begin = 0;
    m_scanned = 0;
    m_openCode.clear();
    m_tail = 0;
    m_fault.clear();
}
