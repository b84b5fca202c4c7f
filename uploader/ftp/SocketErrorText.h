#pragma once

#include <QAbstractSocket>
#include <QString>

// What the socket error box shows for a socket error: the system's error number and its words
// where the kind of error stands for one errno, else a fixed number of that kind and the
// socket's own text.
namespace SocketErrorText {

// errno (ECONNREFUSED, ETIMEDOUT, ...) where the kind has exactly one; else 1000 + the kind, so
// that a number never reads as an errno it is not.
int Number(QAbstractSocket::SocketError kind);

// The system's description of Number's errno (in the locale's language), else socketText.
QString Description(QAbstractSocket::SocketError kind, const QString& socketText);

}  // namespace SocketErrorText
