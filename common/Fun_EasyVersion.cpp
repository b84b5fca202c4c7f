#include "Fun_EasyVersion.h"

#include <QCoreApplication>
#include <QStringList>

#include "AppTitle.h"
#include "MessageHost.h"

namespace Fun_EasyVersion {

QString VersionText(const QString& byline) {
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral(SKERROWEX_VERSION);
    QStringList parts = version.split(u'.');
    QStringList numbers;
    for (int i = 0; i < 3; ++i)
        numbers.append(QString::number(i < parts.size() ? parts.at(i).toInt() : 0));
    return AppTitle::Title() + QStringLiteral(" v") + numbers.join(u'.') +
           QStringLiteral("\r\n\r\nby ") + byline;
}

void EasyVersion(MessageHost& host, const QString& byline) {
    host.ShowMessage(VersionText(byline), MsgIcon::Information, MsgButtons::Ok,
                     QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
}

}  // namespace Fun_EasyVersion
