#pragma once

#include <QByteArray>
#include <QString>

#include "Typ_ServerOptions.h"

// What the FTP and SFTP clients need of the program around it: the two logs, the error box, the
// investigate mode switch and the options of each server. The engine implements it; tests script
// it.
class FtpHost {
public:
    virtual ~FtpHost() = default;
    // One line of the command log.
    virtual void Logging(const QString& line) = 0;
    // One line of the run log ("SUCCESS - FTP CONNECTION - host:port").
    virtual void WriteLog(const QString& line) = 0;
    // Exclamation box with OK and the application title: socket errors and refused TLS.
    virtual void ShowSocketError(const QString& text) = 0;
    // mnuSeek is ticked: FtpPutFile sends nothing and reports success.
    virtual bool InvestigateMode() = 0;
    // The file being sent: how many of its bytes the system has taken, 0 as its transfer starts,
    // then at most a few times a second and once all have gone.
    virtual void UploadProgress(const QString& localPath, qint64 sent, qint64 size) {
        Q_UNUSED(localPath);
        Q_UNUSED(sent);
        Q_UNUSED(size);
    }
    // The transfer UploadProgress told of is over, whatever came of it.
    virtual void UploadEnded() {}
    // How the server host:port is reached. A host that keeps no options: the defaults.
    virtual Typ_ServerOptions ServerOptions(const QString& hostPort) {
        Q_UNUSED(hostPort);
        return {};
    }
    // Asks whether to trust a server certificate that does not verify; the question describes
    // it. Yes keeps the fingerprint (SHA-256) as the server's trusted certificate and returns
    // true. A host nobody answers for says no.
    virtual bool TrustCertificate(const QString& hostPort, const QByteArray& fingerprint,
                                  const QString& question) {
        Q_UNUSED(hostPort);
        Q_UNUSED(fingerprint);
        Q_UNUSED(question);
        return false;
    }
    // The same for an SSH server's host key that no known_hosts file holds: Yes keeps the
    // key's SHA-256 digest as the server's trusted host key.
    virtual bool TrustHostKey(const QString& hostPort, const QByteArray& fingerprint,
                              const QString& question) {
        Q_UNUSED(hostPort);
        Q_UNUSED(fingerprint);
        Q_UNUSED(question);
        return false;
    }
};
