// The SFTP client against OpenSSH's sshd: listings with many folders at once, a refused login
// that names what it tried, a stop in the middle of a file, and servers that take no connection
// or never speak.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include "FtpHost.h"
#include "FtpTestServer.h"
#include "SftpClient.h"

namespace {

class RecordingHost : public FtpHost {
public:
    void Logging(const QString& line) override { commandLog << line; }
    void WriteLog(const QString& line) override { runLog << line; }
    void ShowSocketError(const QString& text) override { socketErrors << text; }
    bool InvestigateMode() override { return false; }
    Typ_ServerOptions ServerOptions(const QString&) override { return options; }

    Typ_ServerOptions options;
    QStringList commandLog;
    QStringList runLog;
    QStringList socketErrors;
};

bool WriteAll(const QString& path, const QByteArray& content) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(content) == content.size();
}

class SftpClientServer : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        ASSERT_TRUE(server_.Start(FtpServerKind::Sshd, &why)) << why.toStdString();
        // The host key is trusted as the settings would trust it.
        const QByteArray digest =
            QByteArray::fromBase64(server_.HostKeyFingerprint().mid(7).toLatin1() + '=');
        host_.options.TrustedHostKey = digest;
    }

    Typ_Profile Profile(const QString& remoteBase, const QString& password) const {
        Typ_Profile profile;
        profile.LocalBaseDir = local_.path();
        profile.FtpDir = server_.FtpDir(remoteBase);
        profile.Account = server_.User();
        profile.Passwd = password;
        return profile;
    }

    QTemporaryDir local_;
    FtpTestServer server_;
    RecordingHost host_;
    SftpClient client_{host_};
};

// Every entry below the base, dot files and names with blanks included, from 150 folders read
// 64 at a time; a folder that cannot be read is listed but not entered; a link is not followed.
TEST_F(SftpClientServer, ListsTheWholeTreeAndPassesOverWhatItCannotRead) {
    const QString base = server_.RootDir() + QStringLiteral("/base");
    QSet<QString> expected;
    for (int i = 0; i < 150; ++i) {
        const QString folder = QStringLiteral("/d%1/sub folder").arg(i);
        ASSERT_TRUE(WriteAll(base + folder + QStringLiteral("/.hidden"), "x"));
        expected << base + QStringLiteral("/d%1").arg(i) << base + folder
                 << base + folder + QStringLiteral("/.hidden");
    }
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/closed/inside")));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/d0"), base + QStringLiteral("/link")));
    expected << base + QStringLiteral("/closed") << base + QStringLiteral("/link");
    ASSERT_TRUE(server_.HandOver(base));
    QFile::setPermissions(base + QStringLiteral("/closed"), QFileDevice::Permissions());

    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"), server_.Password())));
    EXPECT_TRUE(client_.blnRemoteListRecursive);
    const QStringList listed = client_.strRemoteList.Paths();
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), expected);
    EXPECT_EQ(client_.lngRemoteListCount, expected.size());
    EXPECT_EQ(host_.commandLog.filter(QStringLiteral("READDIR ")).size(), 1 + 150 * 2 + 1);
    EXPECT_TRUE(client_.FtpChangeDir(base + QStringLiteral("/d1")));
    EXPECT_FALSE(client_.FtpChangeDir(base + QStringLiteral("/d1/sub folder/.hidden")));
    EXPECT_TRUE(client_.FtpExistFile(base + QStringLiteral("/d1/sub folder/.hidden")));
    EXPECT_FALSE(client_.FtpExistFile(base + QStringLiteral("/none")));
    EXPECT_TRUE(host_.socketErrors.isEmpty()) << host_.socketErrors.join('\n').toStdString();
    client_.FtpQuit();
    QFile::setPermissions(base + QStringLiteral("/closed"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(SftpClientServer, RefusedLoginNamesWhatItTried) {
    EXPECT_FALSE(client_.ConnectFtp(Profile(QStringLiteral("/base"), QStringLiteral("wrong"))));
    EXPECT_EQ(client_.strLastReply, QStringLiteral("login refused for skerrowftp; tried password; "
                                                   "the server offers publickey,password"));
    EXPECT_TRUE(client_.FaultReason().isEmpty());
    EXPECT_TRUE(host_.commandLog.filter(QStringLiteral("wrong")).isEmpty());
    // No key in the home folder: nothing to try.
    EXPECT_FALSE(client_.ConnectFtp(Profile(QStringLiteral("/base"), QString())));
    EXPECT_TRUE(client_.strLastReply.contains(QStringLiteral("tried nothing")));
}

// The stop ends the wait for the server's answers at once: the file is cut short on the server.
TEST_F(SftpClientServer, AStopEndsAFileAtOnce) {
    const QString local = local_.filePath(QStringLiteral("big"));
    ASSERT_TRUE(WriteAll(local, QByteArray(512 * 1024 * 1024, 'x')));
    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"), server_.Password())));
    const QString remote = server_.RootDir() + QStringLiteral("/base/big");
    QTimer::singleShot(200, [this] { client_.blnAbend = true; });
    EXPECT_FALSE(client_.FtpPutFile(local, remote));
    EXPECT_EQ(client_.LastPutFailure(), QStringLiteral("stopped"));
    EXPECT_LT(QFileInfo(remote).size(), 512 * 1024 * 1024);
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

// A port nobody listens on, and a server that takes the connection but never speaks: each ends as
// a fault with its box, the silent one within the reply time limit.
TEST_F(SftpClientServer, NoServerAndASilentOneEndAsFaults) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const quint16 closed = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }();
    Typ_Profile profile = Profile(QStringLiteral("/base"), server_.Password());
    profile.FtpDir = QStringLiteral("sftp://127.0.0.1:%1/base").arg(closed);
    EXPECT_FALSE(client_.FtpLogin(profile));
    EXPECT_EQ(client_.FaultReason(), QStringLiteral("Connection refused"));

    client_.blnAbend = false;  // as the next run's start clears it
    client_.SetReplyTimeoutSec(1);
    profile.FtpDir = QStringLiteral("sftp://127.0.0.1:%1/base").arg(silent.serverPort());
    QElapsedTimer took;
    took.start();
    EXPECT_FALSE(client_.FtpLogin(profile));
    EXPECT_TRUE(client_.FaultReason().contains(QStringLiteral("timed out")));
    EXPECT_LT(took.elapsed(), 5000);
    ASSERT_EQ(host_.socketErrors.size(), 2);
    EXPECT_TRUE(host_.socketErrors[0].startsWith(QStringLiteral("[SSH]")));
}

}  // namespace
