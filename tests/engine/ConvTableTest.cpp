#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "CodePage.h"
#include "ConvTable.h"
#include "ConvTableHelp.h"
#include "MessageHost.h"
#include "QtPrint.h"

using namespace ConvTable;

namespace {

QString WriteTable(const QTemporaryDir& dir, const QString& text) {
    const QString path = dir.filePath("table.txt");
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(CodePage::FromUnicode(text));
    return path;
}

Typ_ConvTable Load(const QString& path) {
    Typ_ConvTable table;
    table.udtConvTable.append(Typ_ConvName{"stale", "row"});
    table.lngConvCount = 1;
    LoadConvTable(table, path);
    EXPECT_EQ(table.lngConvCount, table.udtConvTable.size());
    return table;
}

QStringList Pairs(const Typ_ConvTable& table) {
    QStringList pairs;
    for (const Typ_ConvName& row : table.udtConvTable)
        pairs << row.FromName + "=>" + row.ToName;
    return pairs;
}

TEST(ConvTable, LoadKeepsRowsInOrderAndSkipsWhatIsNoRow) {
    QTemporaryDir dir;
    const QString text = QStringLiteral(
                             "ソース\tsource\n"
                             "abc\t\n"
                             "no tab\n"
                             "\n"
                             "\tx\n"
                             "%1z\tignored\n"
                             "a\tb\tc\n"
                             "last\tline")
                             .arg(QChar(0));
    const QStringList expected = {"ソース=>source", "=>x", "a=>b\tc", "last=>line"};
    EXPECT_EQ(Pairs(Load(WriteTable(dir, text))), expected);
    QString crlf = text;
    crlf.replace("\n", "\r\n");
    EXPECT_EQ(Pairs(Load(WriteTable(dir, crlf))), expected);

    EXPECT_EQ(Load(dir.filePath("missing.txt")).lngConvCount, 0);
    EXPECT_EQ(Load(QString()).lngConvCount, 0);
    EXPECT_TRUE(Load(dir.path()).udtConvTable.isEmpty());
}

TEST(ConvTable, ConvertReplacesWholeSegmentsRowAfterRow) {
    QTemporaryDir dir;
    const Typ_ConvTable table =
        Load(WriteTable(dir, QStringLiteral("ソース\tsource\r\nA\tB\r\nb\tC\r\n")));
    EXPECT_EQ(ConvertRemoteName(table, "/www/ソース/a.txt"), "/www/source/a.txt");
    EXPECT_EQ(ConvertRemoteName(table, "/a/ソース"), "/C/source");
    EXPECT_EQ(ConvertRemoteName(table, "/www/xソース/a/"), "/www/xソース/C/");
    EXPECT_EQ(ConvertRemoteName(table, "//a.txt"), "//a.txt");
    EXPECT_EQ(ConvertRemoteName(Typ_ConvTable(), "/www/ソース/a"), "/www/ソース/a");

    // An empty FromName matches every empty segment, the leading one included.
    const Typ_ConvTable empty = Load(WriteTable(dir, QStringLiteral("\tx\n")));
    EXPECT_EQ(ConvertRemoteName(empty, "/www/a.txt"), "x/www/a.txt");
    EXPECT_EQ(ConvertRemoteName(empty, "/a//b/"), "x/a/x/b/x");
}

TEST(ConvTable, AddRequireConvAppendsLastSegmentsInOrder) {
    QFile::remove(RequireConvPath());
    EXPECT_EQ(RequireConvPath(), QDir(RequireConvPath()).absolutePath());
    EXPECT_TRUE(RequireConvPath().endsWith("/SkerrowEx/SkerrowEx.require_conv.txt"));
    for (const char* path : {"/www/dir/", "/home/u/a\\b.txt", "plain", "/www/dir", "/"})
        ASSERT_TRUE(AddRequireConv(QString::fromUtf8(path)));
    QFile f(RequireConvPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(CodePage::ToUnicode(f.readAll()),
              QStringLiteral("dir\r\na\\b.txt\r\nplain\r\ndir\r\n\r\n"));

    QFile::remove(RequireConvPath());
    ASSERT_TRUE(QDir().mkdir(RequireConvPath()));
    QString error;
    EXPECT_FALSE(AddRequireConv("x", &error));
    EXPECT_FALSE(error.isEmpty());
}

class RecordingHost : public MessageHost {
public:
    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title) override {
        shown << text;
        lastIcon = icon;
        lastButtons = buttons;
        lastTitle = title;
        return MsgAnswer::Ok;
    }
    QStringList shown;
    MsgIcon lastIcon = MsgIcon::Critical;
    MsgButtons lastButtons = MsgButtons::YesNo;
    QString lastTitle = "unset";
};

TEST(ConvTable, HelpShowsTheTextWithInformationIcon) {
    RecordingHost host;
    HelpConvTable(host);
    EXPECT_EQ(host.shown, QStringList{ConvTableHelpText()});
    EXPECT_EQ(host.lastIcon, MsgIcon::Information);
    EXPECT_EQ(host.lastButtons, MsgButtons::Ok);
    EXPECT_TRUE(host.lastTitle.isEmpty());  // the application title
}

}  // namespace
