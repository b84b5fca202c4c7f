// The pure pieces of the FTP client: reply framing, listing parsing, address parsing.
#include <gtest/gtest.h>

#include "FtpAddress.h"
#include "FtpClient.h"
#include "QtPrint.h"
#include "RemoteListParser.h"
#include "ReplyFramer.h"
#include "ServerText.h"

namespace {

QList<QByteArray> Replies(ReplyFramer& framer) {
    QList<QByteArray> replies;
    QByteArray reply;
    while (framer.Next(&reply))
        replies.append(reply);
    return replies;
}

QList<QByteArray> FeedInPieces(const QByteArray& text, const QList<qsizetype>& cuts) {
    ReplyFramer framer;
    QList<QByteArray> replies;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        EXPECT_TRUE(framer.Feed(text.mid(from, cut - from)));
        replies += Replies(framer);
        from = cut;
    }
    EXPECT_TRUE(framer.Feed(text.mid(from)));
    return replies + Replies(framer);
}

QStringList Parse(RemoteListParser::Form form, const QString& dir, const QByteArray& text,
                  bool* sawHeader = nullptr) {
    RemoteListParser listing(form, dir);
    EXPECT_TRUE(listing.Feed(text) && listing.Finish()) << listing.Fault().toStdString();
    if (sawHeader)
        *sawHeader = listing.SawHeader();
    return listing.Entries().Paths();
}

QStringList Recursive(const QString& dir, const QByteArray& text, bool* sawHeader) {
    return Parse(RemoteListParser::Form::Recursive, dir, text, sawHeader);
}

}  // namespace

TEST(ReplyFramer, EverySplitOfJoinedAndMultiLineRepliesGivesTheSameReplies) {
    const QByteArray text =
        "220-Welcome\r\n220-  second line\r\n220 Ready\r\n"
        "150 Opening\r\n226-Transfer done\r\n226 Bye\r\n250 OK\n";
    const QList<QByteArray> expected = {"220-Welcome\r\n220-  second line\r\n220 Ready\r\n",
                                        "150 Opening\r\n", "226-Transfer done\r\n226 Bye\r\n",
                                        "250 OK\n"};
    EXPECT_EQ(FeedInPieces(text, {}), expected);
    for (qsizetype a = 1; a < text.size(); ++a) {
        EXPECT_EQ(FeedInPieces(text, {a}), expected) << "split at " << a;
        for (qsizetype b = a + 1; b < text.size(); b += 7)
            EXPECT_EQ(FeedInPieces(text, {a, b}), expected) << "split at " << a << "," << b;
    }
}

TEST(ReplyFramer, MultiLineReplyEndsOnlyAtItsOwnCodeFollowedByABlank) {
    ReplyFramer framer;
    ASSERT_TRUE(framer.Feed("211-Features:\r\n MLST type*;\r\n 211 not the end\r\n"));
    EXPECT_TRUE(Replies(framer).isEmpty());
    ASSERT_TRUE(framer.Feed("211-still open\r\n200 other code\r\n"));
    EXPECT_TRUE(Replies(framer).isEmpty());
    ASSERT_TRUE(framer.Feed("211 End\r\nxyz"));
    EXPECT_EQ(Replies(framer).size(), 1);
    ASSERT_TRUE(framer.Feed("\r\n"));
    EXPECT_EQ(Replies(framer).size(), 1);  // a line that is no reply still ends one
}

TEST(RemoteListParser, RecursiveListingFormsOfTheServers) {
    bool header = false;
    // Bare names, CR LF and LF alike; names before the first header dropped; "." and "..".
    const QByteArray bare =
        "stray.txt\r\n/data:\r\na.txt\r\n.\r\n..\r\n.profile\r\nsub\r\n\r\n/data/sub:\nb.txt\n";
    EXPECT_EQ(Recursive("/data", bare, &header),
              QStringList({"/data", "/data/a.txt", "/data/.profile", "/data/sub", "/data/sub",
                           "/data/sub/b.txt"}));
    EXPECT_TRUE(header);
    // vsftpd with recursion: full paths under each header, dot entries as full paths.
    const QByteArray vsftpd =
        "/base:\r\n/base/.\r\n/base/..\r\n/base/a.txt\r\n/base/sub\r\n\r\n/base/sub:\r\n"
        "/base/sub/.\r\n/base/sub/..\r\n/base/sub/b.txt\r\n";
    EXPECT_EQ(Recursive("/base", vsftpd, &header),
              QStringList({"/base", "/base/a.txt", "/base/sub", "/base/sub", "/base/sub/b.txt"}));
    // One level without headers (vsftpd by default, proftpd): nothing, and not recursive.
    EXPECT_TRUE(Recursive("/base", "/base/a.txt\r\nb.txt\r\n", &header).isEmpty());
    EXPECT_FALSE(header);
    EXPECT_TRUE(Recursive("/base", "", &header).isEmpty());
}

TEST(RemoteListParser, PerDirectoryListings) {
    EXPECT_EQ(Parse(RemoteListParser::Form::Names, "/d", "a\r\n.b\r\n/d/c\n.\n/d/..\n\n"),
              QStringList({"/d/a", "/d/.b", "/d/c"}));
    const QByteArray mlsd =
        "type=cdir;perm=el; .\r\ntype=pdir; ..\r\ntype=file;size=3; .profile\r\n"
        "Type=dir;modify=20240101000000; sub dir\r\ntype=OS.unix=symlink; link\r\n; bare\r\n";
    EXPECT_EQ(Parse(RemoteListParser::Form::Machine, "/d", mlsd),
              QStringList({"/d/.profile", "/d/sub dir", "/d/link", "/d/bare"}));
    EXPECT_TRUE(
        RemoteListParser::FeatOffersMlsd("211-Features:\r\n MLST type*;size*;\r\n211 End\r\n"));
    EXPECT_FALSE(RemoteListParser::FeatOffersMlsd("211-Features:\r\n SIZE\r\n211 End\r\n"));
}

// Lines count only where they prove that they belong to the listed folder.
TEST(RemoteListParser, NothingOutsideTheListedFolderCounts) {
    using Form = RemoteListParser::Form;
    struct Case {
        Form form;
        QString dir;
        QByteArray text;
        QStringList entries;
    };
    const Case cases[] = {
        {Form::Recursive, "/base", "/etc:\r\npasswd\r\n/base2:\r\nx\r\n", {}},
        // ls -aILR /base/dir with blanks on a classic server: the folder "dir" and two errors.
        {Form::Recursive,
         "/base/dir with blanks",
         "ls: with: No such file or directory\n/base/dir:\n.\n..\nother.txt\n",
         {}},
        {Form::Recursive,
         "/base",
         "/base:\r\n../etc\r\n/base/../etc/x\r\nsub/../../x\r\n/other/x\r\nok\r\n",
         {"/base", "/base/ok"}},
        {Form::Recursive, "/", "/:\na\n/sub:\n/sub/b\n", {"/", "/a", "/sub", "/sub/b"}},
        {Form::Recursive,
         "//Base/",
         "/base/sub:\nb\n/base/sub/c\n/base/x/d\n",
         {"/base/sub", "/base/sub/b", "/base/sub/c"}},
        {Form::Names, "/d", "/etc/passwd\r\n/d/ok\r\n/other/d\r\nbare\r\n", {"/d/ok", "/d/bare"}},
        {Form::Machine, "/d", "type=file; ../x\r\ntype=file; a/b\r\ntype=file; c\r\n", {"/d/c"}},
    };
    for (const Case& c : cases) {
        bool header = false;
        EXPECT_EQ(Parse(c.form, c.dir, c.text, &header), c.entries) << c.text.toStdString();
        EXPECT_EQ(header, c.form == Form::Recursive && !c.entries.isEmpty());
    }
}

TEST(ServerText, ControlCharactersButTabAreEscapedInLogLines) {
    EXPECT_EQ(ServerText::ReplyLogLine(QStringLiteral("250-a\tb\r\n250 c\x1b[2J\rd\n")),
              "250-a\tb>>250 c\\x1B[2J\\x0Dd>>");
    EXPECT_EQ(ServerText::Printable(QString::fromUtf8("x\0y\u0085z\u2028\x7f", 10)),
              "x\\x00y\\x85z\\u2028\\x7F");
}

TEST(FtpAddress, HostPortAndBase) {
    FtpAddress a;
    ASSERT_TRUE(ParseFtpAddress("ftp.example.com", &a));
    EXPECT_EQ(a.Host, "ftp.example.com");
    EXPECT_EQ(a.Port, 21);
    EXPECT_EQ(a.RemoteBase, "/");
    EXPECT_EQ(a.HostPort(), "ftp.example.com:21");
    ASSERT_TRUE(ParseFtpAddress("127.0.0.1:2121/a/b", &a));
    EXPECT_EQ(a.Host, "127.0.0.1");
    EXPECT_EQ(a.Port, 2121);
    EXPECT_EQ(a.RemoteBase, "/a/b");
    ASSERT_TRUE(ParseFtpAddress("[::1]:2121/x", &a));
    EXPECT_EQ(a.Host, "::1");
    EXPECT_EQ(a.HostPort(), "[::1]:2121");
    ASSERT_TRUE(ParseFtpAddress("::1", &a));
    EXPECT_EQ(a.Port, 21);
    for (const char* bad :
         {"", "/a", "host:", "host:0", "host:65536", "host:x1", "[::1", "[::1]x", ":21"})
        EXPECT_FALSE(ParseFtpAddress(bad, &a)) << bad;
}

TEST(FtpClient, PortArgumentArithmetic) {
    const QHostAddress local("192.168.1.10");
    EXPECT_EQ(FtpClient::PortArgument(local, 1234), "192,168,1,10,4,210");
    EXPECT_EQ(FtpClient::PortArgument(local, 65535), "192,168,1,10,255,255");
    EXPECT_EQ(FtpClient::PortArgument(local, 256), "192,168,1,10,1,0");
    EXPECT_EQ(FtpClient::PortArgument(local, 255), "192,168,1,10,0,255");
    EXPECT_EQ(FtpClient::PortArgument(QHostAddress("::1"), 1234), "|2|::1|1234|");
}
