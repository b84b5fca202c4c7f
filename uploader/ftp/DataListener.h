#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <functional>

// The listening half of the data connection. An incoming connection is accepted into the one
// data socket of the client itself, so no socket object is made per transfer.
class DataListener : public QTcpServer {
public:
    std::function<void(qintptr)> OnIncoming;

    // Listens on a free port of the address. The port is drawn at random from the range the
    // system gives out on its own: asking the system for "any port" scans that range past every
    // port still waiting out an earlier connection, which costs more than a transfer of a small
    // file once thousands of files have gone.
    bool ListenOnFreePort(const QHostAddress& address);

protected:
    void incomingConnection(qintptr descriptor) override;
};
