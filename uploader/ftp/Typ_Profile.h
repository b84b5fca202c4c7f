#pragma once

#include <QString>

// One synchronisation profile, as built from a list item.
struct Typ_Profile {
    QString LocalBaseDir;  // root of the local tree
    QString FtpDir;        // host[:port], optionally followed by "/" and the remote base path;
                           // "sftp://" before it for an SFTP server
    QString Account;
    QString Passwd;              // plain text, as stored in the profile file
    qint32 AmbiguousSecond = 0;  // tolerance in seconds when comparing file times
};
