// skerrowex-run: runs the ticked profiles of SkerrowEx's profile file (or the ones named with
// --profile) without a window, for cron and for tests. The exit status tells how this run ended.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QStringList>

#include "AppFiles.h"
#include "ConsoleHost.h"
#include "ConvTable.h"
#include "Fun_Error_Success.h"
#include "ProfileFile.h"
#include "RunDriver.h"
#include "RunLock.h"
#include "Settings.h"
#include "TextFile.h"
#include "UnixSignalNotifier.h"
#include "UploadLedger.h"

namespace {

enum ExitStatus { Exit_Ended = 0, Exit_NotEnded = 1, Exit_Usage = 2, Exit_EndedWithErrors = 3 };

const QString kUsage = QStringLiteral(
    "usage: skerrowex-run [--investigate | --dry-run] [--progress | --quiet] [--profile N]...\n"
    "       skerrowex-run --list | --help | --version\n");

struct Options {
    bool investigate = false;
    bool dryRun = false;
    bool progress = false;
    bool quiet = false;
    bool list = false;
    bool help = false;
    bool version = false;
    QList<int> profiles;  // list positions from 1; empty: the ticked profiles
};

void Print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

bool ParseOptions(const QStringList& args, Options* options, QString* error) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--investigate")) {
            options->investigate = true;
        } else if (arg == QLatin1String("--dry-run")) {
            options->dryRun = true;
        } else if (arg == QLatin1String("--progress")) {
            options->progress = true;
        } else if (arg == QLatin1String("--quiet")) {
            options->quiet = true;
        } else if (arg == QLatin1String("--list")) {
            options->list = true;
        } else if (arg == QLatin1String("--help")) {
            options->help = true;
        } else if (arg == QLatin1String("--version")) {
            options->version = true;
        } else if (arg == QLatin1String("--profile")) {
            bool ok = false;
            const int n = i + 1 < args.size() ? args.at(++i).toInt(&ok) : 0;
            if (!ok || n < 1) {
                *error = QStringLiteral("--profile takes a list position from 1");
                return false;
            }
            options->profiles.append(n);
        } else {
            *error = QStringLiteral("unknown option: ") + arg;
            return false;
        }
    }
    if (options->progress && options->quiet) {
        *error = QStringLiteral("--progress and --quiet exclude each other");
        return false;
    }
    if (options->investigate && options->dryRun) {
        *error = QStringLiteral("--investigate records and --dry-run changes nothing: choose one");
        return false;
    }
    return true;
}

QString Help() {
    const auto file = [](const QString& path, const char* what) {
        return QStringLiteral("  %1\n      %2\n").arg(path, QString::fromUtf8(what));
    };
    return kUsage +
           QStringLiteral(
               "\nRuns SkerrowEx's profiles without a window: for each one it logs in, makes "
               "missing\nremote folders and uploads every file that is new or changed since its "
               "last upload.\n\n"
               "  --investigate  record the files a run would send as sent, without sending "
               "them\n"
               "  --dry-run      print each folder a run would make and each file it would send,\n"
               "                 with the reason (new, changed, missing on the server), and the\n"
               "                 numbers; nothing is made, sent or recorded\n"
               "  --profile N    run the profile at list position N (1 is the first), ticked or "
               "not;\n"
               "                 may be given more than once; without it the ticked profiles "
               "run\n"
               "  --list         show the profiles with their positions (never a password)\n"
               "  --progress     keep a status line with the file being sent, its per cent and "
               "rate,\n"
               "                 as on a terminal, also into a pipe or a file\n"
               "  --quiet        print errors only (a profile that counted errors, a failure)\n"
               "  --help         show this help\n"
               "  --version      show the version\n\n"
               "Files:\n") +
           file(ProfileFile::DefaultPath(), "profiles (the window's list)") +
           file(AppFiles::AppFilePath(QStringLiteral(".ini")),
                "settings: ConvNameTable, CodePage, ReplyTimeoutSec, FollowLinksOutside,\n"
                "      CompareContent") +
           file(UploadLedger::LedgerPath(), "upload ledger") +
           file(Fun_Error_Success::GetLogPath(),
                "run log of the last run (its path is printed when a run wrote it); the runs "
                "before\n      as .1, .2 ... up to KeepRunLogs (default 5)") +
           file(Fun_Error_Success::GetLogPath() + QStringLiteral(".sys.log"),
                "command log of the last run, the earlier ones numbered alike") +
           file(Fun_Error_Success::GetPreviewLogPath(),
                "what the last --dry-run printed, with its command log beside it (.sys.log)") +
           file(ConvTable::RequireConvPath(),
                "names of the last run that need a conversion table row") +
           file(RunLock::LockPath(), "held while a run goes on (one run at a time)") +
           QStringLiteral(
               "\nOn stderr: a line as each profile starts and a summary as it ends; on a "
               "terminal\n(or with --progress) also one status line, rewritten in place.\n"
               "The first Ctrl-C stops after the current file, a second one (or SIGTERM, "
               "SIGHUP) at once.\n\n"
               "Exit status:\n"
               "  0  the run ended normally and counted no error\n"
               "  3  the run ended normally but counted errors (see the run log)\n"
               "  1  the run did not end normally: a connection failed or broke, it was "
               "stopped,\n"
               "     the ledger, the settings or the run log cannot be used, a local folder is\n"
               "     missing, another run is going on, or there was no profile to run\n"
               "  2  wrong usage\n");
}

// The profiles of the file, ticked as the options say. False, with the reason, when --profile
// names a position the file does not hold.
bool LoadItems(const Options& options, QVector<ConsoleHost::Item>* items, QString* error) {
    QList<ProfileRow> rows;
    QList<QByteArray> kept;
    if (ProfileFile::Load(ProfileFile::DefaultPath(), &rows, nullptr, &kept) ==
        ProfileFile::LoadResult::Unreadable)
        Print(stderr, QStringLiteral("SkerrowEx: the profile file cannot be read\n"));
    if (!kept.isEmpty())
        Print(stderr, QStringLiteral("SkerrowEx: %1 line(s) of the profile file hold no profile\n")
                          .arg(kept.size()));
    for (const int n : options.profiles) {
        if (n > rows.size()) {
            *error = QStringLiteral("there is no profile %1 in %2 (it holds %3)")
                         .arg(n)
                         .arg(ProfileFile::DefaultPath())
                         .arg(rows.size());
            return false;
        }
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const bool run =
            options.profiles.isEmpty() ? rows.at(i).Checked : options.profiles.contains(int(i + 1));
        items->append({run, ProfileFile::ProfileFromRow(rows.at(i))});
    }
    return true;
}

// The profiles with the positions --profile takes, ticked or not; never a password.
QString ProfileList(const QVector<ConsoleHost::Item>& items) {
    const int width = static_cast<int>(QString::number(items.size()).size());
    QString text;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Typ_Profile& profile = items.at(i).profile;
        text += QStringLiteral("%1 %2 %3 -> ftp://%4 (%5)\n")
                    .arg(i + 1, width)
                    .arg(items.at(i).checked ? QStringLiteral("[x]") : QStringLiteral("[ ]"))
                    .arg(profile.LocalBaseDir, profile.FtpDir, profile.Account);
    }
    return text;
}

ConsoleHost::Output OutputOf(const Options& options) {
    if (options.quiet)
        return ConsoleHost::Output::Quiet;
    return options.progress || ::isatty(STDERR_FILENO) ? ConsoleHost::Output::Terminal
                                                       : ConsoleHost::Output::Lines;
}

bool WroteLog(RunOutcome outcome) {
    return outcome == RunOutcome::ConnectionFailed || outcome == RunOutcome::Stopped ||
           outcome == RunOutcome::Ended || outcome == RunOutcome::EndedWithErrors;
}

// The preview's log without its timestamps: a line for each folder it would make and each file
// it would send, its errors and its numbers.
void PrintPreview() {
    QStringList lines;
    TextFile::ReadLines(Fun_Error_Success::GetPreviewLogPath(), &lines);
    for (const QString& line : lines)
        Print(stdout, line.section(QLatin1Char(' '), 2) + u'\n');
}

int ExitStatusOf(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Ended:
            return Exit_Ended;
        case RunOutcome::EndedWithErrors:
            return Exit_EndedWithErrors;
        default:
            return Exit_NotEnded;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("SkerrowEx"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SKERROWEX_VERSION));
    Options options;
    QString error;
    if (!ParseOptions(QCoreApplication::arguments().mid(1), &options, &error)) {
        Print(stderr, QStringLiteral("skerrowex-run: ") + error + u'\n' + kUsage);
        return Exit_Usage;
    }
    if (options.help) {
        Print(stdout, Help());
        return Exit_Ended;
    }
    if (options.version) {
        Print(stdout, QStringLiteral("skerrowex-run (SkerrowEx) %1\n")
                          .arg(QCoreApplication::applicationVersion()));
        return Exit_Ended;
    }
    if (!Settings::ApplyCodePage())
        Print(stderr,
              QStringLiteral(
                  "SkerrowEx: the code page of the settings is unknown; the locale's is used\n"));

    QVector<ConsoleHost::Item> items;
    if (!LoadItems(options, &items, &error)) {
        Print(stderr, QStringLiteral("skerrowex-run: ") + error + u'\n');
        return Exit_Usage;
    }
    if (options.list) {
        Print(stdout, ProfileList(items));
        return Exit_Ended;
    }
    if (std::none_of(items.begin(), items.end(), [](const auto& item) { return item.checked; })) {
        Print(stderr, QStringLiteral("SkerrowEx: No profile is ticked in %1; nothing to run\n")
                          .arg(ProfileFile::DefaultPath()));
        return Exit_NotEnded;
    }
    ConsoleHost host(items, options.investigate, Settings::Read(QStringLiteral("ConvNameTable")),
                     OutputOf(options));
    RunDriver driver(host);

    // The first Ctrl-C stops after the current file, the next one (or a SIGTERM, or the hang-up
    // of the terminal) at once.
    UnixSignalNotifier interrupts({SIGINT, SIGTERM, SIGHUP});
    int count = 0;
    QObject::connect(&interrupts, &UnixSignalNotifier::Raised, [&](int signo) {
        if (signo == SIGINT && count++ == 0) {
            host.Tell(QStringLiteral(
                "SkerrowEx: stopping after the current file (Ctrl-C again stops now)"));
            driver.StopAfterFile();
        } else {
            driver.StopNow();
        }
    });

    if (options.dryRun) {
        driver.mnuPreview_Click();
        if (WroteLog(driver.Outcome()))
            PrintPreview();
    } else {
        driver.mnuRun_Click();
        // Quiet, only a run that did not end cleanly names its log.
        if (WroteLog(driver.Outcome()) && (!options.quiet || driver.Outcome() != RunOutcome::Ended))
            Print(stdout, Fun_Error_Success::GetLogPath() + u'\n');
    }
    return ExitStatusOf(driver.Outcome());
}
