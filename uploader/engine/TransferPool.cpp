#include "TransferPool.h"

#include <QCoreApplication>

#include "FtpAddress.h"
#include "FtpClient.h"
#include "FtpWorker.h"
#include "Fun_Error_Success.h"
#include "Settings.h"
#include "SftpClient.h"
#include "TransferProgress.h"

namespace {

// Connections of the same kind as the walk's.
RemoteConnectionFactory FactoryFor(const QString& ftpDir) {
    if (IsSftpAddress(ftpDir))
        return [](FtpHost& host) { return std::make_unique<SftpClient>(host); };
    // An FTP connection that only lists and sends names an MLSD folder instead of entering it.
    return [](FtpHost& host) {
        auto client = std::make_unique<FtpClient>(host);
        client->SetListByPath(true);
        return client;
    };
}

}  // namespace

TransferPool::TransferPool(RemoteConnection& walk, int connections,
                           std::function<void(const QString&)> logCommand,
                           std::function<void(const QString&)> logRun, TransferProgress* progress)
    : m_walk(walk),
      m_size(connections),
      m_logCommand(std::move(logCommand)),
      m_logRun(std::move(logRun)),
      m_progress(progress),
      m_keepAliveMs(Settings::KeepAliveSec() * 1000) {
    m_wake.setInterval(m_keepAliveMs);
}

TransferPool::~TransferPool() {
    Close();
}

void TransferPool::Start(int replyTimeoutSec) {
    m_replyTimeoutSec = replyTimeoutSec;
    const Typ_Profile profile = m_walk.udtProfile;
    const Typ_ServerOptions options = m_walk.Options();
    for (int number = 2; number <= m_size; ++number) {
        auto connection = std::make_unique<Connection>();
        connection->number = number;
        connection->worker = new FtpWorker(number, FactoryFor(profile.FtpDir), m_keepAliveMs);
        connection->thread = std::make_unique<QThread>();
        FtpWorker* worker = connection->worker;
        worker->moveToThread(connection->thread.get());
        connect(worker, &FtpWorker::LoggedIn, this, &TransferPool::WorkerLoggedIn);
        connect(worker, &FtpWorker::Sent, this, &TransferPool::WorkerSent);
        connect(worker, &FtpWorker::Listed, this, &TransferPool::WorkerListed);
        connect(worker, &FtpWorker::Closed, this, &TransferPool::WorkerClosed);
        connect(worker, &FtpWorker::CommandLogged, this,
                [this](const QString& line) { m_logCommand(line); });
        connect(worker, &FtpWorker::RunLogged, this,
                [this](const QString& line) { m_logRun(line); });
        connect(worker, &FtpWorker::Progress, this,
                [this](int from, const QString& localPath, qint64 sent, qint64 size) {
                    if (m_progress)
                        m_progress->Moved(from, localPath, sent, size);
                });
        connection->thread->start();
        QMetaObject::invokeMethod(
            worker, [=, this] { worker->LogIn(profile, options, m_replyTimeoutSec); },
            Qt::QueuedConnection);
        m_connections.push_back(std::move(connection));
    }
}

TransferPool::Slot TransferPool::AwaitConnection(bool small) {
    // Files wait for a busy connection, two a connection: one that ends its file takes the next
    // at once, also while the walk sends one itself or makes a folder.
    const auto room = [this] { return Idle() || (!AllGone() && m_waiting.size() < 2 * Live()); };
    // The walk sends a small file itself rather than wait: the files waiting keep the others
    // busy meanwhile. A big one would keep the walk from them for long.
    if (!room() && !small && !AllGone()) {
        m_walkWaiting = true;
        Wait([&] { return room() || AllGone(); }, true);
        m_walkWaiting = false;
    }
    if (Stopping())
        return Slot::Stopped;
    return room() ? Slot::Ready : Slot::Own;
}

void TransferPool::Send(qint64 job, const QString& localPath, const QString& remotePath) {
    m_waiting.push_back({job, localPath, remotePath, 0});
    if (Connection* connection = Idle())
        Employ(*connection);
}

void TransferPool::ListAhead(const QStringList& dirs) {
    for (auto dir = dirs.crbegin(); dir != dirs.crend(); ++dir) {
        if (!m_asked.contains(*dir)) {
            m_asked.insert(*dir);
            m_ahead.push_front(*dir);
        }
    }
    for (const auto& connection : m_connections) {
        if (connection->state == State::Idle)
            Employ(*connection);
    }
}

bool TransferPool::AwaitListing(const QString& dir) {
    const auto queued = std::find(m_ahead.begin(), m_ahead.end(), dir);
    if (queued != m_ahead.end()) {
        m_ahead.erase(queued);
        return false;
    }
    const auto listing = [this, &dir] {
        return std::any_of(m_connections.begin(), m_connections.end(), [&dir](const auto& c) {
            return c->state == State::Listing && c->dir == dir;
        });
    };
    if (!listing())
        return false;
    Wait([&listing] { return !listing(); }, true);
    return !listing();
}

QList<qint64> TransferPool::Drain() {
    if (StoppingAtOnce())
        StopNow();
    // Every file handed over ends with its own reply, or at once when the run stops at once:
    // the wait does not end on a stop.
    Wait([this] { return !AnySending() && (m_waiting.empty() || AllGone() || Stopping()); }, false);
    QList<qint64> orphans;
    for (; !m_waiting.empty(); m_waiting.pop_front()) {
        const Job& job = m_waiting.front();
        if (!Stopping())
            orphans.append(job.id);
        else if (OnSent)
            OnSent(job.id, {false, false, QStringLiteral("stopped"), job.breaks > 0, {}});
    }
    return orphans;
}

void TransferPool::StopNow() {
    m_stoppedNow = true;
    for (const auto& connection : m_connections) {
        FtpWorker* worker = connection->worker;
        QMetaObject::invokeMethod(
            worker, [worker] { worker->StopNow(); }, Qt::QueuedConnection);
    }
}

void TransferPool::Close() {
    if (m_connections.empty())
        return;
    OnSent = nullptr;
    OnListed = nullptr;
    m_closing = true;
    for (const auto& connection : m_connections) {
        FtpWorker* worker = connection->worker;
        QMetaObject::invokeMethod(
            worker, [worker] { worker->Close(); }, Qt::QueuedConnection);
    }
    // Their QUIT lines reach the command log before the threads end.
    Wait([this] { return m_closed == static_cast<int>(m_connections.size()); }, false);
    for (const auto& connection : m_connections) {
        connection->thread->quit();
        connection->thread->wait();
        delete connection->worker;
    }
    m_connections.clear();
}

TransferPool::Connection* TransferPool::Idle() {
    for (const auto& connection : m_connections) {
        if (connection->state == State::Idle)
            return connection.get();
    }
    return nullptr;
}

bool TransferPool::AnySending() const {
    return std::any_of(m_connections.begin(), m_connections.end(),
                       [](const auto& c) { return c->state == State::Sending; });
}

std::size_t TransferPool::Live() const {
    return static_cast<std::size_t>(
        std::count_if(m_connections.begin(), m_connections.end(),
                      [](const auto& c) { return c->state != State::Gone; }));
}

bool TransferPool::AllGone() const {
    return std::all_of(m_connections.begin(), m_connections.end(),
                       [](const auto& c) { return c->state == State::Gone; });
}

bool TransferPool::Stopping() const {
    return m_stoppedNow || m_closing || m_walk.blnAbend || m_walk.blnQuitAfterFile;
}

bool TransferPool::StoppingAtOnce() const {
    return m_stoppedNow || (m_walk.blnAbend && !m_walk.blnQuitAfterFile);
}

void TransferPool::Wait(const std::function<bool()>& done, bool endOnStop) {
    m_walkIdle.start();
    m_wake.start();
    while (!done() && !(endOnStop && Stopping())) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        KeepWalkAlive();
    }
    m_wake.stop();
}

void TransferPool::KeepWalkAlive() {
    if (m_walkIdle.elapsed() < m_keepAliveMs || m_walk.blnAbend || m_closing)
        return;
    m_walk.FtpNoop();
    m_walkIdle.start();
}

void TransferPool::WorkerLoggedIn(int number, bool ok, const QString& reason) {
    Connection& connection = At(number);
    if (!connection.reopened && !m_closing) {
        ++m_firstLogins;
        if (ok)
            ++m_accepted;
        if (m_firstLogins == m_size - 1 && m_accepted < m_size)
            m_logRun(
                QStringLiteral("WARNING - SERVER ACCEPTED ONLY %1 CONNECTIONS").arg(m_accepted));
    }
    if (!ok) {
        if (connection.reopened)
            m_logRun(QStringLiteral("WARNING - CONNECTION NOT REOPENED - [%1]\t").arg(number) +
                     Fun_Error_Success::LogText(reason));
        connection.state = State::Gone;
        return;
    }
    connection.state = State::Idle;
    Employ(connection);
}

void TransferPool::WorkerSent(int number, qint64 id, bool stored, bool broken, bool changed,
                              const QString& reason, const QString& digest) {
    Connection& connection = At(number);
    Job job = connection.job;
    connection.state = State::Idle;
    if (m_progress)
        m_progress->Ended(number);
    if (broken && !m_stoppedNow && !m_closing) {
        Lost(connection, reason);
        // The file goes again, first, on a connection that works; a second break is its own
        // error.
        if (++job.breaks < 2) {
            m_waiting.push_front(job);
            for (const auto& other : m_connections) {
                if (other->state == State::Idle)
                    Employ(*other);
            }
            return;
        }
    }
    if (OnSent)
        OnSent(id, {stored, changed, reason, true, digest});
    if (connection.state == State::Idle)
        Employ(connection);
}

void TransferPool::WorkerListed(int number, const QString& dir, bool ok, bool broken,
                                const RemoteListing& paths) {
    Connection& connection = At(number);
    connection.state = State::Idle;
    connection.dir.clear();
    if (OnListed)
        OnListed(dir, ok, paths);
    if (broken && !m_stoppedNow && !m_closing)
        Lost(connection, QString());
    else
        Employ(connection);
}

void TransferPool::WorkerClosed(int) {
    ++m_closed;
}

void TransferPool::Lost(Connection& connection, const QString& reason) {
    m_logRun(QStringLiteral("WARNING - CONNECTION BROKEN - [%1]\t").arg(connection.number) +
             Fun_Error_Success::LogText(reason));
    if (connection.reopened || Stopping()) {
        connection.state = State::Gone;
        return;
    }
    connection.reopened = true;
    connection.state = State::LoggingIn;
    FtpWorker* worker = connection.worker;
    const Typ_Profile profile = m_walk.udtProfile;
    const Typ_ServerOptions options = m_walk.Options();
    QMetaObject::invokeMethod(
        worker, [=, this] { worker->LogIn(profile, options, m_replyTimeoutSec); },
        Qt::QueuedConnection);
}

void TransferPool::Employ(Connection& connection) {
    if (connection.state != State::Idle || Stopping())
        return;
    if (!m_waiting.empty()) {
        const Job job = m_waiting.front();
        m_waiting.pop_front();
        StartSend(connection, job);
        return;
    }
    // The walk waiting for a connection comes before listings ahead of it.
    if (m_walkWaiting || m_ahead.empty())
        return;
    connection.state = State::Listing;
    connection.dir = m_ahead.front();
    m_ahead.pop_front();
    FtpWorker* worker = connection.worker;
    const QString dir = connection.dir;
    QMetaObject::invokeMethod(
        worker, [worker, dir] { worker->List(dir); }, Qt::QueuedConnection);
}

void TransferPool::StartSend(Connection& connection, const Job& job) {
    connection.state = State::Sending;
    connection.job = job;
    FtpWorker* worker = connection.worker;
    QMetaObject::invokeMethod(
        worker, [worker, job] { worker->Send(job.id, job.localPath, job.remotePath); },
        Qt::QueuedConnection);
}
