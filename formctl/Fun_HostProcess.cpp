#include "Fun_HostProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>

#include "API_SendPostMSG.h"

namespace Fun_HostProcess {

bool IsRuntime(const QString& executablePath) {
    return !QFileInfo(executablePath)
                .fileName()
                .startsWith(QStringLiteral("designer"), Qt::CaseInsensitive);
}

bool IsRuntime() {
    return IsRuntime(QCoreApplication::applicationFilePath());
}

QString GetAppTitle() {
    return QGuiApplication::applicationDisplayName();
}

QStringList ProcessArguments() {
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (!file.open(QIODevice::ReadOnly))
        return QCoreApplication::arguments();
    QByteArray data = file.readAll();
    if (data.endsWith('\0'))
        data.chop(1);
    QStringList arguments;
    for (const QByteArray& argument : data.split('\0'))
        arguments.append(QString::fromLocal8Bit(argument));
    return arguments;
}

QString JoinCommandLine(const QStringList& arguments) {
    QStringList parts;
    for (const QString& argument : arguments) {
        const bool quote =
            argument.isEmpty() || argument.contains(u' ') || argument.contains(u'\t');
        parts.append(quote ? u'"' + argument + u'"' : argument);
    }
    return parts.join(u' ');
}

// Only the quotes around the program path go: a quoted program followed by arguments keeps every
// character of the arguments.
QString FormulateCmdLine(const QString& commandLine) {
    const QString text = commandLine.trimmed();
    if (!text.startsWith(u'"'))
        return text;
    const qsizetype close = text.indexOf(u'"', 1);
    if (close < 0)
        return text.mid(1);
    return text.mid(1, close - 1) + text.mid(close + 1);
}

QString CommandArguments() {
    return JoinCommandLine(ProcessArguments().mid(1));
}

void MsgDevErrInfo(QWidget* form, const QString& module, const QString& context) {
    if (IsRuntime())
        return;
    const QString crlf = QStringLiteral("\r\n");
    const QString text = QStringLiteral("設定不足ですが、処理を継続しますか？") + crlf + crlf +
                         QStringLiteral("Module : ") + module + crlf +
                         QStringLiteral("Context : ") + context;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("MsgDevErrInfo"), text,
                    QMessageBox::Yes | QMessageBox::No, form);
    if (box.exec() == QMessageBox::No && form)
        API_SendPostMSG::PostClose(form);
}

}  // namespace Fun_HostProcess
