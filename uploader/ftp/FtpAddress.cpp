#include "FtpAddress.h"

namespace {

const QString kFtpScheme = QStringLiteral("ftp://");
const QString kSftpScheme = QStringLiteral("sftp://");

bool ParsePort(const QString& text, quint16* port) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < 1 || value > 65535)
        return false;
    *port = static_cast<quint16>(value);
    return true;
}

// "host", "host:port", "[v6]", "[v6]:port"; an IPv6 address without brackets takes no port.
bool ParseHostPart(const QString& part, QString* host, quint16* port) {
    if (part.startsWith(QLatin1Char('['))) {
        const qsizetype close = part.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        *host = part.mid(1, close - 1);
        const QString rest = part.mid(close + 1);
        if (rest.isEmpty())
            return !host->isEmpty();
        return rest.startsWith(QLatin1Char(':')) && ParsePort(rest.mid(1), port) &&
               !host->isEmpty();
    }
    if (part.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = part.indexOf(QLatin1Char(':'));
        *host = part.left(colon);
        return ParsePort(part.mid(colon + 1), port) && !host->isEmpty();
    }
    *host = part;
    return !host->isEmpty();
}

}  // namespace

QString FtpAddress::HostPort() const {
    const QString shown = Host.contains(QLatin1Char(':')) ? u'[' + Host + u']' : Host;
    return shown + u':' + QString::number(Port);
}

bool ParseFtpAddress(const QString& ftpDir, FtpAddress* address) {
    address->Sftp = IsSftpAddress(ftpDir);
    address->Port = address->Sftp ? 22 : 21;
    const QString rest = address->Sftp ? ftpDir.mid(kSftpScheme.size()) : ftpDir;
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    address->RemoteBase = slash < 0 ? QStringLiteral("/") : rest.mid(slash);
    return ParseHostPart(slash < 0 ? rest : rest.left(slash), &address->Host, &address->Port);
}

bool IsSftpAddress(const QString& ftpDir) {
    return ftpDir.startsWith(kSftpScheme, Qt::CaseInsensitive);
}

QString AddressColumnText(const QString& ftpDir) {
    return IsSftpAddress(ftpDir) ? kSftpScheme + ftpDir.mid(kSftpScheme.size())
                                 : kFtpScheme + ftpDir;
}

QString FtpDirOfColumn(const QString& column) {
    return IsSftpAddress(column) ? column : column.mid(kFtpScheme.size());
}
