#include "PeVersionInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QtEndian>

namespace {

constexpr quint32 kResourceTypeVersion = 16;
constexpr quint32 kSubdirectoryBit = 0x80000000u;
constexpr quint32 kFixedInfoSignature = 0xFEEF04BDu;
constexpr qint64 kFixedInfoSize = 52;
// Length, value length and type (3 x 16 bits), the key "VS_VERSION_INFO" with its NUL in
// UTF-16, padded to 32 bits.
constexpr qint64 kFixedInfoAt = 40;

// Little-endian reads at absolute offsets, each refused when it would pass the file's end.
class Reader {
public:
    // Without blocking, so that a fifo in the file's place is refused instead of waited on.
    explicit Reader(const QString& path) {
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            file_.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            size_ = file_.size();
        else if (fd >= 0)
            ::close(fd);
    }

    std::optional<QByteArray> Block(quint64 at, quint64 length) {
        if (at > static_cast<quint64>(size_) || length > static_cast<quint64>(size_) - at)
            return std::nullopt;
        if (!file_.seek(static_cast<qint64>(at)))
            return std::nullopt;
        QByteArray bytes = file_.read(static_cast<qint64>(length));
        if (bytes.size() != static_cast<qsizetype>(length))
            return std::nullopt;
        return bytes;
    }
    std::optional<quint32> U32(quint64 at) {
        const std::optional<QByteArray> b = Block(at, 4);
        return b ? std::optional<quint32>(qFromLittleEndian<quint32>(b->constData()))
                 : std::nullopt;
    }
    std::optional<quint16> U16(quint64 at) {
        const std::optional<QByteArray> b = Block(at, 2);
        return b ? std::optional<quint16>(qFromLittleEndian<quint16>(b->constData()))
                 : std::nullopt;
    }

private:
    QFile file_;
    qint64 size_ = 0;
};

quint32 U32At(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

struct Section {
    quint32 virtualAddress;
    quint32 rawSize;
    quint32 rawOffset;
};

class PeFile {
public:
    explicit PeFile(const QString& path) : r_(path) {}

    std::optional<FixedFileInfo> Read() {
        std::optional<quint32> resourceRva = ResourceDirectoryRva();
        if (!resourceRva || *resourceRva == 0)
            return std::nullopt;
        const std::optional<quint64> root = FileOffset(*resourceRva);
        if (!root)
            return std::nullopt;
        // Type, then name, then language: two subdirectories and a data entry.
        std::optional<quint32> entry = Entry(*root, 0, true, kResourceTypeVersion);
        if (entry)
            entry = Entry(*root, *entry, true);
        if (entry)
            entry = Entry(*root, *entry, false);
        if (!entry)
            return std::nullopt;
        const std::optional<quint32> dataRva = r_.U32(*root + *entry);
        const std::optional<quint32> dataSize = r_.U32(*root + *entry + 4);
        if (!dataRva || !dataSize || *dataSize < kFixedInfoAt + kFixedInfoSize)
            return std::nullopt;
        const std::optional<quint64> data = FileOffset(*dataRva);
        return data ? FixedInfo(*data) : std::nullopt;
    }

private:
    // Reads the headers and the section table; the resource directory's address.
    std::optional<quint32> ResourceDirectoryRva() {
        if (r_.U16(0) != quint16{0x5A4D})
            return std::nullopt;
        const std::optional<quint32> peAt = r_.U32(0x3C);
        if (!peAt || r_.U32(*peAt) != quint32{0x00004550})
            return std::nullopt;
        const quint64 coff = quint64{*peAt} + 4;
        const std::optional<quint16> sectionCount = r_.U16(coff + 2);
        const std::optional<quint16> optionalSize = r_.U16(coff + 16);
        const quint64 optional = coff + 20;
        const std::optional<quint16> magic = r_.U16(optional);
        if (!sectionCount || !optionalSize || !magic)
            return std::nullopt;
        // PE32 and PE32+ differ in where the data directories begin.
        const quint64 directories = *magic == 0x10B ? 96 : *magic == 0x20B ? 112 : 0;
        const quint64 resourceEntry = directories + 2 * 8;
        if (directories == 0 || resourceEntry + 8 > *optionalSize)
            return std::nullopt;
        const std::optional<quint32> directoryCount = r_.U32(optional + directories - 4);
        const std::optional<QByteArray> table =
            r_.Block(optional + *optionalSize, quint64{*sectionCount} * 40);
        if (!directoryCount || *directoryCount < 3 || !table)
            return std::nullopt;
        for (qsizetype s = 0; s < *sectionCount; ++s)
            sections_.push_back({U32At(*table, s * 40 + 12), U32At(*table, s * 40 + 16),
                                 U32At(*table, s * 40 + 20)});
        return r_.U32(optional + resourceEntry);
    }

    // The file offset of a relative virtual address that lies in a section's stored bytes.
    std::optional<quint64> FileOffset(quint32 rva) const {
        for (const Section& s : sections_) {
            if (rva < s.virtualAddress)
                continue;
            // Only stored bytes count: the zero fill beyond them holds no resource.
            const quint64 into = rva - s.virtualAddress;
            if (into < s.rawSize)
                return quint64{s.rawOffset} + into;
        }
        return std::nullopt;
    }

    // In the directory at root + at: the offset (from root) of the entry of the wanted id, or of
    // the first entry when no id is wanted. subdirectory says which kind the entry must be.
    std::optional<quint32> Entry(quint64 root, quint32 at, bool subdirectory,
                                 std::optional<quint32> id = std::nullopt) {
        const quint64 directory = root + (at & ~kSubdirectoryBit);
        const std::optional<quint16> named = r_.U16(directory + 12);
        const std::optional<quint16> ids = r_.U16(directory + 14);
        if (!named || !ids)
            return std::nullopt;
        const qsizetype count = qsizetype{*named} + *ids;
        const std::optional<QByteArray> entries = r_.Block(directory + 16, quint64(count) * 8);
        if (!entries)
            return std::nullopt;
        for (qsizetype e = 0; e < count; ++e) {
            if (id && U32At(*entries, e * 8) != *id)
                continue;
            const quint32 target = U32At(*entries, e * 8 + 4);
            if (((target & kSubdirectoryBit) != 0) != subdirectory)
                return std::nullopt;
            return target & ~kSubdirectoryBit;
        }
        return std::nullopt;
    }

    std::optional<FixedFileInfo> FixedInfo(quint64 data) {
        const std::optional<QByteArray> head = r_.Block(data, kFixedInfoAt + kFixedInfoSize);
        if (!head || qFromLittleEndian<quint16>(head->constData() + 2) < kFixedInfoSize)
            return std::nullopt;
        QString key;
        for (qsizetype i = 0; i < 16; ++i)
            key += QChar(qFromLittleEndian<quint16>(head->constData() + 6 + 2 * i));
        if (key != QStringView(u"VS_VERSION_INFO\0", 16))
            return std::nullopt;
        const QByteArray fixed = head->mid(kFixedInfoAt);
        if (U32At(fixed, 0) != kFixedInfoSignature)
            return std::nullopt;
        FixedFileInfo info;
        info.fileVersionMS = U32At(fixed, 8);
        info.fileVersionLS = U32At(fixed, 12);
        info.productVersionMS = U32At(fixed, 16);
        info.productVersionLS = U32At(fixed, 20);
        info.fileFlags = U32At(fixed, 28);
        info.fileOS = U32At(fixed, 32);
        info.fileType = U32At(fixed, 36);
        info.fileSubtype = U32At(fixed, 40);
        return info;
    }

    Reader r_;
    std::vector<Section> sections_;
};

}  // namespace

namespace PeVersionInfo {

std::optional<FixedFileInfo> Read(const QString& path) {
    return PeFile(path).Read();
}

}  // namespace PeVersionInfo
