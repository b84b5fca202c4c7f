#include "Settings.h"

#include "API_IniFileAccess.h"
#include "CodePage.h"

namespace {
constexpr int kDefaultReplyTimeoutSec = 60;
// A day: far beyond any server's patience, and small enough for the millisecond timer.
constexpr int kMaxReplyTimeoutSec = 24 * 60 * 60;
// Well inside the idle limits servers set (vsftpd 300 s, proftpd 600 s).
constexpr int kDefaultKeepAliveSec = 30;
constexpr int kDefaultKeepRunLogs = 5;
constexpr int kMaxKeepRunLogs = 99;
}  // namespace

namespace Settings {

QString Read(const QString& key) {
    QString value;
    API_IniFileAccess::IniRead(QStringLiteral("Setting"), value, key);
    return value;
}

namespace {

// A key of seconds: its default when missing, not a number or not positive, at most a day.
int Seconds(const QString& key, int defaultSeconds) {
    bool ok = false;
    const qint64 seconds = Read(key).trimmed().toLongLong(&ok);
    if (!ok || seconds <= 0)
        return defaultSeconds;
    return int(qMin<qint64>(seconds, kMaxReplyTimeoutSec));
}

}  // namespace

int ReplyTimeoutSec() {
    return Seconds(QStringLiteral("ReplyTimeoutSec"), kDefaultReplyTimeoutSec);
}

int KeepAliveSec() {
    return Seconds(QStringLiteral("KeepAliveSec"), kDefaultKeepAliveSec);
}

int KeepRunLogs() {
    bool ok = false;
    const int keep = Read(QStringLiteral("KeepRunLogs")).trimmed().toInt(&ok);
    if (!ok || keep < 0)
        return kDefaultKeepRunLogs;
    return qMin(keep, kMaxKeepRunLogs);
}

bool FollowLinksOutside() {
    return Read(QStringLiteral("FollowLinksOutside")).trimmed() == QLatin1String("1");
}

bool CompareContent() {
    return Read(QStringLiteral("CompareContent")).trimmed() != QLatin1String("0");
}

bool ApplyCodePage() {
    return CodePage::SetOverride(Read(QStringLiteral("CodePage")));
}

}  // namespace Settings
