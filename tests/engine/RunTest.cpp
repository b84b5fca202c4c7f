// Whole runs of the engine against a scripted server with a file system of its own, a scripted
// host and a real ledger, logs and local tree.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include "API_IniFileAccess.h"
#include "AppFiles.h"
#include "CodePage.h"
#include "FakeRunHost.h"
#include "Fun_Error_Success.h"
#include "Fun_EscSingleQuote.h"
#include "QtPrint.h"
#include "RunDriver.h"
#include "TextFile.h"
#include "UploadLedger.h"
#include "VirtualFtpServer.h"
#include "clsAdoJet.h"

namespace {

const QString kTab = QStringLiteral("\t");
const QString kTo = QStringLiteral(" [to] ");

class Run : public ::testing::Test {
public:
    void SetUp() override {
        for (const char* suffix : {".db", ".log", ".log.sys.log", ".require_conv.txt", ".ini"})
            QFile::remove(AppFiles::AppFilePath(QString::fromLatin1(suffix)));
        ASSERT_TRUE(server.Listen());
        server.AddFolder(QStringLiteral("/www"));
        local = dir.path() + QStringLiteral("/local");
        QDir().mkpath(local);
        driver = std::make_unique<RunDriver>(host);
    }
    void TearDown() override {
        CodePage::SetOverride(QString());
        if (undo)
            undo();
    }

    void AddProfile(int tolerance = 2, const QString& base = QStringLiteral("/www")) {
        Typ_Profile p;
        p.LocalBaseDir = local;
        p.FtpDir = server.HostPort() + base;
        p.Account = QStringLiteral("user");
        p.Passwd = QStringLiteral("secret");
        p.AmbiguousSecond = tolerance;
        host.items.append({true, p});
    }

    QString Write(const QString& rel, const QByteArray& bytes = "data") {
        const QString path = local + QLatin1Char('/') + rel;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    static void SetTime(const QString& path, qint64 secs, int ms = 0) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::fromMSecsSinceEpoch(secs * 1000 + ms),
                                  QFileDevice::FileModificationTime));
    }

    QString Target(const QString& base = QStringLiteral("/www")) const {
        return UploadLedger::TargetOf(server.HostPort() + base);
    }

    void Record(const QString& path, const QString& remote, qint64 secs) const {
        clsAdoJet db;
        ASSERT_TRUE(db.Connect(UploadLedger::LedgerPath(), clsAdoJet::JetProvider()));
        ASSERT_TRUE(UploadLedger::RecordPutFile(db, {path, Target()}, remote,
                                                {{secs, 0, false}, {}, {}, {}}));
    }

    bool Recorded(const QString& path, const QString& base = QStringLiteral("/www")) const {
        clsAdoJet db;
        UploadLedger::PutRecord t;
        return db.Connect(UploadLedger::LedgerPath(), clsAdoJet::JetProvider()) &&
               UploadLedger::GetPutFileDate(db, {path, Target(base)}, &t);
    }

    // The run log's items, without their timestamps.
    static QStringList Log() {
        QStringList lines;
        TextFile::ReadLines(Fun_Error_Success::GetLogPath(), &lines);
        QStringList items;
        for (const QString& line : lines)
            items.append(line.section(QLatin1Char(' '), 2));
        return items;
    }

    static int Count(const QStringList& lines, const QString& prefix) {
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(prefix); }));
    }

    QTemporaryDir dir;
    QString local;
    VirtualFtpServer server;
    FakeRunHost host;
    std::unique_ptr<RunDriver> driver;
    // What a case changed outside its folder, undone at its end.
    std::function<void()> undo;
};

TEST_F(Run, MirrorsTheTreeThenSendsNothingWhenNothingChanged) {
    Write(QStringLiteral("a.txt"), "alpha");
    Write(QStringLiteral("sub/b.txt"), "beta");
    Write(QStringLiteral("sub2/deeper/c.txt"), "gamma");
    QDir().mkpath(local + QStringLiteral("/empty"));
    AddProfile();

    driver->mnuRun_Click();
    const QStringList first = Log();
    EXPECT_EQ(first.first(), "START");
    EXPECT_EQ(first.at(1), "SUCCESS - FTP CONNECTION - " + server.HostPort());
    EXPECT_EQ(first.last(), "END (3 copies)");
    EXPECT_TRUE(first.contains("SUCCESS - FILE COPYED " + kTab + local + "/sub/b.txt" + kTo +
                               "/www/sub/b.txt"));
    // Only the folder that received nothing gets its line.
    EXPECT_TRUE(first.contains("SUCCESS - CREATED FOLDER WITH NO FILE " + kTab + local + "/empty" +
                               kTo + "/www/empty"));
    EXPECT_EQ(Count(first, "SUCCESS - CREATED FOLDER"), 1);
    EXPECT_EQ(server.File("/www/sub2/deeper/c.txt"), "gamma");
    EXPECT_EQ(host.panels[1], "3 files");
    EXPECT_EQ(host.panels[2], "3 copies");
    EXPECT_EQ(host.panels[3], "");
    EXPECT_EQ(host.panels[0], "終了");  // the mode text gives way to how the run ended
    EXPECT_EQ(host.runLogsShown, QStringList{Fun_Error_Success::GetLogPath()});
    EXPECT_FALSE(host.running);
    EXPECT_FALSE(host.timerRunning);
    EXPECT_EQ(host.marks, (QList<QPair<int, bool>>{{0, true}, {0, false}}));

    const int mkd = server.CountCommands("MKD");
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (0 copies)");
    EXPECT_EQ(server.CountCommands("STOR"), 3);
    EXPECT_EQ(server.CountCommands("MKD"), mkd);
}

TEST_F(Run, LedgerTimeDecidesAtExactlyTheTolerance) {
    constexpr qint64 t = 1'700'000'000;
    constexpr int tol = 5;
    struct Case {
        const char* name;
        qint64 recordedOffset;
        bool sent;
    } cases[] = {{"plus.txt", tol, false},
                 {"minus.txt", -tol, false},
                 {"older.txt", -tol - 1, true},
                 {"ledgerlater.txt", tol + 1, false}};
    for (const Case& c : cases) {
        const QString path = Write(QString::fromLatin1(c.name));
        SetTime(path, t);
        server.AddFile("/www/" + QString::fromLatin1(c.name), "old");
        Record(path, "/www/" + QString::fromLatin1(c.name), t + c.recordedOffset);
    }
    AddProfile(tol);
    driver->mnuRun_Click();
    const QStringList log = Log();
    EXPECT_EQ(log.last(), "END (1 copies)");
    for (const Case& c : cases)
        EXPECT_EQ(server.File("/www/" + QString::fromLatin1(c.name)), c.sent ? "data" : "old")
            << c.name;
    EXPECT_EQ(log.size(), 4) << log.join('\n').toStdString();  // START, connection, one copy, END
}

// A ledger of the version before digests gains the column in place. Its row sends a rebuilt
// file as it did (no digest, so the time decides); the row written then has a digest, so the
// next rebuild stays, and so does a file whose only change is its mode.
TEST_F(Run, OldLedgerRowsSendARebuiltFileOnceThenTheirDigestKeepsIt) {
    const QString path = Write(QStringLiteral("a.txt"), "same");
    server.AddFile(QStringLiteral("/www/a.txt"), "same");
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(UploadLedger::LedgerPath()).constData(), &old),
              SQLITE_OK);
    const QByteArray sql =
        "CREATE TABLE T_PUT_FILE(i_id_file INTEGER NOT NULL, c_local_file_name TEXT NOT NULL, "
        "dt_local_file_date TEXT NOT NULL, c_remote_file_name TEXT NOT NULL, c_target TEXT NOT "
        "NULL DEFAULT '', i_local_file_size INTEGER, dt_recorded TEXT);"
        "INSERT INTO T_PUT_FILE VALUES(1, '" +
        path.toUtf8() + "', '2023-11-14 22:13:20+00:00', '/www/a.txt', '" + Target().toUtf8() +
        "', 4, '2023-11-14 22:13:20+00:00');";
    ASSERT_EQ(sqlite3_exec(old, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(old);
    AddProfile();
    for (const qint64 rebuilt : {1'700'000'100, 1'700'000'200}) {
        Write(QStringLiteral("a.txt"), "same");
        SetTime(path, rebuilt);
        driver->mnuRun_Click();
        EXPECT_EQ(Log().last(), rebuilt == 1'700'000'100 ? "END (1 copies)" : "END (0 copies)");
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner));
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (0 copies)");
    EXPECT_EQ(server.CountCommands("STOR"), 1);
}

TEST_F(Run, FilesMissingFromAShortListingAreAskedFor) {
    const QString kept = Write(QStringLiteral("kept.txt"));
    Write(QStringLiteral("gone.txt"));
    Write(QStringLiteral("unrecorded.txt"));
    SetTime(kept, 1'700'000'000);
    server.AddFile(QStringLiteral("/www/kept.txt"), "old");
    server.AddFile(QStringLiteral("/www/unrecorded.txt"), "old");
    Record(kept, QStringLiteral("/www/kept.txt"), 1'700'000'000);
    // The server cuts its listing short: nothing of these is in it.
    server.hiddenFromRecursive = {QStringLiteral("/www/kept.txt"), QStringLiteral("/www/gone.txt"),
                                  QStringLiteral("/www/unrecorded.txt")};
    AddProfile();
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (2 copies)");
    EXPECT_EQ(server.File("/www/kept.txt"), "old");
    EXPECT_EQ(server.File("/www/gone.txt"), "data");
    // On the server but not in the ledger: sent again.
    EXPECT_EQ(server.File("/www/unrecorded.txt"), "data");
    EXPECT_TRUE(server.Commands().contains("NLST kept.txt"));
}

// A listing of 600,000 paths is an ordinary one: each file is decided from it, letter case
// aside, and only what it lacks is asked for and sent.
TEST_F(Run, AListingOfSixHundredThousandPathsDecidesEveryFile) {
    constexpr int kFolders = 6'000;
    constexpr int kFilesEach = 100;
    server.AddFolder(QStringLiteral("/www/bulk/d0001"));
    server.AddFolder(QStringLiteral("/www/bulk/d0002"));
    for (int folder = 0; folder < kFolders; ++folder) {
        server.recursiveTail +=
            "\r\n/www/bulk/d" + QByteArray::number(folder).rightJustified(4, '0') + ":\r\n";
        for (int file = 0; file < kFilesEach; ++file)
            server.recursiveTail +=
                'f' + QByteArray::number(file).rightJustified(2, '0') + ".dat\r\n";
    }
    const QString same = Write(QStringLiteral("bulk/d0001/f05.dat"));
    const QString sameOtherCase = Write(QStringLiteral("BULK/D0002/F07.DAT"));
    Write(QStringLiteral("bulk/d0001/f06.dat"));  // there, but never recorded
    Write(QStringLiteral("bulk/d0001/n1.dat"));
    Write(QStringLiteral("bulk/d0001/new/x.dat"));
    for (const QString& path : {same, sameOtherCase}) {
        SetTime(path, 1'700'000'000);
        Record(path, QStringLiteral("/www/") + path.mid(local.size() + 1), 1'700'000'000);
    }
    AddProfile();

    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (3 copies)") << Log().join('\n').toStdString();
    EXPECT_EQ(server.CountCommands("STOR"), 3);
    EXPECT_TRUE(server.HasFile(QStringLiteral("/www/bulk/d0001/f06.dat")));
    EXPECT_TRUE(server.HasFile(QStringLiteral("/www/bulk/d0001/n1.dat")));
    EXPECT_TRUE(server.HasFile(QStringLiteral("/www/bulk/d0001/new/x.dat")));
    EXPECT_EQ(server.CountCommands("MKD"), 1);
    // What the listing holds is never asked for.
    for (const QByteArray& command : server.Commands())
        EXPECT_FALSE(command.contains("f05") || command.contains("F07")) << command.constData();
}

TEST_F(Run, WithoutRecursionEachFolderIsListedOnceAndNewFilesNeedNoQuestion) {
    server.recursion = VirtualFtpServer::Recursion::Refused;
    const QString a = Write(QStringLiteral("sub/a.txt"));
    const QString dot = Write(QStringLiteral(".profile"));
    for (const QString& path : {a, dot})
        SetTime(path, 1'700'000'000);
    server.AddFile(QStringLiteral("/www/sub/a.txt"));
    server.AddFile(QStringLiteral("/www/.profile"));
    Record(a, QStringLiteral("/www/sub/a.txt"), 1'700'000'000);
    Record(dot, QStringLiteral("/www/.profile"), 1'700'000'000);
    AddProfile();

    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (0 copies)") << Log().join('\n').toStdString();
    EXPECT_EQ(server.CountCommands("MKD"), 0);

    // A new file in a folder the run listed goes without a name query.
    Write(QStringLiteral("sub/new.txt"));
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (1 copies)");
    for (const QByteArray& command : server.Commands())
        EXPECT_FALSE(command.startsWith("NLST new.txt"));
}

// A classic BSD ftpd hands NLST's argument to its ls as a command line: "-aILR" gets ls's error
// text with 226 (no recursive listing), and a folder with blanks would be listed as its pieces,
// here a folder "dir" that is there. Entered and listed as the current folder, its files are
// known: the second run sends nothing.
TEST_F(Run, FolderWithBlanksOnAClassicServerIsListedWhole) {
    server.classicLs = true;
    server.AddFile(QStringLiteral("/www/dir/other.txt"));
    Write(QStringLiteral("dir with blanks/a.txt"));
    Write(QStringLiteral("dir with blanks/b.txt"));
    Write(QStringLiteral("top.txt"));
    AddProfile();
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (3 copies)");
    EXPECT_EQ(server.File(QStringLiteral("/www/dir with blanks/b.txt")), "data");

    const int stores = server.CountCommands("STOR");
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (0 copies)") << Log().join('\n').toStdString();
    EXPECT_EQ(server.CountCommands("STOR"), stores);
    EXPECT_TRUE(server.Commands().contains("CWD /www/dir with blanks"));
}

TEST_F(Run, RefusedFolderCreationOfAnExistingFolderWalksIt) {
    server.recursion = VirtualFtpServer::Recursion::Refused;
    server.refuseNameLists = true;
    server.AddFolder(QStringLiteral("/www/there"));
    server.refuseMkd = {QStringLiteral("/www/bad")};
    Write(QStringLiteral("there/a.txt"));
    Write(QStringLiteral("bad/b.txt"));
    AddProfile();
    driver->mnuRun_Click();
    const QStringList log = Log();
    EXPECT_TRUE(server.HasFile(QStringLiteral("/www/there/a.txt")));
    EXPECT_EQ(
        log, (QStringList{"START", "SUCCESS - FTP CONNECTION - " + server.HostPort(),
                          "ERROR - CAN NOT MAKE FOLDER " + kTab + local + "/bad" + kTo + "/www/bad",
                          "SUCCESS - FILE COPYED " + kTab + local + "/there/a.txt" + kTo +
                              "/www/there/a.txt",
                          "END (1 copies)"}));
    EXPECT_EQ(host.panels[3], "1 err");
}

TEST_F(Run, NewFolderWhoseFilesAllFailStillGetsItsLine) {
    server.refuseStor = {QStringLiteral("/www/new/a.txt")};
    Write(QStringLiteral("new/a.txt"));
    AddProfile();
    driver->mnuRun_Click();
    const QStringList log = Log();
    EXPECT_TRUE(log.contains("ERROR - CAN NOT COPY " + kTab + local + "/new/a.txt" + kTo +
                             "/www/new/a.txt" + kTab + "553 Could not create file."));
    EXPECT_TRUE(log.contains("SUCCESS - CREATED FOLDER WITH NO FILE " + kTab + local + "/new" +
                             kTo + "/www/new"));
    EXPECT_FALSE(Recorded(local + QStringLiteral("/new/a.txt")));
    EXPECT_EQ(log.last(), "END (0 copies)");
    EXPECT_EQ(host.panels[0], "終了 (エラー 1 件)");
}

// With TempUpload on, a file goes under its part name and takes its own once it is whole. Onto a
// file this server refuses to rename: the old one is deleted first, which the run log says once.
// A part an earlier run left is deleted; a file of the user's is not, however it is named.
TEST_F(Run, TempUploadRenamesThePartAndDeletesOnlyPartsLeftBehind) {
    ASSERT_TRUE(API_IniFileAccess::IniWrite("Server_" + server.HostPort(), "On", "TempUpload"));
    server.refuseRenameOntoFile = true;
    for (const char* name : {"/www/a.txt", "/www/sub/b.txt"})
        server.AddFile(QString::fromLatin1(name), "old");
    server.AddFile(QStringLiteral("/www/sub/.b.txt.skerrowex-part"), "half");
    server.AddFile(QStringLiteral("/www/theirs.skerrowex-part"), "theirs");
    Write(QStringLiteral("a.txt"), "new a");
    Write(QStringLiteral("sub/b.txt"), "new b");
    Write(QStringLiteral("c.txt"), "new c");
    const QString named = Write(QStringLiteral(".d.txt.skerrowex-part"));
    AddProfile();
    driver->mnuRun_Click();
    const QStringList log = Log();
    EXPECT_EQ(log.last(), "END (3 copies)") << log.join('\n').toStdString();
    EXPECT_EQ(server.File("/www/a.txt"), "new a");
    EXPECT_EQ(server.File("/www/sub/b.txt"), "new b");
    EXPECT_EQ(server.File("/www/c.txt"), "new c");
    EXPECT_EQ(server.File("/www/theirs.skerrowex-part"), "theirs");
    EXPECT_EQ(server.FileCount(), 4);
    EXPECT_EQ(Count(log, "WARNING - RENAME NOT ATOMIC ON THIS SERVER\t" + server.HostPort()), 1);
    EXPECT_TRUE(log.contains("SUCCESS - PART FILE LEFT BEHIND DELETED - " + kTab +
                             "/www/sub/.b.txt.skerrowex-part"));
    EXPECT_TRUE(log.contains("WARNING - NAME OF A PART FILE NOT SENT " + kTab + named + kTo +
                             "/www/.d.txt.skerrowex-part"));
    EXPECT_TRUE(Recorded(local + QStringLiteral("/a.txt")));
    const QList<QByteArray> wire = server.Commands();
    const qsizetype stor = wire.indexOf("STOR /www/.a.txt.skerrowex-part");
    ASSERT_GE(stor, 0);
    EXPECT_EQ(
        wire.mid(stor + 1, 5),
        (QList<QByteArray>{"RNFR /www/.a.txt.skerrowex-part", "RNTO /www/a.txt", "DELE /www/a.txt",
                           "RNFR /www/.a.txt.skerrowex-part", "RNTO /www/a.txt"}));
}

// Names the server would not get as they are: byte 0x5C, line breaks, and names the code page
// cannot hold (sent anyway, a😀 and a😁 would both arrive as "a?"). However a name is made (a
// TAB in a local name, a CR from a table row), every log line stays one line and names it.
TEST_F(Run, NamesTheServerCannotHoldAreErrorsAndNeverSent) {
    ASSERT_TRUE(CodePage::SetOverride(QStringLiteral("CP932")));
    Write(QStringLiteral("ソース/a.txt"));
    Write(QStringLiteral("back\\slash.txt"));
    Write(QStringLiteral("line\nbreak.txt"));
    Write(QStringLiteral("tab\tname.txt"));
    Write(QStringLiteral("x.txt"));
    Write(QStringLiteral("d/y.txt"));
    const QStringList unheld = {"a😀.txt", "a😁.txt", "café.txt", "cafè.txt"};
    for (const QString& name : unheld)
        Write(name);
    AddProfile();
    driver->mnuRun_Click();
    QStringList log = Log();
    EXPECT_TRUE(log.contains("ERROR - INVALID UNIX NAME WITH CODE 5C NOT INCLUDED CONV TABLE - " +
                             kTab + local + "/ソース" + kTo + "/www/ソース"));
    EXPECT_TRUE(log.contains("ERROR - INVALID UNIX NAME WITH CODE 5C NOT INCLUDED CONV TABLE - " +
                             kTab + local + "/back\\slash.txt" + kTo + "/www/back\\slash.txt"));
    EXPECT_TRUE(log.contains("ERROR - INVALID FTP NAME WITH CONTROL CHAR - " + kTab + local +
                             "/line\\nbreak.txt"));
    EXPECT_TRUE(log.contains("ERROR - INVALID NAME NOT IN CODE PAGE CP932 - " + kTab + local +
                             "/a\\u{1F600}.txt" + kTo + "/www/a\\u{1F600}.txt"));
    EXPECT_EQ(Count(log, "ERROR - INVALID NAME NOT IN CODE PAGE CP932 - "), 4);
    EXPECT_EQ(host.panels[3], "7 err");
    QStringList names;
    TextFile::ReadLines(AppFiles::AppFilePath(QStringLiteral(".require_conv.txt")), &names);
    EXPECT_EQ(names, (QStringList{"a\\u{1F600}.txt", "a\\u{1F601}.txt", "back\\slash.txt",
                                  "caf\\u{00E8}.txt", "caf\\u{00E9}.txt", "ソース"}));
    EXPECT_EQ(server.FileCount(), 3);
    EXPECT_FALSE(Recorded(local + QStringLiteral("/a😀.txt")));
    EXPECT_TRUE(log.contains("SUCCESS - FILE COPYED " + kTab + local + "/tab\\tname.txt" + kTo +
                             "/www/tab\\tname.txt"));

    // A table row gives the folder a name the server can hold; rows with a CR give names no
    // command can carry.
    const QString table = dir.path() + QStringLiteral("/table.txt");
    for (const char* row : {"ソース\tsource", "x.txt\tb\rc.txt", "d\te\rf"})
        ASSERT_TRUE(TextFile::AppendLine(table, QString::fromUtf8(row)));
    host.convTablePath = table;
    driver->mnuRun_Click();
    log = Log();
    EXPECT_TRUE(log.contains("SUCCESS - FILE COPYED " + kTab + local + "/ソース/a.txt" + kTo +
                             "/www/source/a.txt"));
    EXPECT_TRUE(log.contains("ERROR - CAN NOT COPY " + kTab + local + "/x.txt" + kTo +
                             "/www/b\\rc.txt" + kTab +
                             "a line break in the remote name cannot be sent"));
    EXPECT_TRUE(
        log.contains("ERROR - CAN NOT MAKE FOLDER " + kTab + local + "/d" + kTo + "/www/e\\rf"));
    QFile file(Fun_Error_Success::GetLogPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n"));
}

TEST_F(Run, StopAfterTheCurrentFileAtDepth) {
    Write(QStringLiteral("a/1.txt"));
    Write(QStringLiteral("a/b/2.txt"));
    Write(QStringLiteral("a/b/c/3.txt"));
    Write(QStringLiteral("a/b/c/4.txt"));
    Write(QStringLiteral("z.txt"));
    AddProfile();
    host.onPanel = [this](int panel, const QString& text) {
        if (panel == 3 && text == "3 copies")
            driver->StopAfterFile();
    };
    driver->mnuRun_Click();
    const QStringList log = Log();
    EXPECT_EQ(log.last(), "USER QUIT");
    EXPECT_EQ(host.panels[0], "中止");
    EXPECT_EQ(host.panels[1], "3 files");
    EXPECT_EQ(server.FileCount(), 3);
    EXPECT_FALSE(server.HasFile(QStringLiteral("/www/z.txt")));
    EXPECT_EQ(host.runLogsShown.size(), 1);
}

class StopNow : public Run, public ::testing::WithParamInterface<int> {};

TEST_P(StopNow, DuringATransferNothingOfThatFileIsRecorded) {
    const QStringList files = {"1.txt", "d/2.txt", "d/e/3.txt", "d/e/f/4.txt"};
    for (const QString& f : files)
        Write(f);
    AddProfile();
    const int at = GetParam();
    host.onPanel = [this, at](int panel, const QString& text) {
        if (panel == 2 && text == QString::number(at) + " files")
            driver->StopNow();
    };
    driver->mnuRun_Click();
    const QString stopped = local + QLatin1Char('/') + files.at(at - 1);
    EXPECT_EQ(Log().last(), "USER QUIT");
    EXPECT_FALSE(Recorded(stopped));
    EXPECT_EQ(server.FileCount(), at - 1);
    EXPECT_EQ(host.panels[1], QString::number(at) + " files");
}

INSTANTIATE_TEST_SUITE_P(Depths, StopNow, ::testing::Values(1, 2, 4));

// The window closed while a file was on its way: the program has ended, nothing follows the
// unload line and the viewer stays shut.
TEST_F(Run, UnloadDuringARunIsTheLogsLastLine) {
    for (const char* f : {"1.txt", "d/2.txt", "d/3.txt"})
        Write(f);
    AddProfile();
    host.onPanel = [this](int panel, const QString& text) {
        if (panel == 2 && text == "2 files")
            driver->UnloadApplication();
    };
    driver->mnuRun_Click();
    const QStringList log = Log();
    EXPECT_EQ(log.last(), "USER QUIT - UNLOAD APPLICATION") << log.join('\n').toStdString();
    EXPECT_EQ(Count(log, "ERROR"), 0);
    EXPECT_TRUE(host.runLogsShown.isEmpty());
    EXPECT_EQ(server.FileCount(), 1);
}

TEST_F(Run, InvestigateSwitchedOnDuringARunSendsNoMoreBytes) {
    for (const char* f : {"a.txt", "b.txt", "c/d.txt"})
        Write(QString::fromLatin1(f));
    AddProfile();
    host.onPanel = [this](int panel, const QString& text) {
        if (panel == 3 && text == "1 copies")
            host.investigate = true;
    };
    driver->mnuRun_Click();
    EXPECT_EQ(server.CountCommands("STOR"), 1);
    EXPECT_EQ(Log().last(), "END (3 copies)");
    for (const char* f : {"a.txt", "b.txt", "c/d.txt"})
        EXPECT_TRUE(Recorded(local + QLatin1Char('/') + QString::fromLatin1(f))) << f;
    EXPECT_TRUE(server.HasFolder(QStringLiteral("/www/c")));
}

// Investigating a large tree says nothing to the server for minutes; a server closes a silent
// connection (vsftpd after 300 s) unless the walk keeps it alive.
TEST_F(Run, AWalkThatOnlyReadsKeepsItsConnectionAlive) {
    for (const char* f : {"a.txt", "b.txt", "c.txt", "d.txt"})
        Write(QString::fromLatin1(f));
    AddProfile();
    ASSERT_TRUE(API_IniFileAccess::IniWrite("Setting", "1", "KeepAliveSec"));
    host.investigate = true;
    host.onPanel = [](int panel, const QString&) {
        if (panel == 2)
            QThread::msleep(400);
    };
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (4 copies)");
    EXPECT_EQ(server.CountCommands("STOR"), 0);
    EXPECT_GE(server.CountCommands("NOOP"), 1);
}

TEST_F(Run, ConnectionFailureEndsTheRunBeforeLaterProfiles) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    AddProfile();
    host.items[0].profile.FtpDir = QStringLiteral("127.0.0.1:%1/www").arg(port);
    AddProfile();
    driver->mnuRun_Click();
    // The line names where the connection went and why.
    const QString failed = QStringLiteral("ERROR - CONNECTION FAILED - CONFIRM SETTING\t");
    EXPECT_EQ(Log(), (QStringList{"START",
                                  failed + QStringLiteral("127.0.0.1:%1\t").arg(port) +
                                      QString::fromLocal8Bit(std::strerror(ECONNREFUSED)),
                                  "ABEND"}));
    EXPECT_EQ(host.messages.shown.last().text,
              QStringLiteral("接続に失敗しました。設定を確認してください。\r\n") +
                  QString::fromLocal8Bit(std::strerror(ECONNREFUSED)));
    EXPECT_EQ(host.shownInFields, QList<int>{0});
    EXPECT_TRUE(host.runLogsShown.isEmpty());
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_FALSE(host.running);
    EXPECT_EQ(host.panels[0],
              "異常終了 (" + QString::fromLocal8Bit(std::strerror(ECONNREFUSED)) + ")");

    // A refused login: the server's reply, its control characters escaped.
    host.items[0].profile.FtpDir = server.HostPort() + QStringLiteral("/www");
    server.On("PASS", [this](const QByteArray&) {
        server.Send("530 Login incorrect.\x1b[2J\rSUCCESS - FAKE\r\n");
    });
    driver->mnuRun_Click();
    EXPECT_EQ(Log().at(1), failed + server.HostPort() +
                               QStringLiteral("\t530 Login incorrect.\\x1B[2J SUCCESS - FAKE"));
}

TEST_F(Run, NothingHappensWithoutATickedProfile) {
    ASSERT_TRUE(TextFile::AppendLine(Fun_Error_Success::GetLogPath(), QStringLiteral("old")));
    AddProfile();
    host.items[0].checked = false;
    driver->mnuRun_Click();
    EXPECT_TRUE(host.messages.shown.isEmpty());
    EXPECT_EQ(host.settingsSaved, 0);
    QStringList lines;
    TextFile::ReadLines(Fun_Error_Success::GetLogPath(), &lines);
    EXPECT_EQ(lines, QStringList{"old"});
}

TEST_F(Run, AMissingLocalFolderStopsTheCheckBeforeAnythingIsLocked) {
    AddProfile();
    AddProfile();
    host.items[1].profile.LocalBaseDir = dir.path() + QStringLiteral("/nowhere");
    driver->mnuRun_Click();
    ASSERT_EQ(host.messages.shown.size(), 1);
    EXPECT_EQ(host.messages.shown[0].text,
              QStringLiteral("ローカルディレクトリの存在しないか不正です。"));
    EXPECT_EQ(host.shownInFields, QList<int>{1});
    EXPECT_EQ(host.settingsSaved, 0);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_FALSE(QFile::exists(Fun_Error_Success::GetLogPath()));
}

TEST_F(Run, UnsavedEditsAndAnUnusableLedgerStartNothing) {
    AddProfile();
    host.editing = true;
    host.messages.answers = {MsgAnswer::No};
    driver->mnuRun_Click();
    EXPECT_EQ(server.Connections(), 0);

    host.editing = false;
    QFile::remove(UploadLedger::LedgerPath());
    ASSERT_TRUE(QDir().mkpath(UploadLedger::LedgerPath()));
    driver->mnuRun_Click();
    EXPECT_EQ(host.messages.shown.last().text,
              "ＤＢ起動失敗\r\n" + UploadLedger::LedgerPath() + "\r\n" + std::strerror(EISDIR));
    EXPECT_EQ(server.Connections(), 0);
    QDir(UploadLedger::LedgerPath()).removeRecursively();
}

// Times keep their fraction of a second: with no tolerance, a change later in the second of the
// upload is sent. A row stored in whole seconds (by an earlier version) compares in whole seconds.
TEST_F(Run, AChangeWithinTheSecondOfTheUploadIsSent) {
    constexpr qint64 t = 1'700'000'000;
    const QString a = Write(QStringLiteral("a.txt"), "first");
    SetTime(a, t, 250);
    const QString old = Write(QStringLiteral("old.txt"));
    SetTime(old, t, 600);
    server.AddFile(QStringLiteral("/www/old.txt"), "data");
    {
        clsAdoJet db;
        ASSERT_TRUE(db.Connect(UploadLedger::LedgerPath(), clsAdoJet::JetProvider()));
        ASSERT_TRUE(
            db.Execute(QStringLiteral("insert into T_PUT_FILE(i_id_file, c_local_file_name, "
                                      "dt_local_file_date, c_remote_file_name, c_target) "
                                      "values(1, ?1, ?2, ?3, ?4)"),
                       {old, Fun_EscSingleQuote::DateTimeText(QDateTime::fromSecsSinceEpoch(t)),
                        QStringLiteral("/www/old.txt"), Target()},
                       nullptr));
    }
    AddProfile(0);
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (1 copies)");
    Write(QStringLiteral("a.txt"), "second");
    SetTime(a, t, 750);
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (1 copies)");
    EXPECT_EQ(server.File(QStringLiteral("/www/a.txt")), "second");
    EXPECT_EQ(server.CountCommands("STOR"), 2);
}

// One folder mirrored to two places on one server and to a second server: each place keeps its
// own row, so a profile that runs later still sends what changed.
TEST_F(Run, ProfilesOfOneFolderEachSendWhatChanged) {
    VirtualFtpServer other;
    ASSERT_TRUE(other.Listen());
    other.AddFolder(QStringLiteral("/www"));
    server.AddFolder(QStringLiteral("/staging"));
    server.AddFolder(QStringLiteral("/prod"));
    const QString a = Write(QStringLiteral("a.txt"), "v1");
    SetTime(a, 1'700'000'000);
    AddProfile(2, QStringLiteral("/staging"));
    AddProfile(2, QStringLiteral("/prod"));
    AddProfile();
    host.items[2].profile.FtpDir = other.HostPort() + QStringLiteral("/www");
    driver->mnuRun_Click();
    EXPECT_EQ(Log().last(), "END (3 copies)");

    Write(QStringLiteral("a.txt"), "v2");
    SetTime(a, 1'700'000'100);
    const auto runOnly = [this](QList<int> ticked) {
        for (int i = 0; i < host.items.size(); ++i)
            host.items[i].checked = ticked.contains(i);
        driver->mnuRun_Click();
    };
    runOnly({0});
    EXPECT_EQ(server.File(QStringLiteral("/staging/a.txt")), "v2");
    runOnly({1, 2});
    EXPECT_EQ(Log().last(), "END (2 copies)");
    EXPECT_EQ(server.File(QStringLiteral("/prod/a.txt")), "v2");
    EXPECT_EQ(other.File(QStringLiteral("/www/a.txt")), "v2");
}

// A folder the walk cannot read is an error naming it and the reason, never an empty success:
// a name that is not text in the locale's character set, and a path longer than the system
// takes (both hold for root, who reads any folder regardless of its permissions).
TEST_F(Run, AFolderThatCannotBeReadIsAnErrorWithItsReason) {
    const QByteArray base = QFile::encodeName(local);
    ASSERT_EQ(::mkdir(base + "/bad\xFF", 0755), 0);
    ASSERT_EQ(::close(::open(base + "/bad\xFF/in.txt", O_CREAT | O_WRONLY, 0644)), 0);
    int fd = ::open(base.constData(), O_DIRECTORY);
    const QByteArray level(200, 'x');
    for (int depth = 0; depth < 22 && fd >= 0; ++depth) {
        ASSERT_EQ(::mkdirat(fd, level.constData(), 0755), 0);
        const int next = ::openat(fd, level.constData(), O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::close(::openat(fd, "deep.txt", O_CREAT | O_WRONLY, 0644)), 0);
    ::close(fd);
    AddProfile();
    driver->mnuRun_Click();
    const QStringList log = Log();
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), local});

    const QString bad = QStringLiteral("/bad\uFFFD");
    EXPECT_TRUE(log.contains("ERROR - CAN NOT READ FOLDER " + kTab + local + bad + kTo + "/www" +
                             bad + kTab + "the name is not valid in the locale's character set"))
        << log.join('\n').toStdString();
    const QString tooLong = kTab + QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));
    EXPECT_EQ(Count(log, "ERROR - CAN NOT READ FOLDER "), 2);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const QString& l) { return l.endsWith(tooLong); }),
              1);
    EXPECT_EQ(host.panels[3], "2 err");
    EXPECT_EQ(log.last(), "END (0 copies)");
    EXPECT_FALSE(server.HasFolder("/www" + bad));
}

// A run the network ends says why before its closing line, and counts it.
class NetworkAbort : public Run, public ::testing::WithParamInterface<const char*> {};

TEST_P(NetworkAbort, WritesItsReasonBeforeTheClosingLine) {
    const QString kind = QString::fromLatin1(GetParam());
    QString reason;
    if (kind == "Reply421") {
        server.On("STOR", [this](const QByteArray&) {
            server.Send("421 Timeout.\r\n");
            server.CloseControl();
        });
        reason = QStringLiteral("421 Timeout.");
    } else if (kind == "Reset") {
        server.On("STOR", [this](const QByteArray&) { server.ResetControl(); });
    } else {
        ASSERT_TRUE(API_IniFileAccess::IniWrite(QStringLiteral("Setting"), QStringLiteral("1"),
                                                QStringLiteral("ReplyTimeoutSec")));
        server.On("STOR", [](const QByteArray&) {});
        reason = QStringLiteral("timed out");
    }
    Write(QStringLiteral("a.txt"));
    Write(QStringLiteral("b.txt"));
    AddProfile();
    driver->mnuRun_Click();
    const QStringList log = Log();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.last(), "USER QUIT");
    const QString line = log.at(log.size() - 2);
    const QString head = "ERROR - CONNECTION ABORTED - " + kTab + server.HostPort() + kTab;
    EXPECT_TRUE(line.startsWith(head) && line.size() > head.size() && line.contains(reason))
        << line.toStdString();
    EXPECT_TRUE(host.panels[0].startsWith("異常終了 (") && host.panels[0].contains(reason))
        << host.panels[0].toStdString();
    EXPECT_EQ(QString::number(Count(log, "ERROR")) + " err", host.panels[3]);
}

INSTANTIATE_TEST_SUITE_P(Faults, NetworkAbort, ::testing::Values("Reply421", "Reset", "Stall"));

// ---- What the local tree and the files around a run can do to it ----

// arrange builds a hazard of the local tree and returns lines the run log must hold; the run
// counts errors and sends at most maxStor files. again, when set, changes the tree after the run,
// and the next run sends sentAgain files.
struct Hazard {
    const char* name;
    std::function<QStringList(Run&)> arrange;
    int errors;
    int maxStor;
    std::function<void(Run&)> again = {};
    int sentAgain = 0;
};

QString Walked(const QString& head, const QString& local, const QString& remote,
               const QString& tail = QString()) {
    return head + kTab + local + kTo + remote + (tail.isEmpty() ? QString() : kTab + tail);
}

const qint64 kNow = QDateTime::currentSecsSinceEpoch();

const Hazard kHazards[] = {
    {"FifoSwappedInAfterTheFolderWasRead",
     [](Run& r) {
         const QString a = r.Write("a.txt");
         r.host.onPanel = [a](int panel, const QString& text) {
             if (panel == 2 && text == "1 files" && QFile::remove(a))
                 ::mkfifo(QFile::encodeName(a).constData(), 0644);
         };
         return QStringList{
             Walked("ERROR - CAN NOT COPY ", a, "/www/a.txt", "not a regular file but a fifo")};
     },
     1, 0},
    {"FileRewrittenWhileItIsSent",
     [](Run& r) {
         const QString big = r.Write("big.bin", QByteArray(16 << 20, 'a'));
         r.server.stallDataAfter = 64 * 1024;
         r.server.OnStall = [&r, big] {
             TextFile::AppendLine(big, "b");
             r.server.ResumeData();
         };
         return QStringList{Walked("ERROR - FILE CHANGED WHILE SENT ", big, "/www/big.bin")};
     },
     1, 1, [](Run&) {}, 1},
    // Replaced by rename with an older time, rewritten with its time put back (touch -r), and
    // rewritten at a time before its row's future one: each is sent again.
    {"FilesReplacedWithOlderOrEqualTimes",
     [](Run& r) {
         for (const char* name : {"a.txt", "b.txt", "same.txt", "c.txt"})
             Run::SetTime(r.Write(name, "four"), kNow - 3600);
         Run::SetTime(r.local + "/c.txt", kNow + 86400);
         return QStringList{};
     },
     0, 4,
     [](Run& r) {
         Run::SetTime(r.Write("new", "FOUR"), kNow - 2 * 86400);
         ::rename(QFile::encodeName(r.local + "/new"), QFile::encodeName(r.local + "/a.txt"));
         Run::SetTime(r.Write("b.txt", "FOUR"), kNow - 3600);
         Run::SetTime(r.Write("c.txt", "FOUR"), kNow);
     },
     3},
    // Twenty folders holding two links each to the next would be 2^19 paths.
    {"LinksFanningOut",
     [](Run& r) {
         for (int i = 1; i <= 20; ++i) {
             r.Write(QStringLiteral("f%1/a.txt").arg(i));
             for (const char* link : {"/x", "/y"})
                 EXPECT_TRUE(i == 20 ||
                             QFile::link(QStringLiteral("../f%1").arg(i + 1),
                                         r.local + QStringLiteral("/f%1").arg(i) + link));
         }
         return QStringList{
             Walked("WARNING - FOLDER WALKED ALREADY ", r.local + "/f19/y", "/www/f19/y")};
     },
     0, 40},
    // Links out are followed only with FollowLinksOutside=1, links inside always.
    {"LinksLeadingOutOfTheTree",
     [](Run& r) {
         const QString outside = r.dir.path() + QStringLiteral("/outside");
         TextFile::AppendLine(r.Write("../outside/inner/b.txt"), "password");
         const QString real = QFileInfo(outside).canonicalFilePath();
         EXPECT_TRUE(QFile::link(outside + "/inner/b.txt", r.local + "/secret.txt"));
         EXPECT_TRUE(QFile::link(outside + "/inner", r.local + "/inner"));
         EXPECT_TRUE(QFile::link(QFileInfo(r.Write("sub/in.txt")).path(), r.local + "/same"));
         return QStringList{
             Walked("WARNING - LINK LEADS OUTSIDE THE BASE FOLDER ", r.local + "/secret.txt",
                    "/www/secret.txt", real + "/inner/b.txt"),
             Walked("WARNING - LINK LEADS OUTSIDE THE BASE FOLDER ", r.local + "/inner",
                    "/www/inner", real + "/inner")};
     },
     0, 2, [](Run&) { API_IniFileAccess::IniWrite("Setting", "1", "FollowLinksOutside"); }, 2},
    {"SpecialFileAndDanglingLink",
     [](Run& r) {
         EXPECT_EQ(::mkfifo(QFile::encodeName(r.local + "/pipe").constData(), 0644), 0);
         EXPECT_TRUE(QFile::link(r.local + "/gone", r.local + "/dangling"));
         return QStringList{
             Walked("WARNING - SPECIAL FILE NOT SENT ", r.local + "/pipe", "/www/pipe", "fifo"),
             Walked("WARNING - DANGLING LINK ", r.local + "/dangling", "/www/dangling",
                    QString::fromLocal8Bit(std::strerror(ENOENT)))};
     },
     0, 0},
};

class WalkHazard : public Run, public ::testing::WithParamInterface<Hazard> {};

TEST_P(WalkHazard, IsNamedInTheLogAndNothingIsVouchedForWrongly) {
    const Hazard& hazard = GetParam();
    AddProfile();
    const QStringList lines = hazard.arrange(*this);
    driver->mnuRun_Click();
    host.onPanel = nullptr;
    const QStringList log = Log();
    for (const QString& line : lines)
        EXPECT_TRUE(log.contains(line)) << line.toStdString();
    EXPECT_EQ(Count(log, "ERROR"), hazard.errors);
    EXPECT_TRUE(log.last().startsWith("END (")) << log.last().toStdString();
    EXPECT_LE(server.CountCommands("STOR"), hazard.maxStor);
    if (!hazard.again)
        return;
    const int before = server.CountCommands("STOR");
    hazard.again(*this);
    driver->mnuRun_Click();
    EXPECT_EQ(server.CountCommands("STOR") - before, hazard.sentAgain);
    EXPECT_EQ(Count(Log(), "ERROR"), 0);
}

INSTANTIATE_TEST_SUITE_P(Local, WalkHazard, ::testing::ValuesIn(kHazards),
                         [](const auto& param) { return std::string(param.param.name); });

// arrange makes a fault of the settings or of the files around a run and returns the start of
// the message the run shows. No case sends the password in clear text; where the run reaches the
// server, it asks for TLS first.
struct SettingsFault {
    const char* name;
    std::function<QString(Run&)> arrange;
    RunOutcome outcome;
    bool asksForTls;
};

QString ServerSection(Run& r) {
    return "[Server_" + r.server.HostPort() + "]\r\n";
}

const QString kIni = QStringLiteral("設定ファイルを読み込めません。\r\n");

const SettingsFault kSettingsFaults[] = {
    {"SettingsFileIsAFolder",
     [](Run& r) {
         const QString ini = API_IniFileAccess::IniDefaultPath();
         QDir().mkpath(ini);
         r.undo = [ini] { QDir(ini).removeRecursively(); };
         return kIni + ini + "\r\nnot a regular file but a directory";
     },
     RunOutcome::Refused, false},
    {"SettingsFileInUtf16",
     [](Run& r) {
         const QString text = ServerSection(r) + "Tls=Require\r\n";
         TextFile::WriteAtomic(
             API_IniFileAccess::IniDefaultPath(),
             QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
         return kIni + API_IniFileAccess::IniDefaultPath() + "\r\nnot a text file";
     },
     RunOutcome::Refused, false},
    {"EmptyTlsValue",
     [](Run& r) {
         TextFile::AppendLine(API_IniFileAccess::IniDefaultPath(), ServerSection(r) + "Tls=");
         return QStringLiteral("接続に失敗しました。");
     },
     RunOutcome::ConnectionFailed, true},
    {"TlsInTheSecondSectionOfTheServer",
     [](Run& r) {
         TextFile::AppendLine(
             API_IniFileAccess::IniDefaultPath(),
             ServerSection(r) + "Tls=Off\r\n[Setting]\r\n" + ServerSection(r) + "Tls=Require");
         return QStringLiteral("接続に失敗しました。");
     },
     RunOutcome::ConnectionFailed, true},
    {"LockFileCannotBeMade",
     [](Run& r) {
         const QByteArray old = qgetenv("XDG_DATA_HOME");
         const QString home = r.dir.path() + QStringLiteral("/data");
         TextFile::AppendLine(home, "not a folder");
         qputenv("XDG_DATA_HOME", QFile::encodeName(home));
         r.undo = [old] { qputenv("XDG_DATA_HOME", old); };
         return "実行中を示すファイルを作成できません。\r\n" + home +
                "/SkerrowEx/SkerrowEx.lock\r\n" + QString::fromLocal8Bit(std::strerror(ENOTDIR));
     },
     RunOutcome::Refused, false},
};

class SettingsFaults : public Run, public ::testing::WithParamInterface<SettingsFault> {};

TEST_P(SettingsFaults, StopTheRunWithTheirReasonAndNeverSendThePasswordInClear) {
    const SettingsFault& fault = GetParam();
    Write("a.txt");
    AddProfile();
    const QString message = fault.arrange(*this);
    driver->mnuRun_Click();
    EXPECT_EQ(driver->Outcome(), fault.outcome);
    ASSERT_FALSE(host.messages.shown.isEmpty());
    EXPECT_TRUE(host.messages.shown.last().text.startsWith(message))
        << host.messages.shown.last().text.toStdString();
    EXPECT_FALSE(server.Received().contains("PASS"));
    EXPECT_EQ(server.Connections() > 0, fault.asksForTls);
    EXPECT_EQ(server.CountCommands("AUTH") > 0, fault.asksForTls);
}

INSTANTIATE_TEST_SUITE_P(Files, SettingsFaults, ::testing::ValuesIn(kSettingsFaults),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
