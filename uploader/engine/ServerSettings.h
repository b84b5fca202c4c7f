#pragma once

#include <QByteArray>
#include <QString>

#include "Typ_ServerOptions.h"

// The connection options of each server, in section "Server_" + host:port of the settings file:
// DataConnection (Active|Passive), Tls (Off|Require), TrustedCertificate (a SHA-256 fingerprint
// in hex), Connections (1 to 16) and TempUpload (Off|On); for an SFTP server, TrustedHostKey
// ("SHA256:" and base64, as ssh-keygen -l prints it) and Connections. Names and values match
// case-blind.
namespace ServerSettings {

// The options kept for host:port. A missing key reads as its default (active, no TLS, no
// certificate, one connection). A Tls value other than Off, an empty one included, reads as
// Require: a typing slip never sends a password in clear text. So does a Require in any section
// of the server (a file may name it twice), and a settings file that cannot be read. A
// fingerprint that is not 64 hex digits reads as none. A number of connections outside 1 to 16
// reads as the nearest of them, one that is no number as 1. TempUpload is on only when it says On.
Typ_ServerOptions Read(const QString& hostPort);

// Writes the five keys of the server, or for an SFTP server its two; false with the reason in
// error when the file could not be written (empty for a read-only file, whose warning has been
// shown).
bool Write(const QString& hostPort, const Typ_ServerOptions& options, QString* error = nullptr,
           bool sftp = false);

// Writes the trusted certificate's fingerprint alone.
bool WriteTrustedCertificate(const QString& hostPort, const QByteArray& fingerprint,
                             QString* error = nullptr);
// Writes the trusted host key's fingerprint alone.
bool WriteTrustedHostKey(const QString& hostPort, const QByteArray& fingerprint,
                         QString* error = nullptr);

// The values as written to the file.
QString DataConnectionText(enmDataConnection value);
QString TlsText(enmTls value);
QString TempUploadText(enmTempUpload value);

}  // namespace ServerSettings
