#pragma once

#include <QString>

// The parts of a profile's FTP address: host[:port] or [v6addr][:port], optionally followed by
// "/" and the remote base path.
struct FtpAddress {
    QString Host;  // without brackets
    quint16 Port = 21;
    QString RemoteBase;  // from the first "/" on, or "/" when there is none
    // "host:port" as the run log shows it; an IPv6 host keeps its brackets.
    QString HostPort() const;
};

// False when the host is empty or the port is not a number from 1 to 65535.
bool ParseFtpAddress(const QString& ftpDir, FtpAddress* address);
