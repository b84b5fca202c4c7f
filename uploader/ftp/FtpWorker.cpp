#include "FtpWorker.h"

#include "ServerText.h"

namespace {

const QString kConnectionLine = QStringLiteral("SUCCESS - FTP CONNECTION - ");

}  // namespace

FtpWorker::FtpWorker(int number, RemoteConnectionFactory make, int keepAliveMs)
    : m_number(number),
      m_prefix(QStringLiteral("[%1] ").arg(number)),
      m_make(std::move(make)),
      m_keepAlive(this) {
    m_keepAlive.setInterval(keepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, &FtpWorker::KeepAlive);
}

FtpWorker::~FtpWorker() = default;

void FtpWorker::LogIn(const Typ_Profile& profile, const Typ_ServerOptions& options,
                      int replyTimeoutSec) {
    m_options = options;
    m_socketError.clear();
    m_client = m_make(static_cast<FtpHost&>(*this));
    m_client->SetReplyTimeoutSec(replyTimeoutSec);
    m_busy = true;
    const bool ok = !m_stopped && m_client->FtpLogin(profile);
    m_busy = false;
    if (ok)
        m_keepAlive.start();
    emit LoggedIn(m_number, ok, ok ? QString() : FailureReason());
    CloseIfAsked();
}

void FtpWorker::Send(qint64 job, const QString& localPath, const QString& remotePath) {
    m_busy = true;
    m_socketError.clear();
    const bool stored = !m_stopped && m_client && m_client->FtpPutFile(localPath, remotePath);
    const bool changed = !stored && m_client && m_client->LastPutFileChanged();
    const QString reason = stored ? QString() : FailureReason();
    // A server whose session died may still say why before it closes (vsftpd: "500 OOPS"): a
    // failed file counts as the connection's when the connection does not answer any more.
    const bool broken =
        !stored && !changed && (Broken() || (!m_stopped && m_client && !m_client->FtpNoop()));
    m_busy = false;
    m_keepAlive.start();
    emit Sent(m_number, job, stored, broken, changed, reason,
              stored ? m_client->LastPutDigest() : QString());
    CloseIfAsked();
}

void FtpWorker::List(const QString& dir) {
    m_busy = true;
    m_socketError.clear();
    RemoteListing paths;
    const bool ok = !m_stopped && m_client && m_client->ListRemoteDir(dir, &paths);
    m_busy = false;
    m_keepAlive.start();
    emit Listed(m_number, dir, ok, !ok && Broken(), paths);
    CloseIfAsked();
}

void FtpWorker::StopNow() {
    m_stopped = true;
    if (m_client)
        m_client->blnAbend = true;
}

// Asked for while a login, a transfer or a listing waits (the request arrives inside that wait),
// it ends the wait and closes once the wait has returned: the client is still on the stack.
void FtpWorker::Close() {
    m_closeAsked = true;
    StopNow();
    if (!m_busy)
        CloseIfAsked();
}

void FtpWorker::CloseIfAsked() {
    if (!m_closeAsked)
        return;
    m_closeAsked = false;
    m_keepAlive.stop();
    if (m_client)
        m_client->FtpQuit();
    m_client.reset();
    emit Closed(m_number);
}

void FtpWorker::Logging(const QString& line) {
    emit CommandLogged(m_prefix + line);
}

// The run log names the server once, for the run's first connection.
void FtpWorker::WriteLog(const QString& line) {
    if (!line.startsWith(kConnectionLine))
        emit RunLogged(line);
}

// No box from a connection of a pool: the fault is its own and the run goes on without it.
void FtpWorker::ShowSocketError(const QString& text) {
    m_socketError = ServerText::Printable(text.simplified());
    Logging(m_socketError);
}

void FtpWorker::UploadProgress(const QString& localPath, qint64 sent, qint64 size) {
    emit Progress(m_number, localPath, sent, size);
}

Typ_ServerOptions FtpWorker::ServerOptions(const QString&) {
    return m_options;
}

bool FtpWorker::Broken() const {
    return !m_stopped && m_client &&
           (!m_client->FaultReason().isEmpty() || !m_socketError.isEmpty() ||
            !m_client->Connected());
}

QString FtpWorker::FailureReason() const {
    if (m_stopped)
        return QStringLiteral("stopped");
    if (!m_client)
        return QString();
    if (!m_client->FaultReason().isEmpty())
        return m_client->FaultReason();
    if (!m_socketError.isEmpty())
        return m_socketError;
    if (!m_client->LastPutFailure().isEmpty())
        return m_client->LastPutFailure();
    return ServerText::Printable(m_client->strLastReply.simplified());
}

void FtpWorker::KeepAlive() {
    if (m_busy || m_stopped || !m_client)
        return;
    m_busy = true;
    m_client->FtpNoop();
    m_busy = false;
}
