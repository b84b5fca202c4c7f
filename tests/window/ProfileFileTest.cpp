#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "CodePage.h"
#include "NumericText.h"
#include "ProfileFile.h"

namespace {

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const ProfileRow kFirst{true, "/home/u/site", "0", "ftp://example.org/www", "alice", "p w"};
const ProfileRow kSecond{false, "/srv/data", "2.5", "ftp://h", "bob", ""};

TEST(ProfileFile, ComposesExactBytes) {
    EXPECT_EQ(ProfileFile::Compose({}), QByteArray("\r\n"));
    EXPECT_EQ(ProfileFile::Compose({kFirst, kSecond}),
              QByteArray("True\t/home/u/site\t0\tftp://example.org/www\talice\tp w\r\n"
                         "False\t/srv/data\t2.5\tftp://h\tbob\t\r\n"
                         "\r\n"));
}

TEST(ProfileFile, SavesOwnerOnlyAndLoadsBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SkerrowEx.dat");
    WriteRaw(path, "old");
    QFile::setPermissions(
        path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    QString error;
    ASSERT_TRUE(ProfileFile::Save(path, {kFirst, kSecond}, &error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QList<ProfileRow> rows;
    ASSERT_EQ(ProfileFile::Load(path, &rows), ProfileFile::LoadResult::Loaded);
    EXPECT_EQ(rows, (QList<ProfileRow>{kFirst, kSecond}));

    // A folder in the file's place can be neither read nor replaced.
    EXPECT_EQ(ProfileFile::Load(dir.path(), &rows), ProfileFile::LoadResult::Absent);
    EXPECT_TRUE(rows.isEmpty());
    EXPECT_EQ(ProfileFile::Load(dir.filePath("missing.dat"), &rows),
              ProfileFile::LoadResult::Absent);
    EXPECT_FALSE(ProfileFile::Save(dir.path(), {kFirst}, &error));
    EXPECT_FALSE(error.isEmpty());
}

// Nothing the file holds is lost: a line without a profile (too few fields, bytes that are no
// text) is kept byte for byte, and a TAB past the sixth field belongs to the password.
TEST(ProfileFile, LoadKeepsLinesWithoutAProfileAndTabsInThePassword) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.dat");
    WriteRaw(path,
             "True\ta\t1\tftp://h1\tu1\tsecret\tpart\textra\n"  // LF alone
             "short\tline\r\n"
             "\r\n"
             "yes\tb\t2\tftp://h2\tu2\tp2\r\n"  // no Boolean text: kept, unticked
             "TRUE\tc\t3\tftp://h3\tu3\tp3\r\n"
             "False\tx\t3\tftp://h3\tu3\tp\xFF\r\n"
             "1\td\t4\tftp://h4\tu4\tp4\r\n"
             "0\te\t5\tftp://h5\tu5\tp5\r\n"
             "false\tf\t6\tftp://h6\tu6\tp6");  // last line without a line end
    QList<ProfileRow> rows;
    QList<QByteArray> kept;
    ASSERT_EQ(ProfileFile::Load(path, &rows, nullptr, &kept), ProfileFile::LoadResult::Loaded);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0], (ProfileRow{true, "a", "1", "ftp://h1", "u1", "secret\tpart\textra"}));
    EXPECT_EQ(rows[1], (ProfileRow{false, "b", "2", "ftp://h2", "u2", "p2"}));
    EXPECT_TRUE(rows[2].Checked);
    EXPECT_TRUE(rows[3].Checked);
    EXPECT_FALSE(rows[4].Checked);
    EXPECT_EQ(rows[5], (ProfileRow{false, "f", "6", "ftp://h6", "u6", "p6"}));
    EXPECT_EQ(kept, (QList<QByteArray>{"short\tline", "False\tx\t3\tftp://h3\tu3\tp\xFF"}));

    QString error;
    ASSERT_TRUE(ProfileFile::Save(path, rows.mid(0, 1), &error, nullptr, kept));
    EXPECT_EQ(ReadAll(path), QByteArray("True\ta\t1\tftp://h1\tu1\tsecret\tpart\textra\r\n"
                                        "short\tline\r\n"
                                        "False\tx\t3\tftp://h3\tu3\tp\xFF\r\n"
                                        "\r\n"));
}

TEST(ProfileFile, GoesThroughTheCodePage) {
    ASSERT_TRUE(CodePage::SetOverride("CP932"));
    QTemporaryDir dir;
    const QString path = dir.filePath("sjis.dat");
    const ProfileRow row{true, "/data/ソース", "0", "ftp://h/表", "u", "p"};
    QString error;
    ASSERT_TRUE(ProfileFile::Save(path, {row}, &error));
    EXPECT_EQ(ReadAll(path), QByteArray("True\t/data/\x83\x5c\x81\x5b\x83\x58\t0\tftp://h/\x95\x5c"
                                        "\tu\tp\r\n\r\n"));
    QList<ProfileRow> rows;
    ASSERT_EQ(ProfileFile::Load(path, &rows), ProfileFile::LoadResult::Loaded);
    EXPECT_EQ(rows, QList<ProfileRow>{row});
    CodePage::SetOverride(QString());
}

TEST(NumericText, NumericTestAndLeadingNumber) {
    for (const char* yes : {"0", " 12 ", "-3", "+4.5", "1,000", "1.5e3", "2E-2", ".5", "7."})
        EXPECT_TRUE(NumericText::IsNumeric(yes)) << yes;
    for (const char* no : {"", " ", "abc", "12a", "1e", "--1", ".", "1 2", ",1"})
        EXPECT_FALSE(NumericText::IsNumeric(no)) << no;

    EXPECT_EQ(NumericText::LeadingNumberRounded("0"), 0);
    EXPECT_EQ(NumericText::LeadingNumberRounded("2.5"), 2);  // halves to even
    EXPECT_EQ(NumericText::LeadingNumberRounded("3.5"), 4);
    EXPECT_EQ(NumericText::LeadingNumberRounded("-2.5"), -2);
    EXPECT_EQ(NumericText::LeadingNumberRounded("2.51"), 3);
    EXPECT_EQ(NumericText::LeadingNumberRounded("12abc"), 12);
    EXPECT_EQ(NumericText::LeadingNumberRounded(" 1 2 "), 12);
    EXPECT_EQ(NumericText::LeadingNumberRounded("1,000"), 1);
    EXPECT_EQ(NumericText::LeadingNumberRounded("1e3"), 1000);
    EXPECT_EQ(NumericText::LeadingNumberRounded("abc"), 0);
    EXPECT_EQ(NumericText::LeadingNumberRounded("1e30"), 2147483647);
    EXPECT_EQ(NumericText::LeadingNumberRounded("-1e30"), -2147483647 - 1);
}

}  // namespace
