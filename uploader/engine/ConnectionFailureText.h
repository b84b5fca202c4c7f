#pragma once

#include <QString>

// What the box of a failed connection says: its fixed first line, why the connection failed, and,
// where the server seems to want TLS that its options do not ask for, one line that points to the
// server's settings.
namespace ConnectionFailureText {

// Why, on one line: the fault (a socket error, the time limit, the server's 421, a refused TLS
// step), else the server's last reply; "" when there is neither.
QString Reason(const QString& faultReason, const QString& lastReply);

// The server's words speak of encryption, TLS or SSL ("530 Non-anonymous sessions must use
// encryption.", "550 SSL/TLS required on the control channel").
bool MentionsTls(const QString& reason);
// A FEAT reply offers AUTH TLS.
bool OffersTls(const QString& featReply);

QString BoxText(const QString& reason, bool pointToTls);

}  // namespace ConnectionFailureText
