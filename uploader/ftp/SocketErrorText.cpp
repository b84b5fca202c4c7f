#include "SocketErrorText.h"

#include <cerrno>

namespace {

constexpr int kFixedBase = 1000;

// The kinds Qt makes of one errno only; the others gather several (NetworkError, for one, is
// ENETUNREACH, EHOSTUNREACH, ENETDOWN...) or none (a host name not found, an orderly close).
int Errno(QAbstractSocket::SocketError kind) {
    switch (kind) {
        case QAbstractSocket::ConnectionRefusedError:
            return ECONNREFUSED;
        case QAbstractSocket::SocketAccessError:
            return EACCES;
        case QAbstractSocket::SocketTimeoutError:
            return ETIMEDOUT;
        case QAbstractSocket::DatagramTooLargeError:
            return EMSGSIZE;
        case QAbstractSocket::AddressInUseError:
            return EADDRINUSE;
        case QAbstractSocket::SocketAddressNotAvailableError:
            return EADDRNOTAVAIL;
        default:
            return 0;
    }
}

}  // namespace

namespace SocketErrorText {

int Number(QAbstractSocket::SocketError kind) {
    const int number = Errno(kind);
    return number != 0 ? number : kFixedBase + static_cast<int>(kind);
}

QString Description(QAbstractSocket::SocketError kind, const QString& socketText) {
    const int number = Errno(kind);
    return number != 0 ? qt_error_string(number) : socketText;
}

}  // namespace SocketErrorText
