#pragma once

#include <QElapsedTimer>
#include <QMap>
#include <QString>
#include <deque>
#include <functional>

// What is being sent at one moment, over every connection of a run.
struct TransferStatus {
    int transfers = 0;  // files under way
    QString localPath;  // the file, while it is the only one
    qint64 sent = 0;    // bytes of them the system has taken
    qint64 size = 0;    // their sizes together
    qint64 rate = 0;    // bytes a second over the last seconds; 0 until it is known
    // sent of size in per cent (100 for empty files).
    int Percent() const;
};

// Sums the progress that the connections of a run tell of their transfers, each by its number,
// and measures the rate of all of them together.
class TransferProgress {
public:
    // Called after every change.
    std::function<void(const TransferStatus&)> OnChanged;

    // The file under way on the connection, and how much of it has gone.
    void Moved(int connection, const QString& localPath, qint64 sent, qint64 size);
    // The connection's transfer is over.
    void Ended(int connection);
    // No transfer is under way any more (the walk has ended).
    void Clear();
    TransferStatus Status() const;

    // Sizes as people read them: "512 bytes", "31.0 MB"; a rate with "/s".
    static QString ByteText(qint64 bytes);
    static QString RateText(qint64 bytesPerSecond);

private:
    struct Transfer {
        QString localPath;
        qint64 sent = 0;
        qint64 size = 0;
    };
    struct Sample {
        qint64 ms;
        qint64 moved;
    };
    void Changed();

    QMap<int, Transfer> transfers_;
    qint64 moved_ = 0;  // bytes taken of every transfer so far
    QElapsedTimer clock_;
    std::deque<Sample> samples_;  // moved_ over the last seconds
};
