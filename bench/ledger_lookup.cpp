// Ledger lookups must not slow down as the ledger grows: times GetPutFileDate over every row of
// a 1,000-row ledger and of a 100,000-row one, and prints the ratio (at most 2 is wanted).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>

#include "UploadLedger.h"

namespace {

QString LocalPath(int n) {
    return QStringLiteral("/home/user/site/dir%1/ファイル %2.txt")
        .arg(n / 100, 4, 10, QLatin1Char('0'))
        .arg(n, 6, 10, QLatin1Char('0'));
}

const QString kTarget = QStringLiteral("ftp.example.com:21/www");

// Rows as RecordPutFile writes them, many per transaction so that setting up stays quick.
bool AddRows(clsAdoJet& db, int from, int to) {
    const QString date = UploadLedger::StoredTimeText({QDateTime::currentSecsSinceEpoch(), 0});
    const QString recorded =
        UploadLedger::StoredTimeText({QDateTime::currentSecsSinceEpoch() + 1, 0});
    if (!db.Execute(QStringLiteral("BEGIN"), nullptr))
        return false;
    for (int n = from; n < to; ++n) {
        if (!db.Execute(QStringLiteral(
                            "insert into T_PUT_FILE(i_id_file, c_local_file_name, "
                            "dt_local_file_date, c_remote_file_name, c_target, "
                            "i_local_file_size, dt_recorded) values(?1, ?2, ?3, ?4, ?5, ?6, ?7)"),
                        {qint64(n + 1), LocalPath(n), date, QStringLiteral("/www/%1").arg(n),
                         kTarget, qint64(n), recorded},
                        nullptr))
            return false;
    }
    return db.Execute(QStringLiteral("COMMIT"), nullptr);
}

// Microseconds per lookup over all rows in random order; the best of three passes.
double MicrosPerLookup(clsAdoJet& db, int rows) {
    QStringList paths;
    for (int n = 0; n < rows; ++n)
        paths << LocalPath(n);
    std::shuffle(paths.begin(), paths.end(), std::mt19937(42));
    double best = 0;
    for (int pass = 0; pass < 3; ++pass) {
        const auto start = std::chrono::steady_clock::now();
        for (const QString& path : paths) {
            UploadLedger::PutRecord t;
            if (!UploadLedger::GetPutFileDate(db, {path, kTarget}, &t))
                return -1;
        }
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - start;
        const double each = took.count() / rows;
        best = pass == 0 ? each : std::min(best, each);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    clsAdoJet db;
    if (!db.Connect(dir.filePath(QStringLiteral("SkerrowEx.db")), clsAdoJet::JetProvider()) ||
        !AddRows(db, 0, 1000)) {
        std::fprintf(stderr, "cannot set up the ledger\n");
        return 2;
    }
    const double small = MicrosPerLookup(db, 1000);
    if (!AddRows(db, 1000, 100'000)) {
        std::fprintf(stderr, "cannot grow the ledger\n");
        return 2;
    }
    const double large = MicrosPerLookup(db, 100'000);
    if (small <= 0 || large <= 0) {
        std::fprintf(stderr, "a recorded path was not found\n");
        return 2;
    }
    const double ratio = large / small;
    std::printf("lookup at   1,000 rows: %.2f us\n", small);
    std::printf("lookup at 100,000 rows: %.2f us\n", large);
    std::printf("ratio: %.2f (at most 2 wanted) %s\n", ratio, ratio <= 2.0 ? "OK" : "TOO SLOW");
    return ratio <= 2.0 ? 0 : 1;
}
