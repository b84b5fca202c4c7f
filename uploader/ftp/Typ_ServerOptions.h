#pragma once

#include <QByteArray>
#include <QString>

// How one server (host:port) is reached. The options belong to the server, not to a profile:
// every profile that names the server shares them. The defaults are the plain behaviour: the
// server connects to us for each transfer, and nothing is encrypted.
enum enmDataConnection { DC_Active, DC_Passive };
enum enmTls { TLS_Off, TLS_Require };
enum enmTempUpload { TU_Off, TU_On };

struct Typ_ServerOptions {
    enmDataConnection DataConnection = DC_Active;
    enmTls Tls = TLS_Off;
    // SHA-256 digest (32 bytes) of the certificate the user chose to trust although it does not
    // verify; empty when none.
    QByteArray TrustedCertificate;
    // Connections a run opens to the server: one walks the tree, the others send files at the
    // same time (kMinConnections to kMaxConnections).
    int Connections = 1;
    // On: each file is stored under a part name in its folder and renamed to its own once the
    // server has all of it, so that nobody ever fetches half a file under its real name.
    enmTempUpload TempUpload = TU_Off;
    // SFTP: SHA-256 digest (32 bytes) of the host key the user chose to trust although no
    // known_hosts file knows it; empty when none.
    QByteArray TrustedHostKey{};
};

constexpr int kMinConnections = 1;
constexpr int kMaxConnections = 16;

// The settings file section of a server and its keys.
namespace ServerOptionKeys {
inline QString Section(const QString& hostPort) {
    return QStringLiteral("Server_") + hostPort;
}
inline const QString kDataConnection = QStringLiteral("DataConnection");
inline const QString kTls = QStringLiteral("Tls");
inline const QString kTrustedCertificate = QStringLiteral("TrustedCertificate");
inline const QString kTrustedHostKey = QStringLiteral("TrustedHostKey");
inline const QString kConnections = QStringLiteral("Connections");
inline const QString kTempUpload = QStringLiteral("TempUpload");
}  // namespace ServerOptionKeys
