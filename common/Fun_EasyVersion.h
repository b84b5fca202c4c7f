#pragma once

#include <QString>

class MessageHost;

// The version box.
namespace Fun_EasyVersion {

// "<title> v<major>.<minor>.<revision>", an empty line and "by <byline>", as information titled
// "ﾊﾞｰｼﾞｮﾝ情報". The version is the application's, else the project's.
void EasyVersion(MessageHost& host, const QString& byline);

// The text that EasyVersion shows.
QString VersionText(const QString& byline);

}  // namespace Fun_EasyVersion
