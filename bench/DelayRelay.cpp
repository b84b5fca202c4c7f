#include "DelayRelay.h"

DelayRelay::DelayRelay(quint16 serverPort, int delayMs)
    : m_serverPort(serverPort), m_delayMs(delayMs) {
    connect(&m_listener, &QTcpServer::newConnection, this, &DelayRelay::OnConnection);
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setSingleShot(true);
    connect(&m_tick, &QTimer::timeout, this, &DelayRelay::Flush);
    m_clock.start();
}

bool DelayRelay::Listen() {
    return m_listener.listen(QHostAddress::LocalHost, 0);
}

void DelayRelay::OnConnection() {
    while (QTcpSocket* accepted = m_listener.nextPendingConnection()) {
        auto pair = std::make_unique<Pair>();
        pair->client.reset(accepted);
        accepted->setParent(nullptr);
        pair->server = std::make_unique<QTcpSocket>();
        pair->up.to = pair->server.get();
        pair->down.to = pair->client.get();
        Pair& p = *pair;
        for (QTcpSocket* socket : {p.client.get(), p.server.get()})
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(p.client.get(), &QTcpSocket::readyRead, this,
                [this, &p] { Take(p, *p.client, true); });
        connect(p.server.get(), &QTcpSocket::readyRead, this,
                [this, &p] { Take(p, *p.server, false); });
        // A close travels with the same delay as the bytes before it.
        connect(p.client.get(), &QTcpSocket::disconnected, this, [this, &p] {
            p.up.queue.push_back({m_clock.elapsed() + m_delayMs, {}});
        });
        connect(p.server.get(), &QTcpSocket::disconnected, this, [this, &p] {
            p.down.queue.push_back({m_clock.elapsed() + m_delayMs, {}});
        });
        p.server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        m_pairs.push_back(std::move(pair));
    }
}

void DelayRelay::Take(Pair& pair, QTcpSocket& from, bool up) {
    const QByteArray bytes = from.readAll();
    if (bytes.isEmpty())
        return;
    if (up && pair.serverSpokeLast)
        ++m_roundTrips;
    pair.serverSpokeLast = !up;
    (up ? pair.up : pair.down).queue.push_back({m_clock.elapsed() + m_delayMs, bytes});
    if (!m_tick.isActive())
        m_tick.start(m_delayMs);
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
    if (next >= 0)
        m_tick.start(static_cast<int>(qMax<qint64>(0, next - now)));
}
