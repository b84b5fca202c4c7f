#pragma once

#include <QStringList>

#include "FtpHost.h"

// Records what the FTP client hands its host.
class FakeFtpHost : public FtpHost {
public:
    void Logging(const QString& line) override { commandLog.append(line); }
    void WriteLog(const QString& line) override { runLog.append(line); }
    void ShowSocketError(const QString& text) override { socketErrors.append(text); }
    bool InvestigateMode() override { return investigate; }
    Typ_ServerOptions ServerOptions(const QString&) override { return options; }

    QStringList commandLog;
    QStringList runLog;
    QStringList socketErrors;
    bool investigate = false;
    Typ_ServerOptions options;
};
