#include <gtest/gtest.h>

#include <tuple>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "API_IniFileAccess.h"
#include "AppFiles.h"
#include "CodePage.h"
#include "ScriptedMessageHost.h"

using namespace API_IniFileAccess;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString Nul() {
    return QString(QChar(0));
}

class IniFileAccess : public ::testing::Test {
protected:
    void SetUp() override { SetMessageHost(&host); }
    void TearDown() override { SetMessageHost(nullptr); }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    ScriptedMessageHost host;
};

TEST_F(IniFileAccess, ReadsKeysCaseBlindTrimmedAndUnquoted) {
    const QString ini = Path("a.ini");
    WriteRaw(ini,
             "top=ignored\r\n"
             "  [ Setting ]  \r\n"
             "; comment=1\r\n"
             "  ConvNameTable  =  /tmp/table.txt  \r\n"
             "Quoted=\"  kept  \"\n"  // LF alone is a line end too
             "Empty=\r\n"
             "Bare\r\n"
             "[setting]\r\n"
             "Later=second section of the same name is never read\r\n"
             "[Other]\r\n"
             "ConvNameTable=other");
    QString value;
    EXPECT_TRUE(IniRead(QStringLiteral("SETTING"), value, QStringLiteral("convnametable"), ini));
    EXPECT_EQ(value, QStringLiteral("/tmp/table.txt"));
    EXPECT_TRUE(IniRead(QStringLiteral("setting"), value, QStringLiteral(" quoted "), ini));
    EXPECT_EQ(value, QStringLiteral("  kept  "));
    EXPECT_TRUE(IniRead(QStringLiteral("Other"), value, QStringLiteral("ConvNameTable"), ini));
    EXPECT_EQ(value, QStringLiteral("other"));  // last line without a line end

    // An empty value reads like a missing key, section or file: False and "".
    for (const auto& [section, key] : {std::pair{"Setting", "Empty"},
                                       {"Setting", "Bare"},
                                       {"Setting", "Later"},
                                       {"Setting", "top"},
                                       {"Nowhere", "ConvNameTable"}}) {
        value = QStringLiteral("stale");
        EXPECT_FALSE(IniRead(QString::fromLatin1(section), value, QString::fromLatin1(key), ini))
            << section << "/" << key;
        EXPECT_EQ(value, QString());
    }
    EXPECT_FALSE(IniRead(QStringLiteral("Setting"), value, QStringLiteral("x"), Path("none")));
    EXPECT_FALSE(IniRead(QStringLiteral("Setting"), value, QStringLiteral("x"), dir.path()));
}

TEST_F(IniFileAccess, ReadsWholeSectionsAndTruncatesLikeTheReadBuffer) {
    const QString ini = Path("s.ini");
    WriteRaw(ini, "[S]\r\n a = 1 \r\n\r\n;note\r\nb=2\r\nflag\r\n[Empty]\r\n\r\n[T]\r\n");
    QString value;
    EXPECT_TRUE(IniRead(QStringLiteral("s"), value, std::nullopt, ini));
    EXPECT_EQ(value, QStringLiteral("a=1") + Nul() + QStringLiteral("b=2") + Nul() +
                         QStringLiteral("flag"));
    EXPECT_FALSE(IniRead(QStringLiteral("Empty"), value, std::nullopt, ini));
    EXPECT_FALSE(IniRead(QStringLiteral("Missing"), value, std::nullopt, ini));
    EXPECT_EQ(value, QString());

    // A key value holds at most 10239 characters, a section 10238 (the buffer less its NULs).
    const QString longValue(20000, u'x');
    WriteRaw(ini, "[L]\r\nk=" + longValue.toLatin1() + "\r\n");
    EXPECT_TRUE(IniRead(QStringLiteral("L"), value, QStringLiteral("k"), ini));
    EXPECT_EQ(value.size(), 10239);
    EXPECT_TRUE(IniRead(QStringLiteral("L"), value, std::nullopt, ini));
    EXPECT_EQ(value, QStringLiteral("k=") + longValue.left(10236));
}

TEST_F(IniFileAccess, WriteKeyTouchesOnlyItsLine) {
    const QString ini = Path("w.ini");
    // A write to a missing file creates it with the section and the key.
    EXPECT_TRUE(IniWrite(QStringLiteral("Setting"), QStringLiteral("v1"),
                         QStringLiteral("ConvNameTable"), ini));
    EXPECT_EQ(ReadAll(ini), QByteArray("[Setting]\r\nConvNameTable=v1\r\n"));

    const QByteArray before =
        "; my settings\n"
        "[Position_frmSkerrow]\r\n"
        "Top = 10\r\n"
        "  left=20   \n"
        "\r\n"
        "[ setting ]\r\n"
        " CONVNAMETABLE = old \r\n"
        "Other=x\n"
        "\r\n"
        "\r\n"
        "[Last]\r\n"
        "k=1";
    WriteRaw(ini, before);
    QFile::setPermissions(
        ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    // Update in place: the key keeps its spelling, every other byte stays.
    EXPECT_TRUE(IniWrite(QStringLiteral("Setting"), QStringLiteral("new"),
                         QStringLiteral("ConvNameTable"), ini));
    QByteArray expected = before;
    expected.replace(" CONVNAMETABLE = old \r\n", "CONVNAMETABLE=new\r\n");
    EXPECT_EQ(ReadAll(ini), expected);
    // A new key goes after the section's last entry, before the blank lines.
    EXPECT_TRUE(
        IniWrite(QStringLiteral("setting"), QStringLiteral("9"), QStringLiteral("Added"), ini));
    expected.replace("Other=x\n", "Other=x\nAdded=9\r\n");
    EXPECT_EQ(ReadAll(ini), expected);
    // A new section goes at the end; a last line without line end gets one first.
    EXPECT_TRUE(IniWrite(QStringLiteral("New"), QString(), QStringLiteral("k"), ini));
    expected += "\r\n[New]\r\nk=\r\n";
    EXPECT_EQ(ReadAll(ini), expected);
    // The file keeps its mode.
    EXPECT_EQ(QFileInfo(ini).permissions() & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);

    // An empty path means the settings file beside the program.
    EXPECT_EQ(IniDefaultPath(), AppFiles::AppFilePath(QStringLiteral(".ini")));
    EXPECT_TRUE(IniWrite(QStringLiteral("Setting"), QStringLiteral("d"), QStringLiteral("k")));
    QString value;
    EXPECT_TRUE(IniRead(QStringLiteral("Setting"), value, QStringLiteral("k")));
    EXPECT_EQ(value, QStringLiteral("d"));
    EXPECT_TRUE(host.shown.isEmpty());

    // A line break in a name or a value would corrupt the lines after it: nothing is written.
    const QByteArray kept = ReadAll(ini);
    for (const auto& [section, key, text] :
         {std::tuple{"Setting", "ConvNameTable", "/tmp/a\n[Other]\r\nk=v"},
          std::tuple{"Set\rting", "k", "v"}, std::tuple{"Setting", "k\n", "v"}}) {
        QString error;
        EXPECT_FALSE(IniWrite(QString::fromUtf8(section), QString::fromUtf8(text),
                              QString::fromUtf8(key), ini, false, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_FALSE(IniWrite(QStringLiteral("B"), QStringLiteral("a=1\nb=2"), std::nullopt, ini));
    EXPECT_EQ(ReadAll(ini), kept);
}

TEST_F(IniFileAccess, SectionWriteReplacesEntriesAndCompactKeepsLastDuplicates) {
    const QString ini = Path("c.ini");
    WriteRaw(ini, "[A]\r\nold=1\r\n;gone\r\nold2=2\r\n\r\n[B]\r\nb=1\r\n");
    const QString entries =
        QStringLiteral("x=1") + Nul() + QStringLiteral("y=2") + Nul() + QStringLiteral("x=1");
    EXPECT_TRUE(IniWrite(QStringLiteral("a"), entries, std::nullopt, ini));
    EXPECT_EQ(ReadAll(ini), QByteArray("[A]\r\nx=1\r\ny=2\r\nx=1\r\n\r\n[B]\r\nb=1\r\n"));

    // Compacting keeps the last of each duplicate and one empty line after the kept ones.
    WriteRaw(ini, "[A]\nx=1\ny=2\nx=1\n[B]\nb=1\nb=1\n");
    EXPECT_TRUE(IniCompactSection(ini, QStringLiteral("A")));
    EXPECT_EQ(ReadAll(ini), QByteArray("[A]\r\ny=2\r\nx=1\r\n\r\n[B]\r\nb=1\r\nb=1\r\n"));
    // The header must match exactly; otherwise the file stays as it is.
    EXPECT_FALSE(IniCompactSection(ini, QStringLiteral("a")));

    // A section write with compact, into a new section at the end of the file.
    EXPECT_TRUE(IniWrite(QStringLiteral("C"), entries, std::nullopt, ini, true));
    EXPECT_EQ(
        ReadAll(ini),
        QByteArray("[A]\r\ny=2\r\nx=1\r\n\r\n[B]\r\nb=1\r\nb=1\r\n[C]\r\ny=2\r\nx=1\r\n\r\n"));
    QString value;
    EXPECT_TRUE(IniRead(QStringLiteral("C"), value, std::nullopt, ini));
    EXPECT_EQ(value, QStringLiteral("y=2") + Nul() + QStringLiteral("x=1"));

    // Entries end at the first empty one, as the NUL-NUL end of the list did.
    EXPECT_TRUE(IniWrite(QStringLiteral("B"),
                         QStringLiteral("p=1") + Nul() + Nul() + QStringLiteral("q=2"),
                         std::nullopt, ini));
    EXPECT_TRUE(IniRead(QStringLiteral("B"), value, std::nullopt, ini));
    EXPECT_EQ(value, QStringLiteral("p=1"));
}

TEST_F(IniFileAccess, DeleteSectionRemovesItUpToTheNextOneAndNothingElse) {
    const QString ini = Path("d.ini");
    WriteRaw(ini, "; top\r\n[A]\r\na=1\r\n\r\n[ b ]\r\nb=1\r\n\r\n[C]\nc=1");
    EXPECT_TRUE(IniDeleteSection(QStringLiteral("B"), ini));
    EXPECT_EQ(ReadAll(ini), QByteArray("; top\r\n[A]\r\na=1\r\n\r\n[C]\nc=1"));
    EXPECT_TRUE(IniDeleteSection(QStringLiteral("c"), ini));
    EXPECT_EQ(ReadAll(ini), QByteArray("; top\r\n[A]\r\na=1\r\n\r\n"));
    // Nothing to delete is no error and leaves the file alone.
    EXPECT_TRUE(IniDeleteSection(QStringLiteral("missing"), ini));
    EXPECT_TRUE(IniDeleteSection(QStringLiteral("A"), Path("none.ini")));
    EXPECT_FALSE(QFile::exists(Path("none.ini")));

    QFile::setPermissions(ini, QFileDevice::ReadOwner);
    QString error;
    EXPECT_FALSE(IniDeleteSection(QStringLiteral("A"), ini, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadAll(ini), QByteArray("; top\r\n[A]\r\na=1\r\n\r\n"));
}

// Read-only is the absence of write bits, looked at by the module itself: the test runs as root,
// who could write the file anyway, so the write must be refused by the module, not by the kernel.
TEST_F(IniFileAccess, ReadOnlyFileWarnsOncePerPathAndRefusesTheWrite) {
    const QString first = Path("ro1.ini");
    const QString second = Path("ro2.ini");
    const QByteArray content = "[Setting]\r\nk=old\r\n";
    WriteRaw(first, content);
    WriteRaw(second, content);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(first, readOnly);
    QFile::setPermissions(second, readOnly);

    EXPECT_FALSE(
        IniWrite(QStringLiteral("Setting"), QStringLiteral("new"), QStringLiteral("k"), first));
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(
        host.shown[0].text,
        QStringLiteral("設定ﾌｧｲﾙが書きこみ禁止になっています。\r\n"
                       "設定状態を保存する場合はﾌｧｲﾙを書きこみ可にしてOKを押してください。\r\n"
                       "保存しない場合はそのままOKを押してください。\r\n"));
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(host.shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(ReadAll(first), content);

    EXPECT_FALSE(
        IniWrite(QStringLiteral("Setting"), QStringLiteral("new"), QStringLiteral("k"), first));
    EXPECT_TRUE(IniCheckWritable(first));
    EXPECT_EQ(host.shown.size(), 1);
    EXPECT_FALSE(IniWrite(QStringLiteral("Setting"), QStringLiteral("x"), std::nullopt, second));
    EXPECT_EQ(host.shown.size(), 2);

    // Made writable again, the write goes through without a new warning.
    QFile::setPermissions(first, readOnly | QFileDevice::WriteOwner);
    EXPECT_TRUE(
        IniWrite(QStringLiteral("Setting"), QStringLiteral("new"), QStringLiteral("k"), first));
    EXPECT_EQ(ReadAll(first), QByteArray("[Setting]\r\nk=new\r\n"));
    EXPECT_EQ(host.shown.size(), 2);
}

TEST_F(IniFileAccess, DirectoryOrMissingFolderIsNoFile) {
    EXPECT_FALSE(IniCheckWritable(dir.path()));
    EXPECT_FALSE(IniCheckWritable(Path("missing.ini")));
    QString error;
    EXPECT_FALSE(IniWrite(QStringLiteral("S"), QStringLiteral("v"), QStringLiteral("k"), dir.path(),
                          false, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(IniWrite(QStringLiteral("S"), QStringLiteral("v"), QStringLiteral("k"),
                          Path("no/such/folder.ini"), false, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(host.shown.isEmpty());
}

TEST_F(IniFileAccess, GoesThroughTheCodePage) {
    ASSERT_TRUE(CodePage::SetOverride(QStringLiteral("CP932")));
    const QString ini = Path("sjis.ini");
    EXPECT_TRUE(
        IniWrite(QStringLiteral("設定"), QStringLiteral("ソース表"), QStringLiteral("表"), ini));
    EXPECT_EQ(ReadAll(ini),
              QByteArray("[\x90\xdd\x92\xe8]\r\n\x95\x5c=\x83\x5c\x81\x5b\x83\x58\x95\x5c\r\n"));
    QString value;
    EXPECT_TRUE(IniRead(QStringLiteral("設定"), value, QStringLiteral("表"), ini));
    EXPECT_EQ(value, QStringLiteral("ソース表"));
    CodePage::SetOverride(QString());
}

}  // namespace
