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
// direction, on the control connections and on the passive data connections alike. It rewrites
// the server's passive replies (227 and 229) so that each data connection goes through a listener
// of its own. A new connection pays for its handshake too: the client's first bytes reach the
// server no sooner than one and a half round trips after it connected, the server's reach the
// client no sooner than two. It counts round trips: each time a client speaks after the server
// has spoken, on any connection. A relay made for a protocol other than FTP (SSH) relays its
// bytes as they are.
class DelayRelay : public QObject {
public:
    DelayRelay(quint16 serverPort, int delayMs, bool ftp = true);
    ~DelayRelay() override;
    bool Listen();
    quint16 Port() const { return m_listener.serverPort(); }
    qint64 RoundTrips() const { return m_roundTrips; }
    void ResetCount() { m_roundTrips = 0; }

private:
    struct Chunk {
        qint64 due;
        QByteArray bytes;  // empty: the close
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
        qint64 opened = 0;
        bool control = false;
        QByteArray partialReply;  // of a control connection: a reply line not yet whole
        bool serverSpokeLast = true;
    };
    // A listener for one passive data connection, made when the server named its port.
    struct Passive {
        std::unique_ptr<QTcpServer> listener;
        quint16 serverPort = 0;
    };

    void OnConnection(QTcpServer& listener, quint16 serverPort, bool control);
    void Take(Pair& pair, QTcpSocket& from, bool up);
    QByteArray Rewrite(Pair& pair, const QByteArray& bytes);
    QByteArray RewriteLine(const QByteArray& line);
    quint16 PassiveFor(quint16 serverPort);
    void Queue(Lane& lane, qint64 due, const QByteArray& bytes);
    void Flush();

    quint16 m_serverPort;
    int m_delayMs;
    bool m_ftp;
    QTcpServer m_listener;
    std::vector<std::unique_ptr<Pair>> m_pairs;
    std::vector<std::unique_ptr<Passive>> m_passive;
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_roundTrips = 0;
};
