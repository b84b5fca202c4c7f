#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Cuts the control connection's byte stream into complete replies, however TCP splits or joins
// them. A reply ends at a line "xyz text" (or "xyz" alone); a line "xyz-text" opens a multi-line
// reply that ends only at a line beginning with the same code and a blank. It holds no more than
// FtpLimits allows: lines of at most kMaxLine bytes, at most kMaxReply bytes waiting.
class ReplyFramer {
public:
    // Adds received bytes. False once they break a limit: the stream cannot be read any further,
    // and Fault() says why.
    bool Feed(QByteArrayView bytes);
    // Takes the next complete reply, with its line ends; false while none is complete.
    bool Next(QByteArray* reply);
    QString Fault() const { return m_fault; }
    void Clear();

private:
    QByteArray m_pending;     // received bytes; those before m_begin are taken
    qsizetype m_begin = 0;    // where the next reply starts
    qsizetype m_scanned = 0;  // where the next line to look at starts
    QByteArray m_openCode;    // code of an open multi-line reply, empty when none
    qsizetype m_tail = 0;     // bytes of the last, unfinished line
    QString m_fault;
};
