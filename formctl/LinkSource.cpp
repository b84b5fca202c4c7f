#include "LinkSource.h"

#include <QLocalServer>
#include <QLocalSocket>

LinkSource::LinkSource(QObject* parent) : QObject(parent), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &LinkSource::Accept);
}

bool LinkSource::Listen(const QString& serverName) {
    if (m_server->isListening())
        return true;
    if (m_server->listen(serverName))
        return true;
    QLocalServer::removeServer(serverName);
    return m_server->listen(serverName);
}

void LinkSource::Accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readChannelFinished, this, [this, socket] {
            const QByteArray request = socket->readAll();
            if (request.startsWith(kExecute))
                emit Execute(QString::fromUtf8(request.mid(qsizetype(sizeof kExecute) - 1)));
        });
        // A request larger than any command line is no request.
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (socket->bytesAvailable() > kMaxRequest)
                socket->abort();
        });
    }
}
