#include "Fun_AppPrevInstanceOperate.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QMessageBox>
#include <QStandardPaths>
#include <QWidget>

#include "API_SendPostMSG.h"
#include "Dunvorel_TypeLib.h"
#include "Fun_FormControls.h"
#include "Fun_HostProcess.h"
#include "LinkSource.h"

namespace {

// Waits of the sending side, as the platform's link timeout: the other instance answers at once
// or not at all.
constexpr int kLinkTimeoutMs = 5000;
// Room for the socket's name in its address (108 bytes with the folder).
constexpr qsizetype kMaxSocketName = 80;

// The first text box of the form, in the order its controls were made.
QWidget* FirstTextBox(QWidget* form) {
    for (QWidget* widget : Fun_FormControls::FormControls(form)) {
        if (Fun_FormControls::IsTextBox(widget))
            return widget;
    }
    return nullptr;
}

}  // namespace

namespace Fun_AppPrevInstanceOperate {

QString LinkServerName(const QString& appTitle, const QString& topic) {
    const QByteArray link = (appTitle + u'|' + topic).toUtf8();
    QString name =
        QStringLiteral("link-%1-").arg(::getuid()) +
        QString::fromLatin1(link.toPercentEncoding(QByteArray(), "|")).replace(u'%', u'_');
    if (name.size() > kMaxSocketName)
        name =
            QStringLiteral("link-%1-").arg(::getuid()) +
            QString::fromLatin1(QCryptographicHash::hash(link, QCryptographicHash::Sha1).toHex());
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + u'/' + name;
}

QString FormLinkServerName(const QWidget* form) {
    return LinkServerName(Fun_HostProcess::GetAppTitle(),
                          form->property(kLinkTopicProperty).toString());
}

bool PrevInstanceRunning(const QWidget* form) {
    QLocalSocket socket;
    socket.connectToServer(FormLinkServerName(form));
    const bool running = socket.waitForConnected(kLinkTimeoutMs);
    socket.abort();
    return running;
}

bool OperatePrevInstance(QWidget* form, int mode, QString& commandLine) {
    if (mode != Mode_TellThenClose && form->property(Dunvorel_TypeLib::kLinkModeProperty).toInt() !=
                                          Dunvorel_TypeLib::LinkMode_Source)
        Fun_HostProcess::MsgDevErrInfo(
            form, QStringLiteral("OperatePrevInstance"),
            QStringLiteral(
                "ﾌｫｰﾑのLinkModeがvbLinkSourceでありません。実行時に変えられないのです。"));
    form->setProperty(kLinkTopicProperty, form->objectName());
    if (commandLine.isEmpty())
        commandLine = Fun_HostProcess::CommandArguments();
    if (!PrevInstanceRunning(form))
        return false;
    if (mode == Mode_TellThenClose) {
        QMessageBox box(QMessageBox::Information, Fun_HostProcess::GetAppTitle(),
                        QStringLiteral("既に起動されてます"), QMessageBox::Ok, form);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
    } else {
        DdeSendAnotherMe(form, commandLine);
    }
    if (mode != Mode_SendOnly)
        API_SendPostMSG::PostClose(form);
    return true;
}

void DdeSendAnotherMe(QWidget* form, QString& commandLine) {
    if (!FirstTextBox(form)) {
        Fun_HostProcess::MsgDevErrInfo(form, QStringLiteral("DdeSendAnotherMe"),
                                       QStringLiteral("DDEにつかうﾃｷｽﾄBOXがありません"));
        return;
    }
    if (commandLine.isEmpty())
        commandLine = Fun_HostProcess::CommandArguments();
    QLocalSocket socket;
    socket.connectToServer(FormLinkServerName(form));
    if (!socket.waitForConnected(kLinkTimeoutMs))
        return;
    socket.write(QByteArray(LinkSource::kExecute) + commandLine.toUtf8());
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kLinkTimeoutMs);
}

}  // namespace Fun_AppPrevInstanceOperate
