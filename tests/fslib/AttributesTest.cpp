// Attributes, sizes, times and version information of the current file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include "DosAttrib.h"
#include "FileSystemError.h"
#include "FsTestSupport.h"
#include "QtPrint.h"
#include "clsFileSystem.h"

namespace {

QByteArray RawDosAttrib(const QString& path) {
    char buffer[256];
    const ssize_t n =
        ::getxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", buffer, sizeof buffer);
    return n < 0 ? QByteArray() : QByteArray(buffer, n);
}

// The test's temporary folder (ext4 here) and tmpfs: both keep extended attributes.
class AttributesOn : public ::testing::TestWithParam<const char*> {};

TEST_P(AttributesOn, BitsAgreeWithModeAndSambasAttribute) {
    const QString root = GetParam();
    struct statfs fsInfo {};
    if (root == "/dev/shm" && (::statfs("/dev/shm", &fsInfo) != 0 || fsInfo.f_type != TMPFS_MAGIC))
        GTEST_SKIP() << "/dev/shm is not a tmpfs on this machine";
    QTemporaryDir dir((root == "temp" ? QDir::tempPath() : root) + "/fslib-XXXXXX");
    const QString file = dir.path() + "/f.txt";
    WriteFile(file, "x");
    Chmod(file, 0644);
    clsFileSystem fs;
    fs.FileName(file);

    EXPECT_FALSE(fs.ReadOnly());
    fs.ReadOnly(true);
    EXPECT_EQ(ModeOf(file), 0444u);  // root could still write: the bits are what counts
    EXPECT_TRUE(fs.ReadOnly());
    fs.Hidden(true);
    EXPECT_TRUE(fs.Hidden());
    fs.Hidden(false);
    EXPECT_FALSE(fs.Hidden());
    EXPECT_TRUE(fs.ReadOnly());
    fs.System(true);
    fs.Archive(true);
    EXPECT_TRUE(fs.System() && fs.Archive());
    EXPECT_EQ(DosAttrib::Parse(RawDosAttrib(file)).value_or(DosAttrib::Info{}).attributes, 36u);
    fs.ReadOnly(false);
    EXPECT_EQ(ModeOf(file), 0644u);

    EXPECT_FALSE(fs.Executable());
    Chmod(file, 0744);
    EXPECT_TRUE(fs.Executable());
    EXPECT_FALSE(fs.Directory());

    // A dot name is hidden already: nothing is written.
    WriteFile(dir.path() + "/.dot", "x");
    fs.FileName(dir.path() + "/.dot");
    EXPECT_TRUE(fs.Hidden());
    fs.Hidden(true);
    EXPECT_TRUE(RawDosAttrib(dir.path() + "/.dot").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(FileSystems, AttributesOn, ::testing::Values("temp", "/dev/shm"));

// procfs keeps neither extended attributes nor birth times.
TEST(Attributes, AFileSystemWithoutExtendedAttributesRefusesTheSetters) {
    clsFileSystem fs;
    fs.FileName("/proc/version");
    ASSERT_TRUE(fs.ENABLED());
    EXPECT_FALSE(fs.Hidden());
    EXPECT_NO_THROW(fs.Hidden(false));
    try {
        fs.Hidden(true);
        ADD_FAILURE() << "procfs stored an attribute";
    } catch (const FileSystemError& e) {
        EXPECT_EQ(e.Number(), 75);
        EXPECT_TRUE(e.Description().contains(QStringLiteral("拡張属性")))
            << qPrintable(e.Description());
    }
    EXPECT_EQ(fs.CreationTime(), QString());
    EXPECT_FALSE(fs.LastWriteTime().isEmpty());
}

// The owner of a read-only file may still hide it. Run by a child as an ordinary user, since
// root may write anything.
TEST(Attributes, AnOwnerHidesItsReadOnlyFile) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/own";
    WriteFile(file, "x");
    const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
    Chmod(dir.path(), 0755);
    Chmod(file, 0444);
    ASSERT_EQ(::chown(QFile::encodeName(file).constData(), user, static_cast<gid_t>(-1)), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(user) != 0 || ::setuid(user) != 0))
            ::_exit(10);
        clsFileSystem fs;
        fs.FileName(file);
        try {
            fs.Hidden(true);
            ::_exit(fs.Hidden() && ModeOf(file) == 0444 ? 0 : 11);
        } catch (const FileSystemError&) {
            ::_exit(12);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(Attributes, SambaAttributeValues) {
    struct Case {
        QByteArray value;
        std::optional<quint32> attributes;
        quint64 createTime;
    };
    // Version 5 as Samba writes it: empty hex text and padding, version and level, padding;
    // valid flags (attributes, creation time), attributes, creation time.
    const QByteArray v5 = QByteArray::fromHex("000005000500000011000000220000000100000000000000");
    // Version 3 after a hex text: flags, attributes, EA size, size, allocation, creation, change.
    const QByteArray v3 = QByteArray("0x21\0", 5) + QByteArray::fromHex("0003000300000011000000") +
                          QByteArray::fromHex("21000000") + QByteArray(20, '\0') +
                          QByteArray::fromHex("0200000000000000") + QByteArray(8, '\0');
    const Case cases[] = {
        {v5, 0x22, 1},
        {v3, 0x21, 2},
        {QByteArray("0x22"), 0x22, 0},
        {QByteArray("0x6\0", 4), 6, 0},
        {v5.left(20), std::nullopt, 0},
        {QByteArray::fromHex("0000090009000000") + QByteArray(16, '\0'), std::nullopt, 0},
        {QByteArray("junk"), std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const std::optional<DosAttrib::Info> info = DosAttrib::Parse(c.value);
        ASSERT_EQ(info.has_value(), c.attributes.has_value()) << c.value.toHex().constData();
        if (info) {
            EXPECT_EQ(info->attributes, *c.attributes);
            EXPECT_EQ(info->createTime, c.createTime);
        }
    }
    EXPECT_EQ(DosAttrib::Build({0x22, 1}), v5);

    // A change keeps the creation time Samba recorded.
    QTemporaryDir dir;
    const QString file = dir.path() + "/f";
    WriteFile(file, "x");
    ::setxattr(QFile::encodeName(file).constData(), "user.DOSATTRIB", v3.constData(),
               static_cast<size_t>(v3.size()), 0);
    EXPECT_EQ(DosAttrib::Change(file, DosAttrib::HiddenBit, true), 0);
    const DosAttrib::Info after = DosAttrib::Parse(RawDosAttrib(file)).value_or(DosAttrib::Info{});
    EXPECT_EQ(after.attributes, 0x23u);
    EXPECT_EQ(after.createTime, 2u);
}

TEST(Attributes, SizesAndLinksBeyond32Bits) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/sparse";
    WriteFile(file, "");
    ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), qint64{3} << 30), 0);
    ASSERT_EQ(::link(QFile::encodeName(file).constData(),
                     QFile::encodeName(dir.path() + "/hard").constData()),
              0);
    clsFileSystem fs;
    fs.FileName(file);
    EXPECT_EQ(fs.SIZE(), qint64{3} << 30);
    EXPECT_GE(fs.CompressedSize(), 0);
    EXPECT_LT(fs.CompressedSize(), 1 << 20);  // sparse: next to nothing on disk
    EXPECT_EQ(fs.Links(), 2);
}

TEST(Attributes, TimesInLocalTimeWithAnEightCharacterWeekday) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/t";
    WriteFile(file, "x");
    const qint64 written = QDateTime(QDate(2004, 3, 7), QTime(9, 5, 0)).toSecsSinceEpoch();
    const qint64 read = QDateTime(QDate(2021, 6, 30), QTime(23, 59, 58)).toSecsSinceEpoch();
    const struct timespec times[2] = {{read, 0}, {written, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
    clsFileSystem fs;
    fs.FileName(file);
    EXPECT_EQ(fs.LastWriteTime(), QStringLiteral("2004年3月7日 日曜日    9:5:0"));
    EXPECT_EQ(fs.LastAccessTime(), QStringLiteral("2021年6月30日 水曜日    23:59:58"));

    // This file system records birth times: the file was born just now.
    const QRegularExpressionMatch m =
        QRegularExpression("^(\\d+)年(\\d+)月(\\d+)日 .曜日    (\\d+):(\\d+):(\\d+)$")
            .match(fs.CreationTime());
    ASSERT_TRUE(m.hasMatch()) << qPrintable(fs.CreationTime());
    const QDateTime born(
        QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()),
        QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()));
    EXPECT_LT(qAbs(born.secsTo(QDateTime::currentDateTime())), 300);
}

// A small PE file with one version resource, laid out as a linker would: headers, one ".rsrc"
// section at file offset 0x200 (address 0x1000) holding the type/name/language tree, the data
// entry and VS_VERSIONINFO with its fixed part at resource offset 0x80.
struct Fixed {
    quint32 fileMS, fileLS, productMS, productLS, flags, os, type, subtype;
};

constexpr int kResource = 0x200;
constexpr int kFixedAt = kResource + 0x80;

QByteArray BuildPe(const Fixed& v, bool pe64 = false) {
    QByteArray f(kResource + 0xB4, '\0');
    const auto put16 = [&](int at, quint16 x) { qToLittleEndian(x, f.data() + at); };
    const auto put32 = [&](int at, quint32 x) { qToLittleEndian(x, f.data() + at); };
    put16(0, 0x5A4D);
    put32(0x3C, 0x40);
    put32(0x40, 0x00004550);
    put16(0x44, pe64 ? 0x8664 : 0x14C);
    put16(0x46, 1);
    const int optional = 0x58;
    const int optionalSize = pe64 ? 240 : 224;
    put16(0x54, optionalSize);
    put16(optional, pe64 ? 0x20B : 0x10B);
    const int directories = optional + (pe64 ? 112 : 96);
    put32(directories - 4, 16);
    put32(directories + 16, 0x1000);
    put32(directories + 20, 0xB4);
    const int section = optional + optionalSize;
    put32(section + 8, 0xB4);
    put32(section + 12, 0x1000);
    put32(section + 16, 0xB4);
    put32(section + 20, kResource);
    const int r = kResource;
    for (const auto& [directory, id, target] :
         {std::tuple{0x00, 16u, 0x80000018u}, {0x18, 1u, 0x80000030u}, {0x30, 0x411u, 0x48u}}) {
        put16(r + directory + 14, 1);
        put32(r + directory + 16, id);
        put32(r + directory + 20, target);
    }
    put32(r + 0x48, 0x1058);
    put32(r + 0x4C, 92);
    put16(r + 0x58, 92);
    put16(r + 0x5A, 52);
    const QString key = QStringLiteral("VS_VERSION_INFO");
    for (int i = 0; i < key.size(); ++i)
        put16(r + 0x5E + 2 * i, key[i].unicode());
    const quint32 values[] = {0xFEEF04BD, 0x10000, v.fileMS, v.fileLS, v.productMS, v.productLS,
                              0x3F,       v.flags, v.os,     v.type,   v.subtype};
    for (int i = 0; i < 11; ++i)
        put32(kFixedAt + 4 * i, values[i]);
    return f;
}

class VersionInfo : public ::testing::Test {
protected:
    void Write(const QByteArray& bytes) {
        WriteFile(dir.path() + "/f.exe", bytes);
        fs.FileName(dir.path() + "/f.exe");
    }
    QTemporaryDir dir;
    clsFileSystem fs;
};

TEST_F(VersionInfo, PartsAreUnsignedAndLabelsFollowTheValues) {
    struct Case {
        Fixed values;
        bool pe64;
        const char* versions;  // file version, product version
        const char* labels;    // FileType, FileSubtype, FileOS, BuildType
    };
    const Case cases[] = {
        {{0x00010002, 0x8000FFFF, 0x9C400000, 0x00070003, 3, 0x40004, 1, 0},
         false,
         "1.2.32768.65535 40000.0.7.3",
         "ｱﾌﾟﾘｹｰｼｮﾝ|不明|32bit Windows NT|不明"},
        {{0x00050000, 0, 0, 0, 1, 0x10001, 3, 11},
         true,
         "5.0.0.0 0.0.0.0",
         "ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ|IMEﾄﾞﾗｲﾊﾞ|DOS上の16bit Windows|ﾃﾞﾊﾞｯｸﾞﾋﾞﾙﾄﾞ"},
        {{0, 0, 0, 0, 32, 4, 4, 3},
         false,
         "0.0.0.0 0.0.0.0",
         "ﾌｫﾝﾄ|ﾄｩﾙｰﾀｲﾌﾟﾌｫﾝﾄ|32bit Windows|ｽﾍﾟｼｬﾙﾋﾞﾙﾄﾞ"},
        {{0, 0, 0, 0, 16, 0x99, 6, 5}, false, "0.0.0.0 0.0.0.0", "|不明||"},
        {{0, 0, 0, 0, 0, 0, 3, 12}, false, "0.0.0.0 0.0.0.0", "ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ||不明|不明"},
    };
    for (const Case& c : cases) {
        Write(BuildPe(c.values, c.pe64));
        EXPECT_EQ(fs.FileVersion() + " " + fs.ProductVersion(), QString::fromUtf8(c.versions));
        EXPECT_EQ(
            QStringList({fs.FileType(), fs.FileSubtype(), fs.FileOS(), fs.BuildType()}).join('|'),
            QString::fromUtf8(c.labels));
    }
}

void ExpectNoResource(const clsFileSystem& fs, const std::string& what) {
    EXPECT_EQ(QStringList({fs.FileVersion(), fs.ProductVersion(), fs.FileType(), fs.FileSubtype(),
                           fs.FileOS(), fs.BuildType()}),
              QStringList({"", "", "不明", "不明", "不明", "不明"}))
        << what;
}

TEST_F(VersionInfo, ElfAndDamagedFilesHaveNoResource) {
    fs.FileName(QCoreApplication::applicationFilePath());
    ExpectNoResource(fs, "ELF");
    // A fifo without a writer is refused, not waited on.
    const QString fifo = dir.path() + "/fifo.exe";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    fs.FileName(fifo);
    ExpectNoResource(fs, "fifo");

    const QByteArray good = BuildPe({1, 2, 3, 4, 0, 0, 1, 0});
    for (qsizetype length = 0; length < good.size(); length += 1) {
        Write(good.left(length));
        ASSERT_EQ(fs.FileVersion(), QString()) << "cut at " << length;
    }
    struct Damage {
        const char* what;
        int at;
        quint32 value;
    };
    const Damage damages[] = {
        {"PE header beyond the file", 0x3C, 0xFFFFFFF0},
        {"65535 sections", 0x46, 0xFFFF},
        {"name level points back to the root", kResource + 0x2C, 0x80000000},
        {"131070 entries", kResource + 12, 0xFFFFFFFF},
        {"data entry marked as a folder", kResource + 0x44, 0x80000048},
        {"data outside every section", kResource + 0x48, 0x5000},
        {"no fixed-info signature", kFixedAt, 0},
    };
    for (const Damage& d : damages) {
        QByteArray bad = good;
        qToLittleEndian(d.value, bad.data() + d.at);
        Write(bad);
        ExpectNoResource(fs, d.what);
    }
}

}  // namespace
