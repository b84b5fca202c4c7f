// The FTP client against hostile and broken servers: floods, trickles, login replies out of turn,
// a local process that steals the data port. Each ends within the client's limits, nothing is
// taken as done that was not, and the process stays small.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

#include "FakeFtpHost.h"
#include "FtpClient.h"
#include "FtpLimits.h"
#include "ScriptedFtpServer.h"

namespace {

using Connection = ScriptedFtpServer::Connection;

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kPeakLimit = 64 * kMiB;

const QString kControlBox =
    QStringLiteral("[WSCONTROL]障害が発生しました。処理を異常終了させます。\r\n");
const QString kDataBox = QStringLiteral("[WSDATA]障害が発生しました。処理を異常終了させます。\r\n");
const QString kProtocol = u'[' + QString::number(EPROTO) + "]Protocol error: the server sent";
const QString kTimedOut =
    u'[' + QString::number(ETIMEDOUT) + "]Socket operation timed out (not finished within 5 s)";

// The process's peak resident memory since the last ResetPeak, in bytes.
qint64 PeakMemory() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

void ResetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

QByteArray Repeated(const QByteArray& line, qsizetype size) {
    return line.repeated(size / line.size());
}

enum class Step { Login, Store, Listing, ChangeDir, MakeDir };

struct Fault {
    const char* name;
    Step step;
    int timeoutSec;  // ReplyTimeoutSec: 1 lets the deadline (5 s) show within a test
    std::function<void(ScriptedFtpServer&)> arm;
    bool succeeds;        // the operation's result
    QString box;          // the start of the socket error box; empty: none
    qint64 fileSize = 0;  // what a store sends: "hello", or this many zero bytes
    qint64 held = 0;      // memory the client may hold by design beyond kPeakLimit
};

void PrintTo(const Fault& fault, std::ostream* os) {
    *os << fault.name;
}

void FloodAfterPreliminary(ScriptedFtpServer& s, const QByteArray& first, const QByteArray& body,
                           qint64 total) {
    s.On("NLST", [&s, first, body, total](const QByteArray&) {
        s.ConnectData([&s, first, body, total] {
            s.Send("150 Here comes the directory listing.\r\n");
            s.SendData(first);
            s.Pump(Connection::Data, body, total);
        });
    });
}

const Fault kFaults[] = {
    {"EndlessGreeting", Step::Login, 30,
     [](ScriptedFtpServer& s) {
         s.SetBanner({});
         s.OnGreeted = [&s] {
             s.Pump(Connection::Control, Repeated("220-Welcome, and welcome again\r\n", 64 * 1024),
                    256 * kMiB);
         };
     },
     false, kControlBox + kProtocol + " more than 1048576 bytes"},
    {"EndlessReplyLine", Step::ChangeDir, 30,
     [](ScriptedFtpServer& s) {
         s.On("CWD", [&s](const QByteArray&) {
             s.Send("250 ");
             s.Pump(Connection::Control, QByteArray(64 * 1024, 'x'), 256 * kMiB);
         });
     },
     false, kControlBox + kProtocol + " a reply line longer than 65536"},
    {"ListingFloodOfNames", Step::Listing, 30,
     [](ScriptedFtpServer& s) {
         FloodAfterPreliminary(s, "/base:\r\n", Repeated("a-name-the-server-made-up\r\n", 65536),
                               256 * kMiB);
     },
     false, kDataBox + kProtocol + " a listing of more than 6000000 entries", 0,
     FtpLimits::kMaxListingMemory},
    {"EndlessListingLine", Step::Listing, 30,
     [](ScriptedFtpServer& s) {
         FloodAfterPreliminary(s, "/base:\r\n", QByteArray(64 * 1024, 'x'), 256 * kMiB);
     },
     false, kDataBox + kProtocol + " a listing line longer than 65536"},
    {"ListingFloodThatNamesNothing", Step::Listing, 60,
     [](ScriptedFtpServer& s) {
         FloodAfterPreliminary(s, "", Repeated(QByteArray(1000, '.') + "\r\n", 64 * 1024),
                               600 * kMiB);
     },
     false, kDataBox + kProtocol + " a listing of more than 536870912"},
    {"TrickledGreeting", Step::Login, 1,
     [](ScriptedFtpServer& s) {
         s.SetBanner({});
         s.OnGreeted = [&s] { s.Pump(Connection::Control, "2", 60, 250); };
     },
     false, kControlBox + kTimedOut},
    {"TrickledListing", Step::Listing, 1,
     [](ScriptedFtpServer& s) {
         s.On("NLST", [&s](const QByteArray&) {
             s.ConnectData([&s] {
                 s.Send("150 Here comes the directory listing.\r\n");
                 s.Pump(Connection::Data, "/", 60, 250);
             });
         });
     },
     false, kControlBox + kTimedOut},
    {"TrickledTransferComplete", Step::Store, 1,
     [](ScriptedFtpServer& s) {
         s.On("STOR", [&s](const QByteArray&) {
             s.ConnectData([&s] {
                 s.OnDataEnd = [&s] { s.Pump(Connection::Control, "2", 60, 250); };
                 s.Send("150 Ok to send data.\r\n");
             });
         });
     },
     false, kControlBox + kTimedOut},
    {"SlowStoreThatKeepsMoving",
     Step::Store,
     1,
     [](ScriptedFtpServer& s) { s.SetDataReadRate(128 * 1024, 100); },
     true,
     {},
     12 * kMiB},
    {"LoginReplyInsteadOfTransferComplete",
     Step::Store,
     30,
     [](ScriptedFtpServer& s) {
         s.On("STOR", [&s](const QByteArray&) { s.ServeStore("230 Login successful.\r\n"); });
     },
     false,
     {}},
    {"PasswordRequestForACwd",
     Step::ChangeDir,
     30,
     [](ScriptedFtpServer& s) {
         s.On("CWD", [&s](const QByteArray&) { s.Send("331 Please specify the password.\r\n"); });
     },
     false,
     {}},
    {"GreetingForAnMkd",
     Step::MakeDir,
     30,
     [](ScriptedFtpServer& s) {
         s.On("MKD", [&s](const QByteArray&) { s.Send("220 Scripted server ready.\r\n"); });
     },
     false,
     {}},
    {"ControlCharactersInAReply",
     Step::ChangeDir,
     30,
     [](ScriptedFtpServer& s) {
         s.On("CWD", [&s](const QByteArray&) {
             static const char kReply[] =
                 "250 Done\x1b]0;owned\x07\rSUCCESS - FAKE\x00\xc2\x85 line\r\n";
             s.Send(QByteArray(kReply, sizeof kReply - 1));
         });
     },
     true,
     {}},
    {"PortThiefDuringAStore",
     Step::Store,
     30,
     [](ScriptedFtpServer& s) { s.SetPortThief(true); },
     true,
     {}},
    {"PortThiefDuringAListing",
     Step::Listing,
     30,
     [](ScriptedFtpServer& s) { s.SetPortThief(true); },
     true,
     {}},
};

class HostileServer : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Listen());
        server.Listing = "/base:\r\na\r\n";
    }

    Typ_Profile Profile() const {
        Typ_Profile profile;
        profile.LocalBaseDir = dir.path();
        profile.FtpDir = server.HostPort() + QStringLiteral("/base");
        profile.Account = QStringLiteral("anon");
        profile.Passwd = QStringLiteral("secret");
        return profile;
    }

    // The file a store sends: small, or a sparse one of the given size.
    QString LocalFile(qint64 size) const {
        const QString path = dir.filePath(QStringLiteral("file.bin"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        if (size == 0)
            file.write("hello");
        else
            EXPECT_TRUE(file.resize(size));
        return path;
    }

    bool Run(const Fault& fault) {
        switch (fault.step) {
            case Step::Login:
                return client.ConnectFtp(Profile());
            case Step::Store:
                return client.FtpPutFile(LocalFile(fault.fileSize), QStringLiteral("/base/f.bin"));
            case Step::Listing: {
                RemoteListing list;
                qint32 count = 0;
                client.GetRemoteDirList(QStringLiteral("/base"), list, count);
                // Only the server's own listing may count.
                return count > 0 && list.Paths() == QStringList({"/base", "/base/a"});
            }
            case Step::ChangeDir:
                return client.FtpChangeDir(QStringLiteral("/base/sub"));
            case Step::MakeDir:
                return client.FtpMakeDir(QStringLiteral("/base/sub"));
        }
        return false;
    }

    QTemporaryDir dir;
    ScriptedFtpServer server;
    FakeFtpHost host;
    FtpClient client{host};
};

TEST_P(HostileServer, EndsWithinItsLimitsAndTakesNothingFalseAsDone) {
    const Fault& fault = GetParam();
    client.SetReplyTimeoutSec(fault.timeoutSec);
    if (fault.step != Step::Login) {
        ASSERT_TRUE(client.ConnectFtp(Profile()));
    }
    fault.arm(server);
    ResetPeak();
    const qint64 before = PeakMemory();

    EXPECT_EQ(Run(fault), fault.succeeds);

    const qint64 peak = PeakMemory();
    ASSERT_GT(before, 0) << "no /proc/self/status";
    if (fault.fileSize == 0) {
        EXPECT_LT(peak, kPeakLimit + fault.held) << "peak " << peak / kMiB << " MiB";
    }
    if (fault.box.isEmpty()) {
        EXPECT_TRUE(host.socketErrors.isEmpty()) << host.socketErrors.join(u'\n').toStdString();
    } else {
        ASSERT_EQ(host.socketErrors.size(), 1);
        EXPECT_TRUE(host.socketErrors[0].startsWith(fault.box))
            << host.socketErrors[0].toStdString();
        EXPECT_TRUE(client.blnAbend);
    }
    // Login commands go once, in the login only.
    EXPECT_LE(server.CountCommands("USER"), 1);
    EXPECT_LE(server.CountCommands("PASS"), 1);
    EXPECT_LE(server.CountCommands("TYPE"), 1);
    EXPECT_LE(host.runLog.size(), 1) << host.runLog.join('\n').toStdString();
    // A server's words never split a log line nor reach the reader's terminal.
    for (const QString& line : host.commandLog) {
        for (const QChar c : line)
            EXPECT_FALSE(c.category() == QChar::Other_Control && c != u'\t') << line.toStdString();
    }
    // A stolen data port gets nothing, and the server still gets the whole file.
    EXPECT_TRUE(server.ThiefReceived().isEmpty());
    if (fault.step == Step::Store && fault.succeeds) {
        EXPECT_EQ(server.Stored().size(), fault.fileSize == 0 ? 5 : fault.fileSize);
        EXPECT_EQ(server.Stored().count(fault.fileSize == 0 ? 'l' : '\0'),
                  fault.fileSize == 0 ? 2 : fault.fileSize);
    }
    if (server.PortThief()) {
        EXPECT_GE(server.ThiefConnections(), 1);
        EXPECT_EQ(host.commandLog.filter("REFUSED DATA CONNECTION FROM 127.0.0.2").size(),
                  server.ThiefConnections());
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileServer, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
