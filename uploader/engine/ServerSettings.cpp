#include "ServerSettings.h"

#include "API_IniFileAccess.h"
#include "HostKeyFingerprint.h"
#include "ServerCertificate.h"

namespace {

QString ReadKey(const QString& section, const QString& key) {
    QString value;
    API_IniFileAccess::IniRead(section, value, key);
    return value.trimmed();
}

bool WriteKey(const QString& section, const QString& key, const QString& value, QString* error) {
    return API_IniFileAccess::IniWrite(section, value, key, QString(), false, error);
}

}  // namespace

namespace ServerSettings {

Typ_ServerOptions Read(const QString& hostPort) {
    const QString section = ServerOptionKeys::Section(hostPort);
    Typ_ServerOptions options;
    const QString data = ReadKey(section, ServerOptionKeys::kDataConnection);
    if (data.compare(DataConnectionText(DC_Passive), Qt::CaseInsensitive) == 0)
        options.DataConnection = DC_Passive;
    // Every Tls of the server counts, in every section named after it, an empty one too; a file
    // that cannot be read might have held one.
    QStringList tls;
    if (!API_IniFileAccess::IniReadEvery(section, ServerOptionKeys::kTls, &tls))
        options.Tls = TLS_Require;
    for (const QString& value : tls) {
        if (value.trimmed().compare(TlsText(TLS_Off), Qt::CaseInsensitive) != 0)
            options.Tls = TLS_Require;
    }
    options.TrustedCertificate = ServerCertificate::ParseFingerprint(
        ReadKey(section, ServerOptionKeys::kTrustedCertificate));
    options.TrustedHostKey =
        HostKeyFingerprint::Parse(ReadKey(section, ServerOptionKeys::kTrustedHostKey));
    bool number = false;
    const int connections = ReadKey(section, ServerOptionKeys::kConnections).toInt(&number);
    if (number)
        options.Connections = qBound(kMinConnections, connections, kMaxConnections);
    if (ReadKey(section, ServerOptionKeys::kTempUpload)
            .compare(TempUploadText(TU_On), Qt::CaseInsensitive) == 0)
        options.TempUpload = TU_On;
    return options;
}

bool Write(const QString& hostPort, const Typ_ServerOptions& options, QString* error, bool sftp) {
    const QString section = ServerOptionKeys::Section(hostPort);
    if (sftp)
        return WriteKey(section, ServerOptionKeys::kConnections,
                        QString::number(options.Connections), error) &&
               WriteTrustedHostKey(hostPort, options.TrustedHostKey, error);
    return WriteKey(section, ServerOptionKeys::kDataConnection,
                    DataConnectionText(options.DataConnection), error) &&
           WriteKey(section, ServerOptionKeys::kTls, TlsText(options.Tls), error) &&
           WriteKey(section, ServerOptionKeys::kConnections, QString::number(options.Connections),
                    error) &&
           WriteKey(section, ServerOptionKeys::kTempUpload, TempUploadText(options.TempUpload),
                    error) &&
           WriteTrustedCertificate(hostPort, options.TrustedCertificate, error);
}

bool WriteTrustedCertificate(const QString& hostPort, const QByteArray& fingerprint,
                             QString* error) {
    return WriteKey(ServerOptionKeys::Section(hostPort), ServerOptionKeys::kTrustedCertificate,
                    ServerCertificate::FingerprintText(fingerprint), error);
}

bool WriteTrustedHostKey(const QString& hostPort, const QByteArray& fingerprint, QString* error) {
    return WriteKey(ServerOptionKeys::Section(hostPort), ServerOptionKeys::kTrustedHostKey,
                    fingerprint.isEmpty() ? QString() : HostKeyFingerprint::Text(fingerprint),
                    error);
}

QString DataConnectionText(enmDataConnection value) {
    return value == DC_Passive ? QStringLiteral("Passive") : QStringLiteral("Active");
}

QString TlsText(enmTls value) {
    return value == TLS_Require ? QStringLiteral("Require") : QStringLiteral("Off");
}

QString TempUploadText(enmTempUpload value) {
    return value == TU_On ? QStringLiteral("On") : QStringLiteral("Off");
}

}  // namespace ServerSettings
