#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;

// The receiving end of a form's link: a local socket on which later instances of the program hand
// over their command lines. One request per connection: kExecute followed by the text in UTF-8,
// ended by the sender closing the connection.
class LinkSource : public QObject {
    Q_OBJECT

public:
    static constexpr char kExecute[] = "EXECUTE ";
    static constexpr qsizetype kMaxRequest = 1 << 20;

    explicit LinkSource(QObject* parent = nullptr);

    // Listens on the socket of that name (Fun_AppPrevInstanceOperate::LinkServerName); a socket
    // file left by an instance that ended without closing it is replaced.
    bool Listen(const QString& serverName);

signals:
    void Execute(const QString& commandLine);

private:
    void Accept();

    QLocalServer* m_server;
};
