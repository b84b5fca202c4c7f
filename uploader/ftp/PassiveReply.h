#pragma once

#include <QHostAddress>
#include <QString>

// The address a server gives for a passive data connection.
namespace PassiveReply {

// "229 Entering Extended Passive Mode (|||port|)": any delimiter, no address. False when the
// reply holds no such part or the port is not 1 to 65535.
bool ParseEpsv(const QString& reply, quint16* port);

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)", with or without the brackets. False when the
// reply holds no six numbers of 0 to 255 or the port is 0.
bool ParsePasv(const QString& reply, QHostAddress* address, quint16* port);

}  // namespace PassiveReply
