#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

// A far server on loopback: a TCP relay that hands every byte on after a fixed delay in each
// direction. It relays control connections only; passive data connections go to the server
// directly. It counts round trips: each time a client speaks after the server has spoken.
class DelayRelay : public QObject {
public:
    DelayRelay(quint16 serverPort, int delayMs);
    bool Listen();
    quint16 Port() const { return m_listener.serverPort(); }
    qint64 RoundTrips() const { return m_roundTrips; }
    void ResetCount() { m_roundTrips = 0; }

private:
    struct Chunk {
        qint64 due;
        QByteArray bytes;
    };
    // One direction of one relayed connection.
    struct Lane {
        QPointer<QTcpSocket> to;
        std::deque<Chunk> queue;
    };
    struct Pair {
        std::unique_ptr<QTcpSocket> client;
        std::unique_ptr<QTcpSocket> server;
        Lane up;    // client to server
        Lane down;  // server to client
        bool serverSpokeLast = true;
    };

    void OnConnection();
    void Take(Pair& pair, QTcpSocket& from, bool up);
    void Flush();

    quint16 m_serverPort;
    int m_delayMs;
    QTcpServer m_listener;
    std::vector<std::unique_ptr<Pair>> m_pairs;
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_roundTrips = 0;
};
