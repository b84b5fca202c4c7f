#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The DOS attributes that Samba keeps for a file in its extended attribute "user.DOSATTRIB", so
// the hidden, system and archive bits agree with what Windows clients of a Samba share see.
// The value is Samba's encoding: a NUL-terminated hex text (alone in the oldest form), then a
// version and one of the info records 1 to 5, little-endian, fields aligned to 4 bytes.
namespace DosAttrib {

constexpr quint32 ReadOnlyBit = 1;
constexpr quint32 HiddenBit = 2;
constexpr quint32 SystemBit = 4;
constexpr quint32 DirectoryBit = 16;
constexpr quint32 ArchiveBit = 32;

struct Info {
    quint32 attributes = 0;
    // The creation time Samba recorded (NT time, 100 ns since 1601), 0 when none.
    quint64 createTime = 0;
};

// What Samba would read from the value; nothing when it would refuse it.
std::optional<Info> Parse(const QByteArray& value);
// The value Samba writes today (version 5), carrying the creation time when there is one.
QByteArray Build(const Info& info);

// The bits stored for path (links followed); 0 when there are none or none can be stored.
quint32 Read(const QString& path);
// Sets or clears bit, keeping the other bits and the recorded creation time. Writes nothing when
// the bit is already as wanted. 0, or the errno of the failed write (ENOTSUP where the file
// system keeps no extended attributes).
int Change(const QString& path, quint32 bit, bool on);

}  // namespace DosAttrib
