#include "DataListener.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

namespace {

constexpr int kRandomTries = 16;

struct PortRange {
    quint16 first = 32768;
    quint16 last = 60999;
};

PortRange SystemPortRange() {
    PortRange range;
    QFile file(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (!file.open(QIODevice::ReadOnly))
        return range;
    const QStringList fields =
        QString::fromLatin1(file.readAll()).simplified().split(QLatin1Char(' '));
    bool firstOk = false;
    bool lastOk = false;
    const uint first = fields.value(0).toUInt(&firstOk);
    const uint last = fields.value(1).toUInt(&lastOk);
    if (firstOk && lastOk && first >= 1024 && first < last && last <= 65535) {
        range.first = static_cast<quint16>(first);
        range.last = static_cast<quint16>(last);
    }
    return range;
}

}  // namespace

bool DataListener::ListenOnFreePort(const QHostAddress& address) {
    static const PortRange range = SystemPortRange();
    for (int i = 0; i < kRandomTries; ++i) {
        const auto port =
            static_cast<quint16>(QRandomGenerator::global()->bounded(range.first, range.last + 1));
        if (listen(address, port))
            return true;
    }
    return listen(address, 0);
}

void DataListener::incomingConnection(qintptr descriptor) {
    if (OnIncoming)
        OnIncoming(descriptor);
}
