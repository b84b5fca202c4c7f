// Proves the server fixture with a client that is not ours: curl in active mode (PORT, no EPRT)
// uploads and lists on each server, and the files land under the fixture's root folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "FtpTestServer.h"

namespace {

struct CurlResult {
    int exitCode = -1;
    QByteArray output;
};

CurlResult Curl(const FtpTestServer& server, const QStringList& arguments) {
    QProcess curl;
    curl.setProcessChannelMode(QProcess::SeparateChannels);
    curl.start(
        QStringLiteral("curl"),
        QStringList{QStringLiteral("-sS"), QStringLiteral("--max-time"), QStringLiteral("60"),
                    QStringLiteral("-P"), server.Host(), QStringLiteral("--disable-eprt")} +
            arguments);
    CurlResult result;
    if (curl.waitForStarted(10000) && curl.waitForFinished(90000) &&
        curl.exitStatus() == QProcess::NormalExit) {
        result.exitCode = curl.exitCode();
    }
    result.output = curl.readAllStandardOutput() + curl.readAllStandardError();
    curl.kill();
    curl.waitForFinished(5000);
    return result;
}

QString Credentials(const FtpTestServer& server) {
    return server.User() + QLatin1Char(':') + server.Password();
}

QString Url(const FtpTestServer& server, const QString& path) {
    return QStringLiteral("ftp://") + server.FtpDir(path);
}

CurlResult Upload(const FtpTestServer& server, const QString& localFile, const QString& remote) {
    return Curl(server,
                {QStringLiteral("-u"), Credentials(server), QStringLiteral("--ftp-create-dirs"),
                 QStringLiteral("-T"), localFile, Url(server, remote)});
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

class ServerSmokeTest : public ::testing::TestWithParam<FtpServerKind> {
protected:
    void SetUp() override {
        ASSERT_TRUE(local_.isValid());
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty())
            << "curl is missing (tools/install-deps.sh --test)";
        QString why;
        ASSERT_TRUE(server_.Start(GetParam(), &why)) << why.toStdString();
    }

    QString LocalFile(const QString& name, const QByteArray& content) {
        const QString path = local_.filePath(name);
        EXPECT_TRUE(WriteAll(path, content));
        return path;
    }

    QTemporaryDir local_;
    FtpTestServer server_;
};

TEST_P(ServerSmokeTest, UploadsInActiveModeIntoTheRootFolderAndLists) {
    FtpTestServer& server = server_;
    const QByteArray content("first line\r\nsecond line\n\x00\xff", 26);
    const CurlResult upload = Upload(server, LocalFile(QStringLiteral("hello.txt"), content),
                                     QStringLiteral("/smoke/sub/hello.txt"));
    ASSERT_EQ(upload.exitCode, 0) << upload.output.toStdString();
    EXPECT_EQ(ReadAll(server.RootDir() + QStringLiteral("/smoke/sub/hello.txt")), content);

    const CurlResult listing =
        Curl(server, {QStringLiteral("-u"), Credentials(server), QStringLiteral("-l"),
                      Url(server, QStringLiteral("/smoke/sub/"))});
    ASSERT_EQ(listing.exitCode, 0) << listing.output.toStdString();
    EXPECT_TRUE(listing.output.split('\n').contains("hello.txt") ||
                listing.output.split('\n').contains("hello.txt\r"))
        << listing.output.toStdString();
}

TEST_P(ServerSmokeTest, OverwritesFilesThatATestHandsOver) {
    FtpTestServer& server = server_;
    const QString placed = server.RootDir() + QStringLiteral("/placed/old.txt");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(placed).path()));
    ASSERT_TRUE(WriteAll(placed, "put there by hand"));
    ASSERT_TRUE(server.HandOver(server.RootDir() + QStringLiteral("/placed")));

    const CurlResult upload = Upload(server, LocalFile(QStringLiteral("new.txt"), "newer"),
                                     QStringLiteral("/placed/old.txt"));
    ASSERT_EQ(upload.exitCode, 0) << upload.output.toStdString();
    EXPECT_EQ(ReadAll(placed), QByteArray("newer"));
}

TEST_P(ServerSmokeTest, RefusesAWrongPassword) {
    FtpTestServer& server = server_;
    const CurlResult listing =
        Curl(server, {QStringLiteral("-u"), server.User() + QStringLiteral(":wrong"),
                      QStringLiteral("-l"), Url(server, QStringLiteral("/"))});
    EXPECT_EQ(listing.exitCode, 67) << listing.output.toStdString();  // login denied
}

TEST_P(ServerSmokeTest, StopEndsTheServerAndRemovesItsFolders) {
    FtpTestServer& server = server_;
    const QString root = server.RootDir();
    const QString url = Url(server, QStringLiteral("/"));
    server.Stop();
    EXPECT_FALSE(QFileInfo::exists(root));
    const CurlResult listing =
        Curl(server, {QStringLiteral("-u"), Credentials(server), QStringLiteral("-l"), url});
    EXPECT_EQ(listing.exitCode, 7) << listing.output.toStdString();  // cannot connect
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerSmokeTest, ::testing::ValuesIn(FtpTestServer::AllKinds()),
                         [](const ::testing::TestParamInfo<FtpServerKind>& param) {
                             return FtpTestServer::KindName(param.param).toStdString();
                         });

// All servers at once, as parallel test runs have them: each its own port and its own root.
TEST(ServerSmoke, AllKindsRunSideBySide) {
    QTemporaryDir local;
    const QString file = local.filePath(QStringLiteral("side.txt"));
    ASSERT_TRUE(WriteAll(file, "side by side"));
    std::vector<std::unique_ptr<FtpTestServer>> servers;
    for (FtpServerKind kind : FtpTestServer::AllKinds()) {
        QString why;
        servers.push_back(std::make_unique<FtpTestServer>());
        ASSERT_TRUE(servers.back()->Start(kind, &why)) << why.toStdString();
    }
    QSet<quint16> ports;
    for (const auto& server : servers) {
        ports.insert(server->Port());
        const CurlResult upload =
            Upload(*server, file,
                   QStringLiteral("/") + QString::number(server->Port()) + QStringLiteral(".txt"));
        EXPECT_EQ(upload.exitCode, 0) << upload.output.toStdString();
    }
    EXPECT_EQ(ports.size(), static_cast<qsizetype>(servers.size()));
    for (const auto& server : servers) {
        EXPECT_EQ(QDir(server->RootDir()).entryList(QDir::Files),
                  QStringList{QString::number(server->Port()) + QStringLiteral(".txt")});
    }
}

}  // namespace
