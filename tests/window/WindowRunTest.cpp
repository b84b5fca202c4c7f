// One whole run driven through the window's menu, offscreen, against a scripted server.
#include <gtest/gtest.h>

#include <functional>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "AppFiles.h"
#include "FtpTestServer.h"
#include "Fun_CheckUnloadMode.h"
#include "Fun_Error_Success.h"
#include "HostKeyFingerprint.h"
#include "ScriptedMessageHost.h"
#include "ServerCertificate.h"
#include "ServerSettings.h"
#include "StatusCounters.h"
#include "TextFile.h"
#include "VirtualFtpServer.h"
#include "frmServerSetting.h"
#include "frmSkerrow.h"

namespace {

const QString kConnectionFailed = QStringLiteral("接続に失敗しました。設定を確認してください。");

// Each run starts without the profiles, settings, ledger and logs of an earlier one.
void ForgetAppFiles() {
    for (const char* suffix : {".dat", ".ini", ".db", ".log", ".log.sys.log"})
        QFile::remove(AppFiles::AppFilePath(QString::fromLatin1(suffix)));
}

TEST(WindowRun, MenuRunMirrorsLocksAndRestoresTheWindow) {
    ForgetAppFiles();
    VirtualFtpServer server;
    ASSERT_TRUE(server.Listen());
    server.AddFolder(QStringLiteral("/www"));
    QTemporaryDir dir;
    const QString local = dir.path() + QStringLiteral("/site");
    ASSERT_TRUE(QDir().mkpath(local + QStringLiteral("/img")));
    ASSERT_TRUE(TextFile::AppendLine(local + QStringLiteral("/index.html"), QStringLiteral("hi")));
    ASSERT_TRUE(TextFile::AppendLine(local + QStringLiteral("/img/a.png"), QStringLiteral("png")));
    // Big enough, at 2.5 MB a second, to be seen on its way.
    QFile big(local + QStringLiteral("/big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(3 << 20, 'b'));
    big.close();
    server.SetDataReadRate(256 * 1024, 100);

    ScriptedMessageHost host;
    frmSkerrow w(host);
    w.stLocalDir->setInitDir(local);
    w.txtFtpDir->setText(server.HostPort() + QStringLiteral("/www"));
    w.txtAccount->setText(QStringLiteral("user"));
    w.txtPasswd->setText(QStringLiteral("pw"));
    w.btnAction_Click(1);
    ASSERT_EQ(w.ItemCount(), 1);
    w.LoadItemIntoFields(w.Item(0));
    QStringList shown;
    w.RunSide().RunLogViewer = [&shown](const QString& path) {
        shown.append(path);
        return true;
    };

    // What the window shows while the run goes on, seen from the server's side.
    bool lockedDuringRun = false;
    QString modeDuringRun;
    QColor colourDuringRun;
    server.On("TYPE", [&](const QByteArray&) {
        server.Send("200 Switching to Binary mode.\r\n");
        lockedDuringRun = !w.lvList->isEnabled() && !w.txtFtpDir->isEnabled() &&
                          !w.stLocalDir->ENABLED() && !w.stConvTable->ENABLED() &&
                          w.mnuQuitRunning->isVisible() && !w.mnuRun->isVisible() &&
                          !w.mnuPreview->isVisible() && !w.mnuServerSetting->isEnabled();
        for (QPushButton* button : w.btnAction)
            lockedDuringRun = lockedDuringRun && !button->isEnabled();
        modeDuringRun = w.PanelText(1);
    });
    QObject::connect(w.lvList->model(), &QAbstractItemModel::dataChanged, [&] {
        if (w.ItemTextColor(0).isValid())
            colourDuringRun = w.ItemTextColor(0);
    });
    QString transferShown;
    int barShown = 0;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (w.lblTransfer->text().endsWith(QStringLiteral("/s")))
            transferShown = w.lblTransfer->text();
        barShown = qMax(barShown, w.prgTransfer->value());
    });
    look.start(50);

    // A preview first: locked as a run, it shows its own log and leaves the server as it was.
    w.mnuPreview->trigger();
    EXPECT_TRUE(lockedDuringRun);
    EXPECT_EQ(modeDuringRun, QStringLiteral("ﾌﾟﾚﾋﾞｭｰ中"));
    EXPECT_EQ(shown, QStringList{Fun_Error_Success::GetPreviewLogPath()});
    QStringList preview;
    TextFile::ReadLines(Fun_Error_Success::GetPreviewLogPath(), &preview);
    EXPECT_TRUE(preview.value(preview.size() - 1)
                    .endsWith(QStringLiteral(" END PREVIEW (1 folders to make, 3 files to send)")))
        << preview.join('\n').toStdString();
    EXPECT_EQ(server.CountCommands("STOR") + server.CountCommands("MKD"), 0);
    shown.clear();
    lockedDuringRun = false;

    w.mnuRun->trigger();

    EXPECT_TRUE(lockedDuringRun);
    EXPECT_EQ(modeDuringRun, QStringLiteral("実行中"));
    EXPECT_EQ(colourDuringRun, QColor(255, 0, 0));
    EXPECT_EQ(server.File(QStringLiteral("/www/img/a.png")), "png\r\n");
    EXPECT_EQ(server.File(QStringLiteral("/www/index.html")), "hi\r\n");
    QStringList log;
    TextFile::ReadLines(Fun_Error_Success::GetLogPath(), &log);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.last().endsWith(QStringLiteral(" END (3 copies)")));
    EXPECT_EQ(shown, QStringList{Fun_Error_Success::GetLogPath()});
    // The file, its bytes of its size, per cent and rate; the bar moving.
    EXPECT_TRUE(transferShown.startsWith(QStringLiteral("big.bin  ")) &&
                transferShown.contains(QStringLiteral(" / 3.0 MB  ")) &&
                transferShown.contains(u'%'))
        << transferShown.toStdString();
    EXPECT_GT(barShown, 0);
    EXPECT_TRUE(w.lblTransfer->isHidden());
    EXPECT_EQ(w.PanelText(1), QStringLiteral("終了"));
    EXPECT_EQ(w.PanelText(2), QStringLiteral("3 files"));
    EXPECT_EQ(w.PanelText(3), QStringLiteral("3 copies"));
    EXPECT_TRUE(w.lvList->isEnabled());
    EXPECT_TRUE(w.txtFtpDir->isEnabled());
    for (QPushButton* button : w.btnAction)
        EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(w.mnuRun->isVisible());
    EXPECT_TRUE(w.mnuServerSetting->isEnabled());
    EXPECT_FALSE(w.mnuQuitRunning->isVisible());
    EXPECT_FALSE(w.tmrSec->isActive());
    EXPECT_FALSE(w.ItemTextColor(0).isValid());
    EXPECT_TRUE(host.shown.isEmpty());
}

// The user's close asks first, and No keeps the run going; a session end and a termination
// request ask nothing. Each ends the run at once: the unload line is the log's last line and no
// viewer opens.
TEST(WindowRun, EndingTheProgramDuringARunEndsItWithItsLine) {
    const QList<std::pair<const char*, std::function<void(frmSkerrow&)>>> ways{
        {"close",
         [](frmSkerrow& w) {
             EXPECT_FALSE(w.close());  // No
             w.close();
         }},
        {"session end",
         [](frmSkerrow& w) { w.SystemUnload(Fun_CheckUnloadMode::UnloadMode_AppWindows); }},
        {"SIGTERM",
         [](frmSkerrow& w) { w.SystemUnload(Fun_CheckUnloadMode::UnloadMode_AppTaskManager); }},
    };
    for (const auto& [name, end] : ways) {
        ForgetAppFiles();
        VirtualFtpServer server;
        ASSERT_TRUE(server.Listen());
        server.AddFolder(QStringLiteral("/www"));
        QTemporaryDir dir;
        // Enough files that the run is still going when the poll below first sees a copy.
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(TextFile::AppendLine(dir.filePath(QStringLiteral("f%1.txt").arg(i)), "x"));

        ScriptedMessageHost host;
        host.answers = {MsgAnswer::No};
        frmSkerrow w(host);
        w.show();
        w.stLocalDir->setInitDir(dir.path());
        w.txtFtpDir->setText(server.HostPort() + QStringLiteral("/www"));
        w.txtAccount->setText(QStringLiteral("user"));
        w.btnAction_Click(1);
        bool viewerOpened = false;
        w.RunSide().RunLogViewer = [&](const QString&) { return viewerOpened = true; };
        // The program is ended once the first file has gone.
        bool ended = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!ended && StatusCounters::LeadingNumber(w.PanelText(3)) > 0) {
                ended = true;
                end(w);
            }
        });
        poll.start(1);

        w.mnuRun->trigger();

        EXPECT_TRUE(ended) << name;
        EXPECT_FALSE(viewerOpened) << name;
        QStringList log;
        TextFile::ReadLines(Fun_Error_Success::GetLogPath(), &log);
        ASSERT_FALSE(log.isEmpty());
        EXPECT_TRUE(log.last().endsWith(QStringLiteral(" USER QUIT - UNLOAD APPLICATION")))
            << name << "\n"
            << log.join(QLatin1Char('\n')).toStdString();
        EXPECT_LT(StatusCounters::LeadingNumber(w.PanelText(3)), 40) << name;
        EXPECT_EQ(host.shown.size(), QByteArray(name) == "close" ? 2 : 0) << name;
        for (const ScriptedMessageHost::Shown& question : host.shown)
            EXPECT_EQ(question.buttons, MsgButtons::YesNoDefaultNo);
    }
}

// A refused login: the box says why, and points to the server settings of a server that offers
// TLS.
TEST(WindowRun, AFailedConnectionSaysWhyInItsBox) {
    ForgetAppFiles();
    VirtualFtpServer server;
    ASSERT_TRUE(server.Listen());
    server.On("PASS", [&](const QByteArray&) { server.Send("530 Login incorrect.\r\n"); });
    server.On("FEAT", [&](const QByteArray&) { server.Send("211-F:\r\n AUTH TLS\r\n211 E\r\n"); });
    ASSERT_TRUE(TextFile::AppendLine(AppFiles::AppFilePath(QStringLiteral(".dat")),
                                     "True\t/\t0\tftp://" + server.HostPort() + "\tu\tp"));
    ScriptedMessageHost host;
    frmSkerrow w(host);
    w.mnuRun->trigger();
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_TRUE(
        host.shown[0].text.startsWith(kConnectionFailed + "\r\n530 Login incorrect.\r\nTLS ") &&
        host.shown[0].text.contains(QStringLiteral("ｻｰﾊﾞｰ接続設定")))
        << host.shown[0].text.toStdString();
}

// Runs the dialog the menu opens, doing to it what the user does.
void WithServerSetting(frmSkerrow& w, const std::function<void(frmServerSetting&)>& use) {
    // A window closed by an earlier test asked the application to exit, which ends every modal
    // loop (the dialog's) at once until the application's own loop has run.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<frmServerSetting*>(top);
            if (!dialog || !dialog->isVisible() || opened)
                continue;
            opened = true;
            use(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    poll.start(10);
    w.mnuServerSetting->trigger();
    EXPECT_TRUE(opened);
}

// A server that takes TLS only and passive connections only, with a certificate no CA signed:
// the user sets the server's options in the dialog, is shown the certificate and trusts it, and
// the tree is mirrored. The dialog then shows what is kept and refuses a fingerprint that is none.
TEST(WindowRun, TlsOnlyPassiveOnlyServerMirrorsOnceItsCertificateIsTrusted) {
    ForgetAppFiles();
    FtpTestServer server;
    QString why;
    ASSERT_TRUE(server.Start(FtpServerKind::Vsftpd, &why, {.tls = true, .activeMode = false}))
        << why.toStdString();
    QTemporaryDir dir;
    const QString local = dir.path() + QStringLiteral("/site");
    ASSERT_TRUE(QDir().mkpath(local + QStringLiteral("/img")));
    ASSERT_TRUE(TextFile::AppendLine(local + QStringLiteral("/index.html"), QStringLiteral("hi")));
    ASSERT_TRUE(TextFile::AppendLine(local + QStringLiteral("/img/a.png"), QStringLiteral("png")));
    QFile(local + QStringLiteral("/empty.txt")).open(QIODevice::WriteOnly);

    ScriptedMessageHost host;
    frmSkerrow w(host);
    w.stLocalDir->setInitDir(local);
    w.txtFtpDir->setText(server.FtpDir(QStringLiteral("/www")));
    w.txtAccount->setText(server.User());
    w.txtPasswd->setText(server.Password());
    w.btnAction_Click(1);
    w.RunSide().RunLogViewer = [](const QString&) { return true; };
    // Without TLS the server refuses the login and closes the connection: one box says why, and
    // where TLS is asked for; the close that comes while it is shown is no box of its own.
    host.whileShown = [] { QTest::qWait(100); };
    w.mnuRun->trigger();
    host.whileShown = nullptr;
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_TRUE(host.shown.takeFirst().text.startsWith(
        kConnectionFailed + "\r\n530 Non-anonymous sessions must use encryption.\r\nTLS "));

    WithServerSetting(w, [](frmServerSetting& d) {
        d.cboDataConnection->setCurrentIndex(1);
        d.cboTls->setCurrentIndex(1);
        d.cboTempUpload->setCurrentIndex(1);
        d.accept();
    });

    w.mnuRun->trigger();

    const QByteArray fingerprint = FtpTestServer::CertificateFingerprint();
    ASSERT_EQ(host.shown.size(), 1);
    const QString question = host.shown.first().text;
    EXPECT_EQ(host.shown.first().buttons, MsgButtons::YesNoDefaultNo);
    for (const QString& fact : {QStringLiteral("発行先: 127.0.0.1"), QStringLiteral("発行者: "),
                                QStringLiteral("有効期間: "),
                                "SHA-256: " + ServerCertificate::FingerprintText(fingerprint)})
        EXPECT_TRUE(question.contains(fact)) << question.toStdString();
    QStringList log;
    TextFile::ReadLines(Fun_Error_Success::GetLogPath(), &log);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.last().endsWith(QStringLiteral(" END (3 copies)")))
        << log.join('\n').toStdString();
    EXPECT_EQ(QFileInfo(server.RootDir() + QStringLiteral("/www/empty.txt")).size(), 0);
    QFile png(server.RootDir() + QStringLiteral("/www/img/a.png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_EQ(png.readAll(), "png\r\n");
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    const Typ_ServerOptions kept = ServerSettings::Read(hostPort);
    EXPECT_EQ(kept.DataConnection, DC_Passive);
    EXPECT_EQ(kept.Tls, TLS_Require);
    EXPECT_EQ(kept.TempUpload, TU_On);
    EXPECT_EQ(kept.TrustedCertificate, fingerprint);

    host.shown.clear();
    WithServerSetting(w, [&](frmServerSetting& d) {
        EXPECT_EQ(d.cboDataConnection->currentIndex(), 1);
        EXPECT_EQ(d.cboTls->currentIndex(), 1);
        EXPECT_EQ(d.cboTempUpload->currentIndex(), 1);
        EXPECT_EQ(d.txtTrustedCertificate->text(), ServerCertificate::FingerprintText(fingerprint));
        d.txtTrustedCertificate->setText(QStringLiteral("not a fingerprint"));
        d.accept();
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_EQ(host.shown.size(), 1);
    EXPECT_EQ(ServerSettings::Read(hostPort).TrustedCertificate, fingerprint);

    // Another certificate trusted: this one is refused as changed, naming the file to edit.
    ASSERT_TRUE(ServerSettings::WriteTrustedCertificate(hostPort, QByteArray(32, '\xAB')));
    w.mnuRun->trigger();
    ASSERT_EQ(host.shown.size(), 3);
    EXPECT_TRUE(host.shown[1].text.contains("変わっています") &&
                host.shown[1].text.contains(AppFiles::AppFilePath(QStringLiteral(".ini"))));
}

// An SFTP server whose host key no known_hosts file holds: the question names the server, the
// key's type and its fingerprint, Yes keeps the key for the server (the dialog shows it) and the
// tree is mirrored; the next run asks nothing, and a key other than the kept one is refused,
// naming both.
TEST(WindowRun, SftpHostKeyIsAskedAboutOnceAndAChangedOneRefused) {
    ForgetAppFiles();
    FtpTestServer server;
    QString why;
    ASSERT_TRUE(server.Start(FtpServerKind::Sshd, &why)) << why.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(TextFile::AppendLine(dir.filePath(QStringLiteral("index.html")), "hi"));
    ScriptedMessageHost host;
    frmSkerrow w(host);
    w.stLocalDir->setInitDir(dir.path());
    w.txtFtpDir->setText(server.FtpDir(QStringLiteral("/www")));
    w.txtAccount->setText(server.User());
    w.txtPasswd->setText(server.Password());
    w.btnAction_Click(1);
    w.RunSide().RunLogViewer = [](const QString&) { return true; };
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    const QString fingerprint = server.HostKeyFingerprint();

    w.mnuRun->trigger();
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].buttons, MsgButtons::YesNoDefaultNo);
    for (const QString& fact : {hostPort, QStringLiteral("ssh-ed25519"), fingerprint})
        EXPECT_TRUE(host.shown[0].text.contains(fact)) << host.shown[0].text.toStdString();
    QFile sent(server.RootDir() + QStringLiteral("/www/index.html"));
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(sent.readAll(), "hi\r\n");
    EXPECT_EQ(HostKeyFingerprint::Text(ServerSettings::Read(hostPort).TrustedHostKey), fingerprint);
    WithServerSetting(w, [&](frmServerSetting& d) {
        EXPECT_EQ(d.txtTrustedHostKey->text(), fingerprint);
        EXPECT_FALSE(d.cboTls->isVisibleTo(&d));
    });

    host.shown.clear();
    w.mnuRun->trigger();
    EXPECT_TRUE(host.shown.isEmpty());

    const QByteArray other(32, '\xAB');
    ASSERT_TRUE(ServerSettings::WriteTrustedHostKey(hostPort, other));
    w.mnuRun->trigger();
    ASSERT_EQ(host.shown.size(), 2);
    EXPECT_TRUE(host.shown[0].text.contains(QStringLiteral("以前の鍵から変わっています")) &&
                host.shown[0].text.contains(fingerprint) &&
                host.shown[0].text.contains(HostKeyFingerprint::Text(other)))
        << host.shown[0].text.toStdString();
    EXPECT_TRUE(host.shown[1].text.startsWith(kConnectionFailed));
}

}  // namespace
