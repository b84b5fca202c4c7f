#include "TransferProgress.h"

#include <QLocale>

namespace {
// The rate is measured over this long, and needs at least kRateMinMs of it.
constexpr qint64 kRateWindowMs = 3000;
constexpr qint64 kRateMinMs = 500;
}  // namespace

int TransferStatus::Percent() const {
    return size > 0 ? static_cast<int>(qMin<qint64>(sent, size) * 100 / size) : 100;
}

void TransferProgress::Moved(int connection, const QString& localPath, qint64 sent, qint64 size) {
    Transfer& transfer = transfers_[connection];
    // Another file, or the same one sent again.
    if (transfer.localPath != localPath || sent < transfer.sent)
        transfer = {localPath, 0, size};
    moved_ += sent - transfer.sent;
    transfer.sent = sent;
    transfer.size = size;
    if (!clock_.isValid())
        clock_.start();
    const qint64 now = clock_.elapsed();
    samples_.push_back({now, moved_});
    while (samples_.size() > 2 && samples_[1].ms < now - kRateWindowMs)
        samples_.pop_front();
    Changed();
}

void TransferProgress::Ended(int connection) {
    if (transfers_.remove(connection) > 0)
        Changed();
}

void TransferProgress::Clear() {
    transfers_.clear();
    samples_.clear();
    Changed();
}

TransferStatus TransferProgress::Status() const {
    TransferStatus status;
    status.transfers = static_cast<int>(transfers_.size());
    for (const Transfer& transfer : transfers_) {
        status.sent += qMin(transfer.sent, transfer.size);
        status.size += transfer.size;
    }
    if (status.transfers == 1)
        status.localPath = transfers_.first().localPath;
    if (!samples_.empty()) {
        const qint64 span = samples_.back().ms - samples_.front().ms;
        if (span >= kRateMinMs)
            status.rate = (samples_.back().moved - samples_.front().moved) * 1000 / span;
    }
    return status;
}

void TransferProgress::Changed() {
    if (OnChanged)
        OnChanged(Status());
}

QString TransferProgress::ByteText(qint64 bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString TransferProgress::RateText(qint64 bytesPerSecond) {
    return ByteText(bytesPerSecond) + QStringLiteral("/s");
}
