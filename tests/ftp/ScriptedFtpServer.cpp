#include "ScriptedFtpServer.h"

#include <sys/socket.h>

#include <QTimer>
#include <memory>
#include <utility>

#include <utility>

namespace {

constexpr int kChunkPauseMs = 20;       // long enough for the client to read each chunk on its own
constexpr qint64 kQueued = 256 * 1024;  // the most a pump leaves waiting in its socket

// Writes a body again and again on a socket, never with more than kQueued bytes waiting: when the
// socket has taken the last ones, or once per interval. Ends with the socket or at the total.
class SocketPump : public QObject {
public:
    SocketPump(QTcpSocket* socket, QByteArray body, qint64 total, int intervalMs,
               std::function<void()> then)
        : QObject(socket),
          m_socket(socket),
          m_body(std::move(body)),
          m_total(total),
          m_then(std::move(then)) {
        if (intervalMs > 0) {
            connect(&m_timer, &QTimer::timeout, this, &SocketPump::Step);
            m_timer.start(intervalMs);
        } else {
            connect(socket, &QTcpSocket::bytesWritten, this, &SocketPump::Step);
        }
        QTimer::singleShot(0, this, &SocketPump::Step);
    }

private:
    void Step() {
        const auto open = [this] { return m_socket->state() == QAbstractSocket::ConnectedState; };
        while (m_sent < m_total && open() && m_socket->bytesToWrite() < kQueued) {
            const QByteArray piece = m_body.left(m_total - m_sent);
            m_socket->write(piece);
            m_sent += piece.size();
            if (m_timer.isActive())
                break;
        }
        if (m_sent < m_total && open())
            return;
        m_timer.stop();
        disconnect(m_socket, nullptr, this, nullptr);
        if (m_sent >= m_total && m_then)
            m_then();
        deleteLater();
    }

    QTcpSocket* m_socket;
    QByteArray m_body;
    qint64 m_total;
    qint64 m_sent = 0;
    std::function<void()> m_then;
    QTimer m_timer;
};

}  // namespace

ScriptedFtpServer::ScriptedFtpServer(QObject* parent) : QObject(parent) {
    m_banner = {"220 Scripted server ready.\r\n"};
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedFtpServer::OnNewConnection);
    connect(&m_passive, &QTcpServer::newConnection, this, &ScriptedFtpServer::OnPassiveConnection);
    InstallDefaults();
}

bool ScriptedFtpServer::Listen(const QHostAddress& address) {
    return m_server.listen(address, 0);
}

QString ScriptedFtpServer::HostPort() const {
    const QHostAddress address = m_server.serverAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return host + u':' + QString::number(Port());
}

void ScriptedFtpServer::InstallDefaults() {
    On("USER", [this](const QByteArray&) { Send("331 Please specify the password.\r\n"); });
    On("PASS", [this](const QByteArray&) { Send("230 Login successful.\r\n"); });
    On("TYPE", [this](const QByteArray&) { Send("200 Switching to Binary mode.\r\n"); });
    On("CWD", [this](const QByteArray&) { Send("250 Directory successfully changed.\r\n"); });
    On("MKD", [this](const QByteArray& a) { Send("257 \"" + a + "\" created\r\n"); });
    On("FEAT",
       [this](const QByteArray&) { Send("211-Features:\r\n PASV\r\n SIZE\r\n211 End\r\n"); });
    On("STOR", [this](const QByteArray&) { ServeStore(); });
    On("NLST", [this](const QByteArray&) { ServeListing(Listing); });
    On("MLSD", [this](const QByteArray&) { ServeListing(Listing); });
    On("QUIT", [this](const QByteArray&) { Send("221 Goodbye.\r\n"); });
    On("EPSV", [this](const QByteArray&) {
        if (EpsvRefused || !ListenPassive()) {
            Send("502 EPSV not implemented.\r\n");
            return;
        }
        Send("229 Entering Extended Passive Mode (|||" +
             QByteArray::number(m_passive.serverPort()) + "|)\r\n");
    });
    On("PASV", [this](const QByteArray&) {
        if (!ListenPassive()) {
            Send("425 Cannot listen.\r\n");
            return;
        }
        const QHostAddress named = PasvAddress.isNull() ? m_server.serverAddress() : PasvAddress;
        const quint16 port = m_passive.serverPort();
        Send("227 Entering Passive Mode (" + named.toString().replace(u'.', u',').toLatin1() + ',' +
             QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256) + ").\r\n");
    });
    for (const QByteArray& verb : {QByteArray("PORT"), QByteArray("EPRT")}) {
        On(verb, [this, verb](const QByteArray& argument) {
            if (!TakeDataAddress(verb, argument)) {
                Send("501 Illegal PORT command.\r\n");
                return;
            }
            const auto accept = [this] {
                if (m_dataConnect == DataConnect::AtPort)
                    ConnectData([this] { Send("200 PORT command successful.\r\n"); });
                else
                    Send("200 PORT command successful.\r\n");
            };
            if (m_thief)
                SendThief(accept);
            else
                accept();
        });
    }
}

bool ScriptedFtpServer::TakeDataAddress(const QByteArray& verb, const QByteArray& argument) {
    if (verb == "EPRT") {
        const QList<QByteArray> parts = argument.split('|');  // "", "2", addr, port, ""
        if (parts.size() != 5)
            return false;
        m_dataHost = QHostAddress(QString::fromLatin1(parts[2]));
        m_dataPort = static_cast<quint16>(parts[3].toUInt());
        return !m_dataHost.isNull();
    }
    const QList<QByteArray> n = argument.split(',');
    if (n.size() != 6)
        return false;
    m_dataHost = QHostAddress(QString::fromLatin1(n[0] + '.' + n[1] + '.' + n[2] + '.' + n[3]));
    m_dataPort = static_cast<quint16>(n[4].toUInt() * 256 + n[5].toUInt());
    return !m_dataHost.isNull();
}

int ScriptedFtpServer::CountCommands(const QByteArray& verb) const {
    int count = 0;
    for (const QByteArray& line : m_commands)
        count += line.split(' ').first().toUpper() == verb ? 1 : 0;
    return count;
}

void ScriptedFtpServer::OnNewConnection() {
    QTcpSocket* socket = m_server.nextPendingConnection();
    ++m_connections;
    m_control = socket;
    // Replies go at once: Nagle would hold each one back until the last was acknowledged.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_lineBuffer.clear();
    connect(socket, &QTcpSocket::readyRead, this, &ScriptedFtpServer::OnControlReadyRead);
    SendChunks(m_banner, [this] {
        if (OnGreeted)
            OnGreeted();
    });
}

void ScriptedFtpServer::OnControlReadyRead() {
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (socket != m_control)
        return;
    const QByteArray bytes = socket->readAll();
    m_received += bytes;
    m_lineBuffer += bytes;
    qsizetype end;
    while ((end = m_lineBuffer.indexOf("\r\n")) >= 0) {
        const QByteArray line = m_lineBuffer.left(end);
        m_lineBuffer.remove(0, end + 2);
        m_commands.append(line);
        Dispatch(line);
    }
}

void ScriptedFtpServer::Dispatch(const QByteArray& line) {
    const qsizetype blank = line.indexOf(' ');
    const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
    const QByteArray argument = blank < 0 ? QByteArray() : line.mid(blank + 1);
    const auto handler = m_handlers.constFind(verb);
    if (handler == m_handlers.constEnd())
        Send("502 Command not implemented.\r\n");
    else
        (*handler)(argument);
}

void ScriptedFtpServer::Send(const QByteArray& bytes) {
    if (!m_control)
        return;
    m_control->write(bytes);
    m_control->flush();
}

void ScriptedFtpServer::SendChunks(const QList<QByteArray>& chunks, std::function<void()> then) {
    if (chunks.isEmpty()) {
        if (then)
            then();
        return;
    }
    Send(chunks.first());
    const QList<QByteArray> rest = chunks.mid(1);
    if (rest.isEmpty()) {
        if (then)
            then();
        return;
    }
    QTimer::singleShot(kChunkPauseMs, this, [this, rest, then] { SendChunks(rest, then); });
}

void ScriptedFtpServer::ResetControl() {
    if (!m_control)
        return;
    const linger hard{1, 0};
    ::setsockopt(static_cast<int>(m_control->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                 sizeof hard);
    m_control->abort();
}

void ScriptedFtpServer::CloseControl() {
    if (m_control)
        m_control->disconnectFromHost();
}

void ScriptedFtpServer::ConnectData(std::function<void()> then) {
    if (DataConnected()) {
        then();
        return;
    }
    if (m_passive.isListening()) {
        m_passiveThen = std::move(then);
        return;
    }
    QTcpSocket* data = new QTcpSocket(this);
    WireData(data);
    connect(data, &QTcpSocket::connected, this, [then] { then(); });
    data->connectToHost(m_dataHost, m_dataPort);
}

// The client's connection to the passive port: the data connection of the next transfer.
void ScriptedFtpServer::OnPassiveConnection() {
    QTcpSocket* data = m_passive.nextPendingConnection();
    m_passive.close();
    WireData(data);
    if (m_passiveThen)
        std::exchange(m_passiveThen, nullptr)();
}

bool ScriptedFtpServer::ListenPassive() {
    if (m_data)
        m_data->deleteLater();
    m_data = nullptr;
    m_passive.close();
    return m_passive.listen(m_server.serverAddress(), 0);
}

void ScriptedFtpServer::WireData(QTcpSocket* data) {
    if (m_data)
        m_data->deleteLater();
    m_data = data;
    m_stored.clear();
    ReadData(data);
    connect(data, &QTcpSocket::disconnected, this, [this, data] {
        if (data->isReadable())
            m_stored += data->readAll();
        if (data != m_data)
            return;
        const std::function<void()> end = std::move(OnDataEnd);
        OnDataEnd = nullptr;
        if (end)
            end();
    });
}

// How a data connection's bytes are taken in: no faster than the set rate, up to the stall
// point, or all at once.
void ScriptedFtpServer::ReadData(QTcpSocket* data) {
    if (m_readBytes > 0) {
        // A small window too, so what is not read yet waits on the client's side of the link.
        data->setReadBufferSize(m_readBytes);
        connect(data, &QTcpSocket::connected, this, [this, data] {
            data->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, m_readBytes);
        });
        auto* tick = new QTimer(data);
        connect(tick, &QTimer::timeout, this,
                [this, data] { m_stored += data->read(m_readBytes); });
        tick->start(m_readTickMs);
        return;
    }
    if (stallDataAfter >= 0)
        data->setReadBufferSize(64 * 1024);  // a full buffer stops reading from the system
    connect(data, &QTcpSocket::readyRead, this, [this, data] {
        if (stallDataAfter < 0) {
            m_stored += data->readAll();
            return;
        }
        m_stored += data->read(qMax<qint64>(stallDataAfter - m_stored.size(), 0));
        if (m_stored.size() >= stallDataAfter && OnStall)
            std::exchange(OnStall, nullptr)();
    });
}

void ScriptedFtpServer::ResumeData() {
    stallDataAfter = -1;
    if (!m_data)
        return;
    m_data->setReadBufferSize(0);
    m_stored += m_data->readAll();
}

bool ScriptedFtpServer::DataConnected() const {
    return m_data && m_data->state() == QAbstractSocket::ConnectedState;
}

void ScriptedFtpServer::SendData(const QByteArray& bytes) {
    if (!m_data)
        return;
    m_data->write(bytes);
    m_data->flush();
}

void ScriptedFtpServer::CloseData() {
    if (m_data)
        m_data->disconnectFromHost();
}

void ScriptedFtpServer::ResetData() {
    if (!m_data)
        return;
    OnDataEnd = nullptr;
    const linger hard{1, 0};
    ::setsockopt(static_cast<int>(m_data->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                 sizeof hard);
    m_data->abort();
}

void ScriptedFtpServer::ServeStore(const QByteArray& finalReply) {
    if (m_dataConnect == DataConnect::Never) {
        Send("425 Failed to establish connection.\r\n");
        return;
    }
    ConnectData([this, finalReply] {
        OnDataEnd = [this, finalReply] { Send(finalReply); };
        Send("150 Ok to send data.\r\n");
    });
}

void ScriptedFtpServer::ServeListing(const QByteArray& data, ListingOrder order) {
    if (m_dataConnect == DataConnect::Never) {
        Send("425 Failed to establish connection.\r\n");
        return;
    }
    ConnectData([this, data, order] {
        switch (order) {
            case ListingOrder::Normal:
                Send("150 Here comes the directory listing.\r\n");
                SendData(data);
                CloseData();
                QTimer::singleShot(kChunkPauseMs, this,
                                   [this] { Send("226 Directory send OK.\r\n"); });
                break;
            case ListingOrder::JoinedReplies:
                SendData(data);
                CloseData();
                Send("150 Here comes the directory listing.\r\n226 Directory send OK.\r\n");
                break;
            case ListingOrder::FinalBeforeEof: {
                const qsizetype half = data.size() / 2;
                Send("150 Here comes the directory listing.\r\n");
                SendData(data.left(half));
                Send("226 Directory send OK.\r\n");
                QTimer::singleShot(kChunkPauseMs * 3, this, [this, data, half] {
                    SendData(data.mid(half));
                    CloseData();
                });
                break;
            }
        }
    });
}

void ScriptedFtpServer::Pump(Connection connection, const QByteArray& body, qint64 total,
                             int intervalMs, std::function<void()> then) {
    QTcpSocket* socket = connection == Connection::Control ? m_control.data() : m_data.data();
    if (socket)
        new SocketPump(socket, body, total, intervalMs, std::move(then));
}

void ScriptedFtpServer::SendThief(std::function<void()> then) {
    auto* thief = new QTcpSocket(this);
    auto once = std::make_shared<std::function<void()>>(std::move(then));
    // The server's own connection follows a little later, so the thief's is seen first.
    const auto proceed = [this, once] {
        if (*once)
            QTimer::singleShot(kChunkPauseMs * 2, this, std::exchange(*once, nullptr));
    };
    connect(thief, &QTcpSocket::readyRead, this,
            [this, thief] { m_thiefReceived += thief->readAll(); });
    connect(thief, &QTcpSocket::connected, this, [this, thief, proceed] {
        ++m_thiefConnections;
        thief->write("/base:\r\n/base/stolen.txt\r\n");
        proceed();
    });
    connect(thief, &QTcpSocket::errorOccurred, this, proceed);
    thief->bind(QHostAddress(QStringLiteral("127.0.0.2")));
    thief->connectToHost(m_dataHost, m_dataPort);
}

void ScriptedFtpServer::SetDataReadRate(qint64 bytes, int tickMs) {
    m_readBytes = bytes;
    m_readTickMs = tickMs;
}
