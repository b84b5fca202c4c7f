#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The SFTP messages (version 3, as OpenSSH and every common server speak it) that the client
// sends and reads, framed on the SSH channel as a length and the message.
namespace Sftp {

enum Type : quint8 {
    FXP_INIT = 1,
    FXP_VERSION = 2,
    FXP_OPEN = 3,
    FXP_CLOSE = 4,
    FXP_WRITE = 6,
    FXP_OPENDIR = 11,
    FXP_READDIR = 12,
    FXP_REMOVE = 13,
    FXP_MKDIR = 14,
    FXP_REALPATH = 16,
    FXP_STAT = 17,
    FXP_STATUS = 101,
    FXP_HANDLE = 102,
    FXP_NAME = 104,
    FXP_ATTRS = 105,
};

enum Status : quint32 { FX_OK = 0, FX_EOF = 1, FX_FAILURE = 4 };

enum OpenFlags : quint32 { FXF_WRITE = 0x02, FXF_CREAT = 0x08, FXF_TRUNC = 0x10 };

// The one message longer than this that a server may send is a hostile one: 256 KiB is what
// OpenSSH's server allows itself, and a listing comes in many messages.
constexpr quint32 kMaxMessage = 1024 * 1024;

// One request, written at the end of out: its length, type and id, then the fields in order. The
// length is filled in when the request is destroyed, at the end of the statement that made it.
class Request {
public:
    Request(QByteArray* out, Type type, quint32 id);
    ~Request();
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    Request& U32(quint32 value);
    Request& U64(quint64 value);
    Request& String(const QByteArray& bytes);
    Request& String(const char* data, qsizetype size);
    // Attributes that set nothing: the server chooses (its umask applies).
    Request& NoAttributes() { return U32(0); }

private:
    QByteArray& m_out;
    qsizetype m_start;
};

// Attributes of a remote entry, as far as the client uses them.
struct Attributes {
    bool hasPermissions = false;
    quint32 permissions = 0;
    bool IsDirectory() const { return hasPermissions && (permissions & 0170000) == 0040000; }
};

// Reads the fields of one received message; a field past its end makes it bad, and every read
// after that gives nothing.
class Reader {
public:
    explicit Reader(const QByteArray& message);
    quint8 Type();
    quint32 U32();
    quint64 U64();
    QByteArray String();
    Attributes ReadAttributes();
    bool Bad() const { return m_bad; }
    // The whole message, in bytes.
    qsizetype Size() const { return m_message.size(); }

private:
    bool Take(qsizetype size, const char** data);

    const QByteArray& m_message;
    qsizetype m_at = 0;
    bool m_bad = false;
};

// Cuts the bytes of the channel into messages, however they arrive.
class Framer {
public:
    // False when a message announces more than kMaxMessage bytes, or none.
    bool Feed(const QByteArray& bytes);
    // The next whole message without its length; false when none is complete.
    bool Next(QByteArray* message);

private:
    QByteArray m_buffer;
    qsizetype m_at = 0;
};

// A status code as a person reads it ("No such file", ...), for the logs.
QString StatusText(quint32 code);

}  // namespace Sftp
