#include "Settings.h"

#include "API_IniFileAccess.h"
#include "CodePage.h"

namespace {
constexpr int kDefaultReplyTimeoutSec = 60;
}

namespace Settings {

QString Read(const QString& key) {
    QString value;
    API_IniFileAccess::IniRead(QStringLiteral("Setting"), value, key);
    return value;
}

int ReplyTimeoutSec() {
    bool ok = false;
    const int seconds = Read(QStringLiteral("ReplyTimeoutSec")).trimmed().toInt(&ok);
    return ok && seconds > 0 ? seconds : kDefaultReplyTimeoutSec;
}

bool ApplyCodePage() {
    return CodePage::SetOverride(Read(QStringLiteral("CodePage")));
}

}  // namespace Settings
