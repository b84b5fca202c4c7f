#pragma once

#include <QString>

// The parts of a profile's FTP address: host[:port] or [v6addr][:port], optionally followed by
// "/" and the remote base path. An address that begins with "sftp://" (any letter case) names an
// SFTP server, whose port is 22 unless given.
struct FtpAddress {
    QString Host;  // without brackets
    quint16 Port = 21;
    QString RemoteBase;  // from the first "/" on, or "/" when there is none
    bool Sftp = false;
    // "host:port" as the run log shows it; an IPv6 host keeps its brackets.
    QString HostPort() const;
};

// False when the host is empty or the port is not a number from 1 to 65535.
bool ParseFtpAddress(const QString& ftpDir, FtpAddress* address);

// The address names an SFTP server.
bool IsSftpAddress(const QString& ftpDir);

// The list's address column holds "ftp://" + the address, or an SFTP address as it is (the
// scheme in lower case); and back.
QString AddressColumnText(const QString& ftpDir);
QString FtpDirOfColumn(const QString& column);
