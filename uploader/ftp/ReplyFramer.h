#pragma once

#include <QByteArray>
#include <QList>

// Cuts the control connection's byte stream into complete replies, however TCP splits or joins
// them. A reply ends at a line "xyz text" (or "xyz" alone); a line "xyz-text" opens a multi-line
// reply that ends only at a line beginning with the same code and a blank.
class ReplyFramer {
public:
    // Adds received bytes; returns the replies completed by them, each with its line ends.
    QList<QByteArray> Feed(const QByteArray& bytes);
    void Clear();

private:
    QByteArray m_pending;     // bytes after the last complete reply
    qsizetype m_scanned = 0;  // lines of m_pending already looked at
    QByteArray m_openCode;    // code of an open multi-line reply, empty when none
};
