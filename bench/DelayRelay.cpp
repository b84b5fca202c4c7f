#include "DelayRelay.h"

#include <QRegularExpression>

DelayRelay::DelayRelay(quint16 serverPort, int delayMs, bool ftp)
    : m_serverPort(serverPort), m_delayMs(delayMs), m_ftp(ftp) {
    connect(&m_listener, &QTcpServer::newConnection, this,
            [this] { OnConnection(m_listener, m_serverPort, true); });
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setSingleShot(true);
    connect(&m_tick, &QTimer::timeout, this, &DelayRelay::Flush);
    m_clock.start();
}

// A socket that closes as it goes would queue its close on the lanes being destroyed.
DelayRelay::~DelayRelay() {
    for (const auto& pair : m_pairs) {
        pair->client->disconnect(this);
        pair->server->disconnect(this);
    }
}

bool DelayRelay::Listen() {
    return m_listener.listen(QHostAddress::LocalHost, 0);
}

void DelayRelay::OnConnection(QTcpServer& listener, quint16 serverPort, bool control) {
    while (QTcpSocket* accepted = listener.nextPendingConnection()) {
        auto pair = std::make_unique<Pair>();
        pair->client.reset(accepted);
        accepted->setParent(nullptr);
        pair->server = std::make_unique<QTcpSocket>();
        pair->up.to = pair->server.get();
        pair->down.to = pair->client.get();
        pair->opened = m_clock.elapsed();
        pair->control = control;
        Pair& p = *pair;
        for (QTcpSocket* socket : {p.client.get(), p.server.get()})
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(p.client.get(), &QTcpSocket::readyRead, this,
                [this, &p] { Take(p, *p.client, true); });
        connect(p.server.get(), &QTcpSocket::readyRead, this,
                [this, &p] { Take(p, *p.server, false); });
        // A close travels with the same delay as the bytes before it.
        connect(p.client.get(), &QTcpSocket::disconnected, this, [this, &p] {
            Queue(p.up, qMax(m_clock.elapsed(), p.opened + 2 * m_delayMs) + m_delayMs, {});
        });
        connect(p.server.get(), &QTcpSocket::disconnected, this, [this, &p] {
            Queue(p.down, qMax(m_clock.elapsed() + m_delayMs, p.opened + 4 * m_delayMs), {});
        });
        p.server->connectToHost(QHostAddress::LocalHost, serverPort);
        m_pairs.push_back(std::move(pair));
    }
    if (!control)
        listener.close();  // one data connection each
}

// Bytes written before the connection could carry them on a real link wait for its handshake.
void DelayRelay::Take(Pair& pair, QTcpSocket& from, bool up) {
    QByteArray bytes = from.readAll();
    if (!up && pair.control && m_ftp)
        bytes = Rewrite(pair, bytes);
    if (bytes.isEmpty())
        return;
    if (up && pair.serverSpokeLast)
        ++m_roundTrips;
    pair.serverSpokeLast = !up;
    const qint64 now = m_clock.elapsed();
    if (up)
        Queue(pair.up, qMax(now, pair.opened + 2 * m_delayMs) + m_delayMs, bytes);
    else
        Queue(pair.down, qMax(now + m_delayMs, pair.opened + 4 * m_delayMs), bytes);
}

// Whole reply lines only, each passive reply naming a listener of the relay instead.
QByteArray DelayRelay::Rewrite(Pair& pair, const QByteArray& bytes) {
    pair.partialReply += bytes;
    const qsizetype end = pair.partialReply.lastIndexOf('\n');
    if (end < 0)
        return {};
    QByteArray whole;
    for (const QByteArray& line : pair.partialReply.left(end + 1).split('\n')) {
        if (!line.isEmpty())
            whole += RewriteLine(line) + '\n';
    }
    pair.partialReply.remove(0, end + 1);
    return whole;
}

QByteArray DelayRelay::RewriteLine(const QByteArray& line) {
    static const QRegularExpression kEpsv(QStringLiteral("^229 .*\\(\\|\\|\\|(\\d+)\\|\\)"));
    static const QRegularExpression kPasv(
        QStringLiteral("^227 .*?(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
    const QString text = QString::fromLatin1(line);
    if (const auto epsv = kEpsv.match(text); epsv.hasMatch()) {
        const quint16 port = PassiveFor(static_cast<quint16>(epsv.captured(1).toUInt()));
        return QStringLiteral("229 Entering Extended Passive Mode (|||%1|)\r").arg(port).toLatin1();
    }
    if (const auto pasv = kPasv.match(text); pasv.hasMatch()) {
        const auto server =
            static_cast<quint16>(pasv.captured(5).toUInt() * 256 + pasv.captured(6).toUInt());
        const quint16 port = PassiveFor(server);
        return QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2).\r")
            .arg(port / 256)
            .arg(port % 256)
            .toLatin1();
    }
    return line;
}

quint16 DelayRelay::PassiveFor(quint16 serverPort) {
    auto passive = std::make_unique<Passive>();
    passive->listener = std::make_unique<QTcpServer>();
    passive->serverPort = serverPort;
    QTcpServer& listener = *passive->listener;
    if (!listener.listen(QHostAddress::LocalHost, 0))
        return serverPort;
    connect(&listener, &QTcpServer::newConnection, this,
            [this, &listener, serverPort] { OnConnection(listener, serverPort, false); });
    m_passive.push_back(std::move(passive));
    return listener.serverPort();
}

void DelayRelay::Queue(Lane& lane, qint64 due, const QByteArray& bytes) {
    // Later bytes never overtake earlier ones.
    if (!lane.queue.empty())
        due = qMax(due, lane.queue.back().due);
    lane.queue.push_back({due, bytes});
    const qint64 wait = qMax<qint64>(0, due - m_clock.elapsed());
    if (!m_tick.isActive() || m_tick.remainingTime() > wait)
        m_tick.start(static_cast<int>(wait));
}

void DelayRelay::Flush() {
    const qint64 now = m_clock.elapsed();
    qint64 next = -1;
    for (const auto& pair : m_pairs) {
        for (Lane* lane : {&pair->up, &pair->down}) {
            while (!lane->queue.empty() && lane->queue.front().due <= now) {
                if (lane->to && lane->queue.front().bytes.isEmpty())
                    lane->to->disconnectFromHost();
                else if (lane->to)
                    lane->to->write(lane->queue.front().bytes);
                lane->queue.pop_front();
            }
            if (!lane->queue.empty() && (next < 0 || lane->queue.front().due < next))
                next = lane->queue.front().due;
        }
    }
    // Connections over and done with go, so a long run does not look at thousands of them.
    std::erase_if(m_pairs, [](const std::unique_ptr<Pair>& pair) {
        const auto closed = [](const QTcpSocket& s) {
            return s.state() == QAbstractSocket::UnconnectedState && s.bytesToWrite() == 0;
        };
        return closed(*pair->client) && closed(*pair->server) && pair->up.queue.empty() &&
               pair->down.queue.empty();
    });
    std::erase_if(m_passive, [](const std::unique_ptr<Passive>& passive) {
        return !passive->listener->isListening();
    });
    if (next >= 0)
        m_tick.start(static_cast<int>(qMax<qint64>(0, next - now)));
}
