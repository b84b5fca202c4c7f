// The FTP client against the scripted server: exact bytes, framing, faults and time limits.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QtCore/private/qthread_p.h>

#include "FakeFtpHost.h"
#include "FtpClient.h"
#include "ScriptedFtpServer.h"

namespace {

const QString kControlBox =
    QStringLiteral("[WSCONTROL]障害が発生しました。処理を異常終了させます。\r\n[");
const QString kDataBox =
    QStringLiteral("[WSDATA]障害が発生しました。処理を異常終了させます。\r\n[");

class FtpClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Listen()); }

    Typ_Profile Profile(const QString& base = QStringLiteral("/base")) const {
        Typ_Profile profile;
        profile.LocalBaseDir = dir.path();
        profile.FtpDir = server.HostPort() + base;
        profile.Account = QStringLiteral("anon");
        profile.Passwd = QStringLiteral("secret");
        return profile;
    }

    QString MakeFile(const QString& name, const QByteArray& content) const {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    // Lets the server see what the client sent last (bounded).
    bool SettleUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 5000); }

    QTemporaryDir dir;
    ScriptedFtpServer server;
    FakeFtpHost host;
    FtpClient client{host};
};

QByteArray RandomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char& c : bytes)
        c = static_cast<char>(generator.bounded(256));
    return bytes;
}

}  // namespace

TEST_F(FtpClientTest, CommandLogAndBytesOfAConnectionAStoreAndQuit) {
    server.Listing = "/base:\r\na.txt\r\n";
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    const QString file = MakeFile("a.txt", "hello");
    ASSERT_TRUE(client.FtpPutFile(file, "/base/a.txt"));
    client.FtpQuit();
    EXPECT_TRUE(SettleUntil([&] { return server.Received().endsWith("QUIT\r\n"); }));

    const QStringList& log = host.commandLog;
    ASSERT_EQ(log.size(), 20) << log.join('\n').toStdString();
    EXPECT_EQ(log.mid(0, 9),
              QStringList({"220 Scripted server ready.>>", "USER anon",
                           "331 Please specify the password.>>", "PASS *****",
                           "230 Login successful.>>", "TYPE I", "200 Switching to Binary mode.>>",
                           "CWD /base", "250 Directory successfully changed.>>"}));
    EXPECT_TRUE(log[9].startsWith("PORT 127,0,0,1,"));
    EXPECT_EQ(log.mid(10, 4),
              QStringList({"200 PORT command successful.>>", "NLST -aILR /base",
                           "150 Here comes the directory listing.>>", "226 Directory send OK.>>"}));
    EXPECT_TRUE(log[14].startsWith("PORT 127,0,0,1,"));
    EXPECT_EQ(log.mid(15),
              QStringList({"200 PORT command successful.>>", "STOR /base/a.txt",
                           "150 Ok to send data.>>", "226 Transfer complete.>>", "QUIT"}));
    EXPECT_FALSE(log.join('\n').contains("secret"));
    EXPECT_EQ(host.runLog, QStringList({"SUCCESS - FTP CONNECTION - " + server.HostPort()}));
    EXPECT_TRUE(server.Received().startsWith(
        "USER anon\r\nPASS secret\r\nTYPE I\r\nCWD /base\r\nPORT 127,0,0,1,"));
    EXPECT_EQ(server.Stored(), "hello");
    EXPECT_EQ(client.strRemoteList.Paths(), QStringList({"/base", "/base/a.txt"}));
    EXPECT_EQ(client.lngRemoteListCount, 2);
    EXPECT_TRUE(client.blnRemoteListRecursive);
    EXPECT_EQ(client.strLocalBaseDir, dir.path());
    EXPECT_EQ(client.strRemoteBaseDir, "/base");
    EXPECT_TRUE(host.socketErrors.isEmpty());
}

TEST_F(FtpClientTest, BannerSplitAtEveryPointSendsUserOnce) {
    const QByteArray banner = "220-Hi\r\n220 Ready\r\n";
    for (qsizetype cut = 1; cut < banner.size(); ++cut) {
        ScriptedFtpServer split;
        ASSERT_TRUE(split.Listen());
        split.SetBanner({banner.left(cut), banner.mid(cut)});
        FakeFtpHost splitHost;
        FtpClient splitClient(splitHost);
        Typ_Profile profile = Profile();
        profile.FtpDir = split.HostPort();
        ASSERT_TRUE(splitClient.ConnectFtp(profile)) << "cut " << cut;
        EXPECT_EQ(split.CountCommands("USER"), 1) << "cut " << cut;
        EXPECT_EQ(splitHost.commandLog.first(), "220-Hi>>220 Ready>>") << "cut " << cut;
    }
}

TEST_F(FtpClientTest, FinalReplySplitAtEveryPointEndsTheListingOnce) {
    const QByteArray final = "226-Transfer done\r\n226 Bye\r\n";
    qsizetype cut = 0;
    server.On("NLST", [&](const QByteArray&) {
        server.ConnectData([&] {
            server.Send("150 Here it comes.\r\n");
            server.SendData("/base:\r\nx\r\n");
            server.CloseData();
            server.SendChunks({final.left(cut), final.mid(cut)});
        });
    });
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    for (cut = 1; cut < final.size(); ++cut) {
        RemoteListing list;
        qint32 count = 0;
        client.GetRemoteDirList("/base", list, count);
        EXPECT_EQ(count, 2) << "cut " << cut;
        EXPECT_EQ(host.commandLog.last(), "226-Transfer done>>226 Bye>>");
        EXPECT_TRUE(client.FtpChangeDir("/base")) << "cut " << cut;  // nothing left over
    }
}

TEST_F(FtpClientTest, ListingsWithJoinedRepliesOrFinalReplyBeforeTheData) {
    const QByteArray listing = "/base:\r\na.txt\r\nsub\r\n\r\n/base/sub:\r\nb.txt\r\nc.txt\r\n";
    const QStringList expected = {"/base",     "/base/a.txt",     "/base/sub",
                                  "/base/sub", "/base/sub/b.txt", "/base/sub/c.txt"};
    for (auto order : {ScriptedFtpServer::ListingOrder::JoinedReplies,
                       ScriptedFtpServer::ListingOrder::FinalBeforeEof}) {
        server.On("NLST", [&](const QByteArray&) { server.ServeListing(listing, order); });
        ASSERT_TRUE(client.ConnectFtp(Profile()));
        EXPECT_EQ(client.strRemoteList.Paths(), expected);
        EXPECT_EQ(client.lngRemoteListCount, 6);
        EXPECT_TRUE(client.FtpChangeDir("/base/sub"));
        EXPECT_TRUE(host.commandLog.contains("150 Here comes the directory listing.>>"));
        EXPECT_TRUE(host.commandLog.contains("226 Directory send OK.>>"));
    }
}

TEST_F(FtpClientTest, StoreWith125ConnectionAtPortOrAfterThePreliminaryReply) {
    server.SetDataConnect(ScriptedFtpServer::DataConnect::AtPort);
    server.On("STOR", [&](const QByteArray&) {
        server.ConnectData([&] {
            server.OnDataEnd = [&] { server.Send("226 Transfer complete.\r\n"); };
            server.Send("125 Data connection already open; Transfer starting.\r\n");
        });
    });
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    const QByteArray content = RandomBytes(3 * 1024 * 1024 + 17);
    ASSERT_TRUE(client.FtpPutFile(MakeFile("big.bin", content), "/base/big.bin"));
    EXPECT_EQ(server.Stored(), content);

    // 150 first, the connection only afterwards: nothing is sent before it is there.
    server.SetDataConnect(ScriptedFtpServer::DataConnect::AtTransfer);
    server.On("STOR", [&](const QByteArray&) {
        server.Send("150 Ok to send data.\r\n");
        QTimer::singleShot(50, &server, [&] {
            server.ConnectData(
                [&] { server.OnDataEnd = [&] { server.Send("226 Transfer complete.\r\n"); }; });
        });
    });
    ASSERT_TRUE(client.FtpPutFile(MakeFile("small.txt", "abc"), "/base/small.txt"));
    EXPECT_EQ(server.Stored(), "abc");
    EXPECT_TRUE(client.FtpChangeDir("/base"));
}

TEST_F(FtpClientTest, LateTransferReplyDuringCwdAndMkdAndThe521Success) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.On("CWD", [&](const QByteArray&) {
        server.SendChunks({"226 Transfer complete.\r\n", "250 OK.\r\n"});
    });
    EXPECT_TRUE(client.FtpChangeDir("/base/a"));
    server.On("CWD", [&](const QByteArray&) { server.Send("226 Late.\r\n550 No such dir.\r\n"); });
    EXPECT_FALSE(client.FtpChangeDir("/base/b"));
    server.On("MKD", [&](const QByteArray&) { server.Send("226 Late.\r\n257 Made.\r\n"); });
    EXPECT_TRUE(client.FtpMakeDir("/base/c"));
    server.On("MKD", [&](const QByteArray&) { server.Send("521 Exists.\r\n"); });
    EXPECT_TRUE(client.FtpMakeDir("/base/c"));
    server.On("CWD", [&](const QByteArray&) { server.Send("521 Whatever.\n"); });
    EXPECT_TRUE(client.FtpChangeDir("/base/c"));
    EXPECT_EQ(host.commandLog.last(), "521 Whatever.>>");  // a bare LF never splits a log line
    server.On("MKD", [&](const QByteArray&) { server.Send("550 Exists.\r\n"); });
    EXPECT_FALSE(client.FtpMakeDir("/base/c"));
}

TEST_F(FtpClientTest, MissingBaseIsMadeAndRefusedBaseFailsTheConnection) {
    server.On("CWD",
              [&](const QByteArray&) { server.Send("550 Failed to change directory.\r\n"); });
    ASSERT_TRUE(client.ConnectFtp(Profile("/a/b")));
    EXPECT_EQ(server.CountCommands("MKD"), 1);
    EXPECT_TRUE(server.Commands().contains("MKD /a/b"));
    server.On("MKD", [&](const QByteArray&) { server.Send("550 Create directory failed.\r\n"); });
    EXPECT_FALSE(client.ConnectFtp(Profile("/a/b")));
    EXPECT_TRUE(host.socketErrors.isEmpty());

    // Without a path the base is "/", and a second run after QUIT logs in again.
    server.On("CWD", [&](const QByteArray&) { server.Send("250 OK.\r\n"); });
    client.FtpQuit();
    Typ_Profile bare = Profile();
    bare.FtpDir = server.HostPort();
    ASSERT_TRUE(client.ConnectFtp(bare));
    EXPECT_EQ(client.strRemoteBaseDir, "/");
    EXPECT_TRUE(server.Commands().contains("CWD /"));
}

TEST_F(FtpClientTest, LoginRefusedOrSkippedPassword) {
    server.On("PASS", [&](const QByteArray&) { server.Send("530 Login incorrect.\r\n"); });
    EXPECT_FALSE(client.ConnectFtp(Profile()));
    EXPECT_TRUE(host.runLog.isEmpty());
    EXPECT_TRUE(host.socketErrors.isEmpty());
    EXPECT_EQ(server.CountCommands("TYPE"), 0);

    server.On("USER", [&](const QByteArray&) { server.Send("230 No password needed.\r\n"); });
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    EXPECT_EQ(server.CountCommands("PASS"), 1);  // only the refused attempt's
    EXPECT_EQ(host.runLog.size(), 1);

    server.SetBanner({"421 Too many users.\r\n"});
    EXPECT_FALSE(client.ConnectFtp(Profile()));
}

TEST_F(FtpClientTest, SilentServerEndsAsASocketErrorOnTheAwaitedConnection) {
    client.SetReplyTimeoutSec(1);
    server.SetBanner({});
    EXPECT_FALSE(client.ConnectFtp(Profile()));
    EXPECT_TRUE(client.blnAbend);
    EXPECT_TRUE(client.blnFtpError);
    ASSERT_EQ(host.socketErrors.size(), 1);
    EXPECT_TRUE(host.socketErrors[0].startsWith(kControlBox + QString::number(ETIMEDOUT) + "]"))
        << host.socketErrors[0].toStdString();
    EXPECT_EQ(client.wsControl.state(), QAbstractSocket::UnconnectedState);

    // 150, but the server never connects: the data connection is what timed out.
    server.SetBanner({"220 Ready.\r\n"});
    client.blnAbend = false;
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.On("STOR", [&](const QByteArray&) { server.Send("150 Ok to send data.\r\n"); });
    EXPECT_FALSE(client.FtpPutFile(MakeFile("a.txt", "x"), "/base/a.txt"));
    ASSERT_EQ(host.socketErrors.size(), 2);
    EXPECT_TRUE(host.socketErrors[1].startsWith(kDataBox + QString::number(ETIMEDOUT) + "]"));
    EXPECT_FALSE(client.wsData.isListening());

    // The data went, the final reply never comes.
    client.blnAbend = false;
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.On("STOR", [&](const QByteArray&) {
        server.ConnectData([&] { server.Send("150 Ok to send data.\r\n"); });
    });
    EXPECT_FALSE(client.FtpPutFile(MakeFile("a.txt", "x"), "/base/a.txt"));
    ASSERT_EQ(host.socketErrors.size(), 3);
    EXPECT_TRUE(host.socketErrors[2].startsWith(kControlBox + QString::number(ETIMEDOUT) + "]"));
    EXPECT_TRUE(client.blnAbend);
}

// The box names the system's error number and its words, not the socket library's own enum.
TEST_F(FtpClientTest, RefusedConnectionShowsTheSystemsNumberAndWords) {
    QTcpServer closed;  // a port that was free a moment ago
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    Typ_Profile profile = Profile();
    profile.FtpDir = QStringLiteral("127.0.0.1:%1/base").arg(closed.serverPort());
    closed.close();
    EXPECT_FALSE(client.ConnectFtp(profile));
    ASSERT_EQ(host.socketErrors.size(), 1);
    EXPECT_EQ(host.socketErrors[0], kControlBox + QString::number(ECONNREFUSED) + "]" +
                                        QString::fromLocal8Bit(std::strerror(ECONNREFUSED)));
}

TEST_F(FtpClientTest, ConnectionResetDuringStore) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    const QString big = dir.filePath("big.bin");
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(64 * 1024 * 1024));  // sparse: more than loopback buffers hold
    }
    // Data connection reset by the server, which then says so: a failed file, the run goes on.
    server.On("STOR", [&](const QByteArray&) {
        server.ConnectData([&] {
            server.Send("150 Ok to send data.\r\n");
            QTimer::singleShot(0, &server, [&] {
                server.ResetData();
                server.Send("426 Failure writing network stream.\r\n");
            });
        });
    });
    EXPECT_FALSE(client.FtpPutFile(big, "/base/big.bin"));
    EXPECT_FALSE(client.blnAbend);
    EXPECT_TRUE(host.socketErrors.isEmpty());
    EXPECT_TRUE(client.FtpChangeDir("/base"));

    // The control connection reset: the run stops.
    server.On("STOR", [&](const QByteArray&) {
        server.ConnectData([&] {
            server.Send("150 Ok to send data.\r\n");
            QTimer::singleShot(0, &server, [&] { server.ResetControl(); });
        });
    });
    EXPECT_FALSE(client.FtpPutFile(big, "/base/big.bin"));
    EXPECT_TRUE(client.blnAbend);
    EXPECT_TRUE(client.blnFtpError);
    ASSERT_EQ(host.socketErrors.size(), 1);
    EXPECT_TRUE(host.socketErrors[0].startsWith(kControlBox));
}

TEST_F(FtpClientTest, RefusedPortOrDataConnection) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.On("PORT", [&](const QByteArray&) {
        server.Send("425 Can't open data connection.\r\n");  // pyftpdlib connects at PORT
    });
    EXPECT_FALSE(client.FtpPutFile(MakeFile("a.txt", "x"), "/base/a.txt"));
    EXPECT_EQ(server.CountCommands("STOR"), 0);
    EXPECT_FALSE(client.wsData.isListening());
    EXPECT_FALSE(client.FtpExistFile("/base/a.txt"));

    ScriptedFtpServer refusing;
    ASSERT_TRUE(refusing.Listen());
    refusing.SetDataConnect(ScriptedFtpServer::DataConnect::Never);
    Typ_Profile profile = Profile();
    profile.FtpDir = refusing.HostPort() + "/base";
    ASSERT_TRUE(client.ConnectFtp(profile));
    EXPECT_EQ(client.lngRemoteListCount, 0);
    EXPECT_FALSE(client.FtpPutFile(MakeFile("a.txt", "x"), "/base/a.txt"));
    EXPECT_FALSE(client.FtpExistFile("/base/a.txt"));
    EXPECT_TRUE(client.FtpChangeDir("/base"));
    EXPECT_TRUE(host.socketErrors.isEmpty());
    EXPECT_FALSE(client.blnAbend);
}

TEST_F(FtpClientTest, LineBreaksInNamesAreNeverSent) {
    Typ_Profile injected = Profile();
    injected.Passwd = "x\r\nDELE /etc/passwd";
    EXPECT_FALSE(client.ConnectFtp(injected));
    injected = Profile("/base\nDELE /x");
    EXPECT_FALSE(client.ConnectFtp(injected));
    EXPECT_EQ(server.Connections(), 0);

    ASSERT_TRUE(client.ConnectFtp(Profile()));
    const QString file = MakeFile("a.txt", "x");
    EXPECT_FALSE(client.FtpChangeDir("/a\r\nDELE /x"));
    EXPECT_FALSE(client.FtpMakeDir("/a\nDELE /x"));
    EXPECT_FALSE(client.FtpPutFile(file, "/a\rDELE /x"));
    EXPECT_FALSE(client.FtpExistFile("/a\nDELE /x"));
    RemoteListing paths;
    EXPECT_FALSE(client.ListRemoteDir("/a\nDELE /x", &paths));
    RemoteListing list;
    qint32 count = 5;
    client.GetRemoteDirList("/a\nDELE /x", list, count);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(client.FtpChangeDir("/base"));
    EXPECT_FALSE(server.Received().contains("DELE"));
    EXPECT_FALSE(host.commandLog.join('\n').contains("DELE"));
}

TEST_F(FtpClientTest, EmptyUnreadableAndFailingLocalFiles) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    ASSERT_TRUE(client.FtpPutFile(MakeFile("empty.txt", ""), "/base/empty.txt"));
    EXPECT_TRUE(server.Commands().contains("STOR /base/empty.txt"));
    EXPECT_TRUE(server.Stored().isEmpty());

    const int stores = server.CountCommands("STOR");
    EXPECT_FALSE(client.FtpPutFile(dir.filePath("missing.txt"), "/base/missing.txt"));
    EXPECT_FALSE(client.FtpPutFile(dir.path(), "/base/folder"));
    EXPECT_EQ(server.CountCommands("STOR"), stores);
    EXPECT_EQ(server.CountCommands("PORT"), stores + 1);  // one more from the listing

    // Opens, then fails to read: the transfer is aborted, the server's verdict is not believed.
    EXPECT_FALSE(client.FtpPutFile("/proc/self/mem", "/base/mem"));
    EXPECT_EQ(server.CountCommands("STOR"), stores + 1);
    EXPECT_FALSE(client.blnAbend);
    EXPECT_TRUE(client.FtpChangeDir("/base"));
}

TEST_F(FtpClientTest, InvestigateModeSendsNothing) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    const QByteArray before = server.Received();
    host.investigate = true;
    EXPECT_TRUE(client.FtpPutFile(MakeFile("a.txt", "x"), "/base/a.txt"));
    EXPECT_TRUE(client.FtpPutFile(dir.filePath("missing"), "/base/missing"));
    QTest::qWait(50);
    EXPECT_EQ(server.Received(), before);
}

// Closing the window closes both sockets from inside a wait; the wait must end there, not at
// the time limit.
TEST_F(FtpClientTest, SocketsClosedDuringAWaitEndItAtOnce) {
    client.SetReplyTimeoutSec(30);
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.On("STOR", [&](const QByteArray&) {
        QTimer::singleShot(0, [&] {
            client.blnAbend = true;
            client.CloseSockets();
        });
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client.FtpPutFile(MakeFile("a.txt", "abc"), "/base/a.txt"));
    EXPECT_LT(clock.elapsed(), 25000);
    EXPECT_TRUE(host.socketErrors.isEmpty());
    EXPECT_EQ(client.wsControl.state(), QAbstractSocket::UnconnectedState);
}

TEST_F(FtpClientTest, StopAfterFileAndStopAtOnceDuringATransfer) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.On("STOR", [&](const QByteArray&) {
        client.blnQuitAfterFile = true;  // the user's "Yes" while the file goes
        server.ServeStore();
    });
    EXPECT_TRUE(client.FtpPutFile(MakeFile("a.txt", "abc"), "/base/a.txt"));
    EXPECT_EQ(server.Stored(), "abc");
    EXPECT_TRUE(client.blnAbend);

    client.blnAbend = false;
    client.blnQuitAfterFile = false;
    server.On("STOR", [&](const QByteArray&) {
        server.ConnectData([&] {
            server.Send("150 Ok to send data.\r\n");
            client.blnAbend = true;  // the user's "No": stop at once
        });
    });
    EXPECT_FALSE(client.FtpPutFile(MakeFile("b.txt", "abc"), "/base/b.txt"));
    EXPECT_TRUE(host.socketErrors.isEmpty());
}

TEST_F(FtpClientTest, ExistFileAsksForOneNameAndWaitsForItsData) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.Listing = "File.TXT\r\n";
    EXPECT_TRUE(client.FtpExistFile("/dir/file.txt"));
    EXPECT_TRUE(server.Commands().contains("CWD /dir"));
    EXPECT_TRUE(server.Commands().contains("NLST file.txt"));
    server.On("NLST", [&](const QByteArray&) {
        server.ServeListing("file.txt\n", ScriptedFtpServer::ListingOrder::FinalBeforeEof);
    });
    EXPECT_TRUE(client.FtpExistFile("/dir/file.txt"));

    server.Listing = "";  // vsftpd: 150, no data, 226
    server.On("NLST", [&](const QByteArray&) { server.ServeListing(server.Listing); });
    EXPECT_FALSE(client.FtpExistFile("/dir/file.txt"));
    server.On("NLST", [&](const QByteArray&) { server.Send("450 No files found.\r\n"); });
    EXPECT_FALSE(client.FtpExistFile("/dir/file.txt"));
    // pure-ftpd refuses a name list of one existing file; SIZE tells.
    server.On("NLST",
              [&](const QByteArray&) { server.Send("550 Can't check for file existence\r\n"); });
    server.On("SIZE", [&](const QByteArray& a) {
        server.Send(a == "file.txt" ? "213 5\r\n" : "550 Could not get file size.\r\n");
    });
    EXPECT_TRUE(client.FtpExistFile("/dir/file.txt"));
    EXPECT_FALSE(client.FtpExistFile("/dir/other.txt"));
    server.On("SIZE", [&](const QByteArray&) { server.Send("502 Not implemented.\r\n"); });
    // Any final reply ends the wait, even with the data connection left open.
    server.On("NLST", [&](const QByteArray&) {
        server.ConnectData([&] { server.Send("150 Here.\r\n451 Local error.\r\n"); });
    });
    EXPECT_FALSE(client.FtpExistFile("/dir/file.txt"));
    server.On("CWD", [&](const QByteArray& a) {
        server.Send(a.isEmpty() ? "550 Failed.\r\n" : "250 OK.\r\n");
    });
    const int lists = server.CountCommands("NLST");
    EXPECT_FALSE(client.FtpExistFile("/name"));
    EXPECT_TRUE(server.Commands().contains("CWD "));
    EXPECT_EQ(server.CountCommands("NLST"), lists);
    EXPECT_TRUE(host.socketErrors.isEmpty());
}

TEST_F(FtpClientTest, PerDirectoryListingFollowsWhatTheServerOffers) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    server.Listing = "/d/a\r\n/d/.b\r\n/d/.\r\n/d/..\r\n";
    RemoteListing paths;
    ASSERT_TRUE(client.ListRemoteDir("/d", &paths));
    EXPECT_EQ(paths.Paths(), QStringList({"/d/a", "/d/.b"}));
    // The folder is entered and the current one listed: its name never reaches the server's ls.
    EXPECT_TRUE(server.Commands().contains("CWD /d"));
    EXPECT_EQ(server.Commands().last(), "NLST -a");

    // A server that takes no options: plain NLST, remembered for the connection.
    server.On("NLST", [&](const QByteArray& a) {
        if (a.startsWith('-'))
            server.Send("550 No such file.\r\n");
        else
            server.ServeListing("a\r\n.b\r\n");
    });
    ASSERT_TRUE(client.ListRemoteDir("//d", &paths));
    EXPECT_EQ(paths.Paths(), QStringList({"/d/a", "/d/.b"}));
    ASSERT_TRUE(client.ListRemoteDir("/e", &paths));
    EXPECT_EQ(paths.Paths(), QStringList({"/e/a", "/e/.b"}));
    EXPECT_EQ(server.CountCommands("FEAT"), 1);
    EXPECT_TRUE(server.Commands().contains("CWD /e"));
    EXPECT_EQ(server.Commands().last(), "NLST");

    // MLSD when FEAT names MLST, chosen afresh on the next connection.
    server.On("FEAT", [&](const QByteArray&) {
        server.Send("211-Features:\r\n MLST type*;size*;\r\n211 End\r\n");
    });
    server.Listing =
        "type=cdir; /d\r\ntype=pdir; ..\r\ntype=file;size=1; .profile\r\ntype=dir; sub\r\n";
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    ASSERT_TRUE(client.ListRemoteDir("/d", &paths));
    EXPECT_EQ(paths.Paths(), QStringList({"/d/.profile", "/d/sub"}));
    EXPECT_EQ(server.Commands().last(), "MLSD");
    server.On("MLSD", [&](const QByteArray&) { server.Send("550 No such directory.\r\n"); });
    EXPECT_FALSE(client.ListRemoteDir("/gone", &paths));
}

TEST_F(FtpClientTest, PortParameterOfALiveConnectionAndIpv6) {
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    const QString argument = client.GetPortParameter();
    ASSERT_TRUE(client.wsData.isListening());
    const quint16 port = client.wsData.serverPort();
    EXPECT_EQ(argument, QString("127,0,0,1,%1,%2").arg(port / 256).arg(port % 256));
    client.CloseSockets();
    EXPECT_FALSE(client.wsData.isListening());

    ScriptedFtpServer v6;
    if (!v6.Listen(QHostAddress::LocalHostIPv6))
        GTEST_SKIP() << "no IPv6 loopback here";
    v6.Listing = "/base:\r\na\r\n";
    Typ_Profile profile = Profile();
    profile.FtpDir = v6.HostPort() + "/base";
    ASSERT_TRUE(client.ConnectFtp(profile));
    EXPECT_EQ(client.lngRemoteListCount, 2);
    ASSERT_TRUE(client.FtpPutFile(MakeFile("a.txt", "six"), "/base/a.txt"));
    EXPECT_EQ(v6.Stored(), "six");
    EXPECT_TRUE(host.commandLog.filter("EPRT |2|::1|").size() == 2);
    EXPECT_EQ(host.runLog.last(), "SUCCESS - FTP CONNECTION - " + v6.HostPort());
}

// Behind NAT a server names its private address: the data connection goes to the control
// connection's peer all the same, and the run log says so once. EPSV refused is asked once.
TEST_F(FtpClientTest, PassiveConnectsToTheControlPeerWhateverPasvNames) {
    host.options.DataConnection = DC_Passive;
    server.EpsvRefused = true;
    server.PasvAddress = QHostAddress(QStringLiteral("10.1.2.3"));
    server.Listing = "/base:\r\n/base/a.txt\r\n";
    ASSERT_TRUE(client.ConnectFtp(Profile()));
    EXPECT_EQ(client.strRemoteList.Paths(), QStringList({"/base", "/base/a.txt"}));
    ASSERT_TRUE(client.FtpPutFile(MakeFile("a.txt", "hello"), "/base/a.txt"));
    ASSERT_TRUE(client.FtpPutFile(MakeFile("b.txt", QByteArray()), "/base/b.txt"));
    EXPECT_EQ(server.Stored(), QByteArray());
    EXPECT_EQ(server.CountCommands("EPSV"), 1);
    EXPECT_EQ(server.CountCommands("PASV"), 3);
    EXPECT_EQ(server.CountCommands("PORT") + server.CountCommands("EPRT"), 0);
    const QStringList told = host.runLog.filter("WARNING - PASV ADDRESS NOT USED");
    ASSERT_EQ(told.size(), 1) << host.runLog.join('\n').toStdString();
    EXPECT_TRUE(told.first().contains("10.1.2.3")) << told.first().toStdString();
    EXPECT_TRUE(host.socketErrors.isEmpty()) << host.socketErrors.join('\n').toStdString();
}

// With TLS required nothing goes in clear after the banner but the request for it, and there is
// no way back to clear text: a refused AUTH, or a server that does not speak TLS after agreeing.
TEST_F(FtpClientTest, RequiredTlsNeverFallsBackToClearText) {
    using Answer = std::function<void(ScriptedFtpServer&)>;
    const QList<std::pair<const char*, Answer>> refusals{
        {"AUTH refused", [](ScriptedFtpServer& s) { s.Send("502 No TLS here.\r\n"); }},
        {"no handshake",
         [](ScriptedFtpServer& s) { s.Send("234 Go ahead.\r\n500 Not TLS at all.\r\n"); }},
    };
    for (const auto& [name, answer] : refusals) {
        ScriptedFtpServer plain;
        ASSERT_TRUE(plain.Listen());
        plain.On("AUTH", [&plain, answer = answer](const QByteArray&) { answer(plain); });
        FakeFtpHost tlsHost;
        tlsHost.options.Tls = TLS_Require;
        FtpClient tlsClient(tlsHost);
        Typ_Profile profile = Profile();
        profile.FtpDir = plain.HostPort() + "/base";
        EXPECT_FALSE(tlsClient.ConnectFtp(profile)) << name;
        tlsClient.FtpQuit();
        QTest::qWait(50);
        EXPECT_EQ(plain.Received(), "AUTH TLS\r\n") << name;
        EXPECT_TRUE(tlsHost.runLog.isEmpty()) << name;
        EXPECT_EQ(tlsHost.socketErrors.size(), 1) << name;
        EXPECT_FALSE(tlsClient.FaultReason().isEmpty()) << name;
        EXPECT_FALSE(tlsHost.commandLog.join('\n').contains("USER")) << name;
    }
}

namespace {

// What the client holds: its live descendants and the events posted to any of them that this
// thread has not delivered yet (a deleteLater() inside a nested wait would stay there).
struct Held {
    qsizetype objects = 0;
    qsizetype posted = 0;
};

Held HeldBy(const QObject& client) {
    const QList<QObject*> objects = client.findChildren<QObject*>();
    Held held{objects.size(), 0};
    const QPostEventList& queue = QThreadData::get2(QThread::currentThread())->postEventList;
    for (qsizetype i = queue.startOffset; i < queue.size(); ++i) {
        const QPostEvent& posted = queue.at(i);
        if (posted.event && (posted.receiver == &client || objects.contains(posted.receiver)))
            ++held.posted;
    }
    return held;
}

}  // namespace

// A run holds as much after many files as after a few: every data connection's objects are
// freed in the run, not when it ends.
TEST_F(FtpClientTest, ManyUploadsHoldNoMoreThanAFew) {
    for (const enmDataConnection mode : {DC_Active, DC_Passive}) {
        host.options.DataConnection = mode;
        ASSERT_TRUE(client.ConnectFtp(Profile()));
        const QString file = MakeFile("a.txt", "hello");
        Held afterFew;
        for (int i = 1; i <= 300; ++i) {
            ASSERT_TRUE(client.FtpPutFile(file, "/base/a.txt")) << i;
            if (i == 3)
                afterFew = HeldBy(client);
        }
        const Held afterMany = HeldBy(client);
        EXPECT_EQ(afterMany.objects, afterFew.objects) << "mode " << mode;
        EXPECT_EQ(afterMany.posted, afterFew.posted) << "mode " << mode;
        client.FtpQuit();
    }
}
