#pragma once

#include <QString>

// The skerrowex-run a benchmark starts: this build's, or the one SKERROWEX_RUN names (a copy kept
// aside, so the build can go on while a long benchmark runs).
inline QString RunnerPath() {
    return qEnvironmentVariable("SKERROWEX_RUN", QStringLiteral(SKERROWEX_RUN_PATH));
}
