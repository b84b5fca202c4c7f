#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

// An FTP server on loopback, in the test's own thread, whose every reply is scripted. It records
// the exact bytes the client sends, can split replies over several reads or join them into one,
// and plays the server's side of data connections: active mode (connecting at PORT, at the
// transfer or never; resetting; closing before or after the final reply) and passive mode
// (EPSV, or PASV naming any address).
//
// Out of the box it behaves like a plain server: USER 331, PASS 230, TYPE 200, CWD 250, MKD 257,
// PORT/EPRT 200, STOR 150 + data + 226, NLST/MLSD 150 + Listing + 226, FEAT 211 (no MLST),
// QUIT 221. On() replaces the handling of one command.
class ScriptedFtpServer : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(const QByteArray& argument)>;
    enum class DataConnect { AtTransfer, AtPort, Never };
    enum class ListingOrder { Normal, JoinedReplies, FinalBeforeEof };

    explicit ScriptedFtpServer(QObject* parent = nullptr);

    bool Listen(const QHostAddress& address = QHostAddress::LocalHost);
    quint16 Port() const { return m_server.serverPort(); }
    // "127.0.0.1:port" or "[::1]:port", for a profile's FtpDir.
    QString HostPort() const;

    // Chunks sent one after the other on connect, each after a short pause so the client reads
    // them separately. No chunks: the server stays silent.
    void SetBanner(const QList<QByteArray>& chunks) { m_banner = chunks; }
    // Runs once the banner has gone on a new connection.
    std::function<void()> OnGreeted;
    void On(const QByteArray& verb, Handler handler) { m_handlers[verb] = std::move(handler); }
    void SetDataConnect(DataConnect when) { m_dataConnect = when; }
    // What NLST and MLSD send when the default handling serves them.
    QByteArray Listing;
    // Passive mode: EPSV answered 502 (the client must fall back to PASV), and the address a PASV
    // reply names (the server's own when null).
    bool EpsvRefused = false;
    QHostAddress PasvAddress;

    // Control connection.
    void Send(const QByteArray& bytes);
    void SendChunks(const QList<QByteArray>& chunks, std::function<void()> then = {});
    void ResetControl();
    // Closes the control connection in order (FIN), after what was sent.
    void CloseControl();

    // Data connection: connect to the client's PORT/EPRT address; then() runs once connected
    // (at once when already connected).
    void ConnectData(std::function<void()> then);
    void SendData(const QByteArray& bytes);
    void CloseData();
    // Closes with RST instead of FIN.
    void ResetData();
    // Called once when the client closes the data connection (end of a stored file).
    std::function<void()> OnDataEnd;
    // A stalled link: data connections stop reading after this many bytes (negative: never), so
    // the client's writes block; OnStall runs once the limit is reached. ResumeData reads on.
    qint64 stallDataAfter = -1;
    std::function<void()> OnStall;
    void ResumeData();
    bool DataConnected() const;

    // The built-in behaviours, for handlers that add to them.
    void ServeStore(const QByteArray& finalReply = "226 Transfer complete.\r\n");
    void ServeListing(const QByteArray& data, ListingOrder order = ListingOrder::Normal);

    // Hostile behaviours, every one bounded. Pump sends body over and over on a connection until
    // total bytes went or the connection closed, with little queued at any time: as fast as the
    // client reads (a flood), or one body every intervalMs (a trickle). then() runs when all went.
    enum class Connection { Control, Data };
    void Pump(Connection connection, const QByteArray& body, qint64 total, int intervalMs = 0,
              std::function<void()> then = {});
    // Another process of this machine, connecting from 127.0.0.2 to each PORT/EPRT address before
    // the server does, offering a listing of its own and taking whatever it is sent.
    void SetPortThief(bool on) { m_thief = on; }
    bool PortThief() const { return m_thief; }
    QByteArray ThiefReceived() const { return m_thiefReceived; }
    int ThiefConnections() const { return m_thiefConnections; }
    // A slow link: a stored file is read no faster than bytes each tickMs.
    void SetDataReadRate(qint64 bytes, int tickMs);

    // What the client did.
    QByteArray Received() const { return m_received; }
    QList<QByteArray> Commands() const { return m_commands; }
    int CountCommands(const QByteArray& verb) const;
    QByteArray Stored() const { return m_stored; }
    int Connections() const { return m_connections; }

private:
    void OnNewConnection();
    void OnControlReadyRead();
    void Dispatch(const QByteArray& line);
    void InstallDefaults();
    bool TakeDataAddress(const QByteArray& verb, const QByteArray& argument);
    void SendThief(std::function<void()> then);
    bool ListenPassive();
    void OnPassiveConnection();
    void WireData(QTcpSocket* data);
    void ReadData(QTcpSocket* data);

    QTcpServer m_server;
    QTcpServer m_passive;
    std::function<void()> m_passiveThen;  // a transfer waiting for the passive connection
    QPointer<QTcpSocket> m_control;
    QPointer<QTcpSocket> m_data;
    QHostAddress m_dataHost;
    quint16 m_dataPort = 0;
    QList<QByteArray> m_banner;
    QMap<QByteArray, Handler> m_handlers;
    DataConnect m_dataConnect = DataConnect::AtTransfer;
    QByteArray m_lineBuffer;
    QByteArray m_received;
    QList<QByteArray> m_commands;
    QByteArray m_stored;
    int m_connections = 0;
    bool m_thief = false;
    QByteArray m_thiefReceived;
    int m_thiefConnections = 0;
    qint64 m_readBytes = 0;  // 0: read at once
    int m_readTickMs = 0;
};
