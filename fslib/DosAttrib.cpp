#include "DosAttrib.h"

#include <sys/xattr.h>

#include <QFile>
#include <QtEndian>

#include <cerrno>

namespace {

const char kName[] = "user.DOSATTRIB";
constexpr quint32 kValidAttrib = 0x1;
constexpr quint32 kValidCreateTime = 0x10;
// Samba reads at most this much of the value.
constexpr size_t kMaxValue = 256;

quint32 U32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint64 U64(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint64>(b.constData() + at);
}

qsizetype Align(qsizetype at, qsizetype to) {
    return (at + to - 1) / to * to;
}

// Where a record's fields lie: the attributes, the creation time (-1: none), the fixed length,
// and whether the creation time counts only with its valid flag.
struct Layout {
    qsizetype attrib;
    qsizetype createTime;
    qsizetype length;
    bool flagged;
};

std::optional<Layout> LayoutOf(quint16 version) {
    switch (version) {
        case 1:
            return Layout{0, 24, 40, false};
        case 2:
            return Layout{4, -1, 52, false};
        case 3:
            return Layout{4, 28, 44, true};
        case 4:
            return Layout{4, 16, 24, true};
        case 5:
            return Layout{4, 8, 16, true};
        default:
            return std::nullopt;
    }
}

}  // namespace

namespace DosAttrib {

std::optional<Info> Parse(const QByteArray& value) {
    const qsizetype nul = value.indexOf('\0');
    const QByteArray hex = nul < 0 ? value : value.left(nul);
    if (nul < 0 || nul + 1 >= value.size()) {
        // The oldest form: the hex text alone.
        bool ok = false;
        const quint32 bits = hex.startsWith("0x") ? hex.mid(2).toUInt(&ok, 16) : 0;
        if (!ok)
            return std::nullopt;
        return Info{bits, 0};
    }
    const qsizetype versionAt = Align(nul + 1, 2);
    if (versionAt + 4 > value.size())
        return std::nullopt;
    const quint16 version = qFromLittleEndian<quint16>(value.constData() + versionAt);
    const std::optional<Layout> layout = LayoutOf(version);
    const qsizetype record = Align(versionAt + 4, 4);
    if (!layout || record + layout->length > value.size())
        return std::nullopt;
    Info info{U32(value, record + layout->attrib), 0};
    const bool timeValid = !layout->flagged || (U32(value, record) & kValidCreateTime) != 0;
    if (layout->createTime >= 0 && timeValid)
        info.createTime = U64(value, record + layout->createTime);
    return info;
}

QByteArray Build(const Info& info) {
    // Empty hex text and its padding, version and union level, the record.
    QByteArray value(24, '\0');
    char* p = value.data();
    qToLittleEndian<quint16>(5, p + 2);
    qToLittleEndian<quint16>(5, p + 4);
    const quint32 valid = kValidAttrib | (info.createTime != 0 ? kValidCreateTime : 0);
    qToLittleEndian<quint32>(valid, p + 8);
    qToLittleEndian<quint32>(info.attributes, p + 12);
    qToLittleEndian<quint64>(info.createTime, p + 16);
    return value;
}

quint32 Read(const QString& path) {
    char buffer[kMaxValue];
    const ssize_t n = getxattr(QFile::encodeName(path).constData(), kName, buffer, sizeof buffer);
    if (n <= 0)
        return 0;
    const std::optional<Info> info = Parse(QByteArray(buffer, n));
    return info ? info->attributes : 0;
}

int Change(const QString& path, quint32 bit, bool on) {
    const QByteArray encoded = QFile::encodeName(path);
    char buffer[kMaxValue];
    const ssize_t n = getxattr(encoded.constData(), kName, buffer, sizeof buffer);
    // No value, none possible, or one too long for Samba to read: no bits are set.
    if (n < 0 && errno != ENODATA && errno != ENOTSUP && errno != ERANGE)
        return errno;
    Info info = n > 0 ? Parse(QByteArray(buffer, n)).value_or(Info{}) : Info{};
    if (((info.attributes & bit) != 0) == on)
        return 0;
    info.attributes = on ? (info.attributes | bit) : (info.attributes & ~bit);
    const QByteArray value = Build(info);
    if (setxattr(encoded.constData(), kName, value.constData(), static_cast<size_t>(value.size()),
                 0) != 0)
        return errno;
    return 0;
}

}  // namespace DosAttrib
