// The FTP client against the real servers: login, folders, uploads compared byte for byte on the
// server's disk, listings that must name every entry (dot files too), existence checks and QUIT.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <iostream>

#include "FtpClient.h"
#include "FtpHost.h"
#include "FtpTestServer.h"

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

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& content) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(content) == content.size();
}

QByteArray AllByteValues() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value) {
        bytes.append(static_cast<char>(value));
    }
    return bytes;
}

// Several megabytes that no run of zeros or repetition could fake, and not a multiple of any
// buffer size.
QByteArray SeveralMegabytes() {
    QByteArray bytes(6 * 1024 * 1024 + 4099, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

QSet<QString> AsSet(const QStringList& list) {
    return QSet<QString>(list.begin(), list.end());
}

class FtpClientServersTest : public ::testing::TestWithParam<FtpServerKind> {
protected:
    void SetUp() override {
        QString why;
        ASSERT_TRUE(local_.isValid());
        ASSERT_TRUE(server_.Start(GetParam(), &why)) << why.toStdString();
    }

    // What went over the wire, for the reader of a failure.
    void TearDown() override {
        if (HasFailure()) {
            std::cerr << "command log:\n" << host_.commandLog.join('\n').toStdString() << "\n";
            std::cerr << "run log:\n" << host_.runLog.join('\n').toStdString() << "\n";
            std::cerr << "socket errors:\n" << host_.socketErrors.join('\n').toStdString() << "\n";
        }
    }

    Typ_Profile Profile(const QString& remoteBase) const {
        Typ_Profile profile;
        profile.LocalBaseDir = local_.path();
        profile.FtpDir = server_.FtpDir(remoteBase);
        profile.Account = server_.User();
        profile.Passwd = server_.Password();
        return profile;
    }

    QString Local(const QString& name, const QByteArray& content) {
        const QString path = local_.filePath(name);
        EXPECT_TRUE(WriteAll(path, content));
        return path;
    }

    QByteArray OnServer(const QString& remotePath) const {
        return ReadAll(server_.RootDir() + remotePath);
    }

    // A tree put on the server's disk by hand, so that listings are tested apart from uploads.
    void PlaceTree(const QStringList& files, const QStringList& emptyFolders) {
        for (const QString& file : files) {
            ASSERT_TRUE(WriteAll(server_.RootDir() + file, file.toUtf8()));
        }
        for (const QString& folder : emptyFolders) {
            ASSERT_TRUE(QDir().mkpath(server_.RootDir() + folder));
        }
        ASSERT_TRUE(server_.HandOver(server_.RootDir() + QStringLiteral("/base")));
    }

    QTemporaryDir local_;
    FtpTestServer server_;
    RecordingHost host_;
    FtpClient client_{host_};
};

TEST_P(FtpClientServersTest, LogsInMakesTheBaseAndQuits) {
    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"))));
    EXPECT_TRUE(QFileInfo(server_.RootDir() + QStringLiteral("/base")).isDir());
    EXPECT_EQ(host_.runLog, QStringList{QStringLiteral("SUCCESS - FTP CONNECTION - 127.0.0.1:") +
                                        QString::number(server_.Port())});
    EXPECT_TRUE(host_.commandLog.contains(QStringLiteral("USER ") + server_.User()));
    EXPECT_TRUE(host_.commandLog.contains(QStringLiteral("PASS *****")));
    EXPECT_TRUE(host_.commandLog.filter(server_.Password()).isEmpty());
    EXPECT_TRUE(host_.commandLog.contains(QStringLiteral("MKD /base")));
    client_.FtpQuit();
    EXPECT_EQ(host_.commandLog.last(), QStringLiteral("QUIT"));

    // The same client again, now onto a base that is there: entered, not made.
    host_.commandLog.clear();
    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"))));
    EXPECT_TRUE(host_.commandLog.contains(QStringLiteral("CWD /base")));
    EXPECT_FALSE(host_.commandLog.contains(QStringLiteral("MKD /base")));
    client_.FtpQuit();
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

TEST_P(FtpClientServersTest, RefusedLoginEndsTheConnectionAttempt) {
    Typ_Profile profile = Profile(QStringLiteral("/base"));
    profile.Passwd = QStringLiteral("wrong");
    EXPECT_FALSE(client_.ConnectFtp(profile));
    EXPECT_TRUE(host_.runLog.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(server_.RootDir() + QStringLiteral("/base")));
    client_.FtpQuit();
}

TEST_P(FtpClientServersTest, MakesAndEntersFoldersAndRefusesWhatCannotBe) {
    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"))));
    EXPECT_TRUE(client_.FtpMakeDir(QStringLiteral("/base/sub")));
    EXPECT_FALSE(client_.FtpMakeDir(QStringLiteral("/base/sub")));  // there already
    EXPECT_TRUE(client_.FtpChangeDir(QStringLiteral("/base/sub")));
    EXPECT_FALSE(client_.FtpChangeDir(QStringLiteral("/base/missing")));
    // Refusals leave the connection usable.
    ASSERT_TRUE(client_.FtpPutFile(Local(QStringLiteral("after.txt"), "after refusals"),
                                   QStringLiteral("/base/sub/after.txt")));
    EXPECT_EQ(OnServer(QStringLiteral("/base/sub/after.txt")), QByteArray("after refusals"));
    EXPECT_TRUE(QFileInfo(server_.RootDir() + QStringLiteral("/base/sub")).isDir());
    client_.FtpQuit();
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

TEST_P(FtpClientServersTest, StoresFilesByteForByte) {
    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"))));
    ASSERT_TRUE(client_.FtpMakeDir(QStringLiteral("/base/sub")));
    const QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("/base/small.txt"), QByteArray("small\r\nfile\n")},
        {QStringLiteral("/base/empty.dat"), QByteArray()},
        {QStringLiteral("/base/sub/all-bytes.bin"), AllByteValues()},
        {QStringLiteral("/base/sub/large.bin"), SeveralMegabytes()},
        {QStringLiteral("/base/with blank.txt"), QByteArray("blank in the name")},
        {QStringLiteral("/base/日本語.txt"), QByteArray("日本語")},
        {QStringLiteral("/base/.profile"), QByteArray("dot file")},
    };
    int index = 0;
    for (const auto& [remote, content] : files) {
        const QString local = Local(QStringLiteral("file%1").arg(index++), content);
        EXPECT_TRUE(client_.FtpPutFile(local, remote)) << remote.toStdString();
        EXPECT_TRUE(QFileInfo(server_.RootDir() + remote).isFile()) << remote.toStdString();
        EXPECT_TRUE(OnServer(remote) == content) << remote.toStdString();
    }
    // An upload over a file that is there replaces it whole.
    ASSERT_TRUE(client_.FtpPutFile(Local(QStringLiteral("shorter"), "new"),
                                   QStringLiteral("/base/small.txt")));
    EXPECT_EQ(OnServer(QStringLiteral("/base/small.txt")), QByteArray("new"));
    client_.FtpQuit();
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

TEST_P(FtpClientServersTest, ListingsNameEveryEntryIncludingDotFiles) {
    const QStringList files = {
        QStringLiteral("/base/a.txt"),
        QStringLiteral("/base/.profile"),
        QStringLiteral("/base/with blank.txt"),
        QStringLiteral("/base/日本語.txt"),
        QStringLiteral("/base/sub/b.txt"),
        QStringLiteral("/base/sub/.hidden"),
        QStringLiteral("/base/sub/deeper/c.txt"),
        QStringLiteral("/base/フォルダ with blank/.x"),
    };
    const QStringList emptyFolders = {QStringLiteral("/base/empty")};
    PlaceTree(files, emptyFolders);
    // Each folder's own entries, as the walk asks for them folder by folder.
    const QMap<QString, QSet<QString>> expected = {
        {QStringLiteral("/base"),
         {QStringLiteral("/base/a.txt"), QStringLiteral("/base/.profile"),
          QStringLiteral("/base/with blank.txt"), QStringLiteral("/base/日本語.txt"),
          QStringLiteral("/base/sub"), QStringLiteral("/base/empty"),
          QStringLiteral("/base/フォルダ with blank")}},
        {QStringLiteral("/base/sub"),
         {QStringLiteral("/base/sub/b.txt"), QStringLiteral("/base/sub/.hidden"),
          QStringLiteral("/base/sub/deeper")}},
        {QStringLiteral("/base/sub/deeper"), {QStringLiteral("/base/sub/deeper/c.txt")}},
        {QStringLiteral("/base/empty"), {}},
        {QStringLiteral("/base/フォルダ with blank"),
         {QStringLiteral("/base/フォルダ with blank/.x")}},
    };

    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"))));

    // The listing taken at connection time: complete where the server recurses, and marked as
    // not recursive where it does not, so that the walk lists folder by folder instead.
    QSet<QString> everything{QStringLiteral("/base")};
    for (const QSet<QString>& entries : expected) {
        everything.unite(entries);
    }
    if (GetParam() == FtpServerKind::VsftpdRecursive) {
        EXPECT_TRUE(client_.blnRemoteListRecursive);
    }
    if (client_.blnRemoteListRecursive) {
        EXPECT_EQ(AsSet(client_.strRemoteList.Paths()), everything);
        EXPECT_EQ(client_.lngRemoteListCount, client_.strRemoteList.Size());
    }

    for (auto folder = expected.begin(); folder != expected.end(); ++folder) {
        RemoteListing paths;
        EXPECT_TRUE(client_.ListRemoteDir(folder.key(), &paths)) << folder.key().toStdString();
        EXPECT_EQ(AsSet(paths.Paths()), folder.value()) << folder.key().toStdString();
        EXPECT_EQ(paths.Size(), folder.value().size()) << folder.key().toStdString();
    }
    client_.FtpQuit();
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

// Listings far larger than one read: none may be cut short by a 226 that overtakes the data.
TEST_P(FtpClientServersTest, LongListingsArriveWhole) {
    QStringList files;
    QSet<QString> expected;
    const QString padding(90, QLatin1Char('x'));
    for (int index = 0; index < 800; ++index) {
        files << QStringLiteral("/base/many/file-%1-%2.txt")
                     .arg(index, 4, 10, QLatin1Char('0'))
                     .arg(padding);
        expected.insert(files.last());
    }
    PlaceTree(files, {});
    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"))));
    if (client_.blnRemoteListRecursive) {
        const QSet<QString> folders{QStringLiteral("/base"), QStringLiteral("/base/many")};
        EXPECT_EQ(AsSet(client_.strRemoteList.Paths()), expected + folders);
    }
    RemoteListing paths;
    ASSERT_TRUE(client_.ListRemoteDir(QStringLiteral("/base/many"), &paths));
    EXPECT_EQ(paths.Size(), files.size());
    EXPECT_EQ(AsSet(paths.Paths()), expected);
    client_.FtpQuit();
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

TEST_P(FtpClientServersTest, ExistenceChecksSeeFilesAndMisses) {
    PlaceTree({QStringLiteral("/base/a.txt"), QStringLiteral("/base/.profile"),
               QStringLiteral("/base/sub/b c.txt")},
              {});
    ASSERT_TRUE(client_.ConnectFtp(Profile(QStringLiteral("/base"))));
    EXPECT_TRUE(client_.FtpExistFile(QStringLiteral("/base/a.txt")));
    EXPECT_TRUE(client_.FtpExistFile(QStringLiteral("/base/.profile")));
    EXPECT_TRUE(client_.FtpExistFile(QStringLiteral("/base/sub/b c.txt")));
    EXPECT_FALSE(client_.FtpExistFile(QStringLiteral("/base/missing.txt")));
    EXPECT_FALSE(client_.FtpExistFile(QStringLiteral("/base/sub/missing.txt")));
    // A check leaves the connection usable for the next upload.
    ASSERT_TRUE(client_.FtpPutFile(Local(QStringLiteral("next"), "next"),
                                   QStringLiteral("/base/sub/next.txt")));
    EXPECT_EQ(OnServer(QStringLiteral("/base/sub/next.txt")), QByteArray("next"));
    client_.FtpQuit();
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

// vsftpd with its TLS defaults refuses a data connection that does not resume the control
// connection's session. With TLS 1.3 each ticket resumes once: a client that kept offering the
// login's tickets would be refused after a few files. Hundreds of files, in both modes.
class TlsSessionReuse : public ::testing::TestWithParam<QSsl::SslProtocol> {
protected:
    void SetUp() override {
        QString why;
        ASSERT_TRUE(server_.Start(FtpServerKind::Vsftpd, &why, {.tls = true})) << why.toStdString();
        defaults_ = QSslConfiguration::defaultConfiguration();
        QSslConfiguration pinned = defaults_;
        pinned.setProtocol(GetParam());
        QSslConfiguration::setDefaultConfiguration(pinned);
        host_.options.Tls = TLS_Require;
        host_.options.TrustedCertificate = FtpTestServer::CertificateFingerprint();
    }
    void TearDown() override {
        QSslConfiguration::setDefaultConfiguration(defaults_);
        if (HasFailure())
            std::cerr << "command log (end):\n"
                      << host_.commandLog.mid(host_.commandLog.size() - 40).join('\n').toStdString()
                      << "\nsocket errors:\n"
                      << host_.socketErrors.join('\n').toStdString() << "\n";
    }

    FtpTestServer server_;
    QSslConfiguration defaults_;
    RecordingHost host_;
    QTemporaryDir local_;
};

TEST_P(TlsSessionReuse, HundredsOfFilesInBothModes) {
    constexpr int kFiles = 200;
    const QString version = GetParam() == QSsl::TlsV1_3 ? "TLSv1.3" : "TLSv1.2";
    for (const enmDataConnection mode : {DC_Passive, DC_Active}) {
        host_.options.DataConnection = mode;
        host_.commandLog.clear();
        FtpClient client(host_);
        Typ_Profile profile;
        profile.LocalBaseDir = local_.path();
        profile.FtpDir = server_.FtpDir(QStringLiteral("/m%1").arg(mode));
        profile.Account = server_.User();
        profile.Passwd = server_.Password();
        ASSERT_TRUE(client.ConnectFtp(profile));
        const QStringList tls = host_.commandLog.filter(QRegularExpression("^TLS "));
        ASSERT_EQ(tls.size(), 1);
        EXPECT_TRUE(tls.first().startsWith("TLS " + version)) << tls.first().toStdString();
        for (int i = 0; i < kFiles; ++i) {
            const QByteArray content = QByteArray::number(i).repeated(i % 7);
            const QString local = local_.filePath(QStringLiteral("f%1").arg(i));
            ASSERT_TRUE(WriteAll(local, content));
            const QString remote =
                profile.FtpDir.mid(profile.FtpDir.indexOf('/')) + QStringLiteral("/f%1").arg(i);
            ASSERT_TRUE(client.FtpPutFile(local, remote)) << "file " << i << " mode " << mode;
            ASSERT_EQ(ReadAll(server_.RootDir() + remote), content) << remote.toStdString();
        }
        RemoteListing listed;
        ASSERT_TRUE(client.ListRemoteDir(QStringLiteral("/m%1").arg(mode), &listed));
        EXPECT_EQ(listed.Size(), kFiles);
        client.FtpQuit();
    }
    EXPECT_TRUE(host_.socketErrors.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Protocols, TlsSessionReuse,
                         ::testing::Values(QSsl::TlsV1_2, QSsl::TlsV1_3),
                         [](const ::testing::TestParamInfo<QSsl::SslProtocol>& param) {
                             return std::string(param.param == QSsl::TlsV1_3 ? "Tls13" : "Tls12");
                         });

INSTANTIATE_TEST_SUITE_P(Servers, FtpClientServersTest,
                         ::testing::ValuesIn(FtpTestServer::AllKinds()),
                         [](const ::testing::TestParamInfo<FtpServerKind>& param) {
                             return FtpTestServer::KindName(param.param).toStdString();
                         });

}  // namespace
