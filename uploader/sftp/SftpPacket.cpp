#include "SftpPacket.h"

#include <QtEndian>

namespace Sftp {

Request::Request(QByteArray* out, Type type, quint32 id) : m_out(*out), m_start(out->size()) {
    U32(0);
    m_out.append(static_cast<char>(type));
    if (type != FXP_INIT)
        U32(id);
}

Request::~Request() {
    qToBigEndian(static_cast<quint32>(m_out.size() - m_start - 4), m_out.data() + m_start);
}

Request& Request::U32(quint32 value) {
    char bytes[4];
    qToBigEndian(value, bytes);
    m_out.append(bytes, 4);
    return *this;
}

Request& Request::U64(quint64 value) {
    char bytes[8];
    qToBigEndian(value, bytes);
    m_out.append(bytes, 8);
    return *this;
}

Request& Request::String(const QByteArray& bytes) {
    return String(bytes.constData(), bytes.size());
}

Request& Request::String(const char* data, qsizetype size) {
    U32(static_cast<quint32>(size));
    m_out.append(data, size);
    return *this;
}

Reader::Reader(const QByteArray& message) : m_message(message) {}

bool Reader::Take(qsizetype size, const char** data) {
    if (m_bad || size < 0 || size > m_message.size() - m_at) {
        m_bad = true;
        return false;
    }
    *data = m_message.constData() + m_at;
    m_at += size;
    return true;
}

quint8 Reader::Type() {
    const char* data = nullptr;
    return Take(1, &data) ? static_cast<quint8>(*data) : 0;
}

quint32 Reader::U32() {
    const char* data = nullptr;
    return Take(4, &data) ? qFromBigEndian<quint32>(data) : 0;
}

quint64 Reader::U64() {
    const char* data = nullptr;
    return Take(8, &data) ? qFromBigEndian<quint64>(data) : 0;
}

QByteArray Reader::String() {
    const quint32 size = U32();
    const char* data = nullptr;
    return Take(static_cast<qsizetype>(size), &data) ? QByteArray(data, size) : QByteArray();
}

Attributes Reader::ReadAttributes() {
    enum : quint32 {
        Size = 0x1,
        UidGid = 0x2,
        Permissions = 0x4,
        AccessModified = 0x8,
        Extended = 0x80000000
    };
    Attributes attributes;
    const quint32 flags = U32();
    if (flags & Size)
        U64();
    if (flags & UidGid) {
        U32();
        U32();
    }
    if (flags & Permissions) {
        attributes.hasPermissions = true;
        attributes.permissions = U32();
    }
    if (flags & AccessModified) {
        U32();
        U32();
    }
    if (flags & Extended) {
        for (quint32 count = U32(); count > 0 && !m_bad; --count) {
            String();
            String();
        }
    }
    return attributes;
}

bool Framer::Feed(const QByteArray& bytes) {
    if (m_at > 0 && m_at >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_at);
        m_at = 0;
    }
    m_buffer.append(bytes);
    // Every announced length is checked as soon as it is known.
    for (qsizetype at = m_at; m_buffer.size() - at >= 4;) {
        const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + at);
        if (length == 0 || length > kMaxMessage)
            return false;
        at += 4 + static_cast<qsizetype>(length);
    }
    return true;
}

bool Framer::Next(QByteArray* message) {
    if (m_buffer.size() - m_at < 4)
        return false;
    const auto length =
        static_cast<qsizetype>(qFromBigEndian<quint32>(m_buffer.constData() + m_at));
    if (m_buffer.size() - m_at - 4 < length)
        return false;
    *message = m_buffer.mid(m_at + 4, length);
    m_at += 4 + length;
    return true;
}

QString StatusText(quint32 code) {
    static const char* const kTexts[] = {
        "OK",          "End of file",   "No such file",    "Permission denied",    "Failure",
        "Bad message", "No connection", "Connection lost", "Operation unsupported"};
    return code < std::size(kTexts) ? QString::fromLatin1(kTexts[code])
                                    : QStringLiteral("Status %1").arg(code);
}

}  // namespace Sftp
