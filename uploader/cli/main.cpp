// skerrowex-run: runs the ticked profiles of SkerrowEx's profile file without a window, for cron
// and for tests. Exit status 0 when the run log ends with "END (", 1 otherwise.
#include <algorithm>
#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include "ConsoleHost.h"
#include "Fun_Error_Success.h"
#include "ProfileFile.h"
#include "RunDriver.h"
#include "Settings.h"
#include "TextFile.h"
#include "UnixSignalNotifier.h"

namespace {

QVector<ConsoleHost::Item> LoadItems() {
    QList<ProfileRow> rows;
    if (ProfileFile::Load(ProfileFile::DefaultPath(), &rows) == ProfileFile::LoadResult::Unreadable)
        std::fputs("SkerrowEx: the profile file cannot be read\n", stderr);
    QVector<ConsoleHost::Item> items;
    for (const ProfileRow& row : rows)
        items.append({row.Checked, ProfileFile::ProfileFromRow(row)});
    return items;
}

// "2026/12/07 9:05:07 END (3 copies)": the item after the date and the time.
bool RunLogEndsNormally() {
    QStringList lines;
    if (!TextFile::ReadLines(Fun_Error_Success::GetLogPath(), &lines))
        return false;
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return !lines.isEmpty() &&
           lines.last().section(QLatin1Char(' '), 2).startsWith(QStringLiteral("END ("));
}

int Usage() {
    std::fputs("usage: skerrowex-run [--investigate]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("SkerrowEx"));
    bool investigate = false;
    for (const QString& arg : QCoreApplication::arguments().mid(1)) {
        if (arg != QStringLiteral("--investigate"))
            return Usage();
        investigate = true;
    }
    if (!Settings::ApplyCodePage())
        std::fputs("SkerrowEx: the code page of the settings is unknown; the locale's is used\n",
                   stderr);

    const QVector<ConsoleHost::Item> items = LoadItems();
    if (std::none_of(items.begin(), items.end(), [](const auto& item) { return item.checked; })) {
        std::fputs("SkerrowEx: no profile is ticked; nothing to run\n", stderr);
        return 1;
    }
    ConsoleHost host(items, investigate, Settings::Read(QStringLiteral("ConvNameTable")));
    RunDriver driver(host);

    // The first Ctrl-C stops after the current file, the next one (or a SIGTERM) at once.
    UnixSignalNotifier interrupts({SIGINT, SIGTERM});
    int count = 0;
    QObject::connect(&interrupts, &UnixSignalNotifier::Raised, [&](int signo) {
        if (signo == SIGINT && count++ == 0) {
            std::fputs("SkerrowEx: stopping after the current file (Ctrl-C again stops now)\n",
                       stderr);
            driver.StopAfterFile();
        } else {
            driver.StopNow();
        }
    });

    driver.mnuRun_Click();
    std::printf("%s\n", Fun_Error_Success::GetLogPath().toLocal8Bit().constData());
    return RunLogEndsNormally() ? 0 : 1;
}
