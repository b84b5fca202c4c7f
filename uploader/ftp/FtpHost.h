#pragma once

#include <QString>

// What the FTP client needs of the program around it: the two logs, the socket error box and the
// investigate mode switch. The engine implements it; tests script it.
class FtpHost {
public:
    virtual ~FtpHost() = default;
    // One line of the command log.
    virtual void Logging(const QString& line) = 0;
    // One line of the run log ("SUCCESS - FTP CONNECTION - host:port").
    virtual void WriteLog(const QString& line) = 0;
    // Exclamation box with OK and the application title.
    virtual void ShowSocketError(const QString& text) = 0;
    // mnuSeek is ticked: FtpPutFile sends nothing and reports success.
    virtual bool InvestigateMode() = 0;
};
