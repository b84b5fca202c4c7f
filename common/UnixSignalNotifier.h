#pragma once

#include <initializer_list>

#include <QObject>

class QSocketNotifier;

// Turns termination signals into a Qt signal on the event loop: the handler only writes the
// signal number into a socket pair, which the loop reads.
class UnixSignalNotifier : public QObject {
    Q_OBJECT

public:
    explicit UnixSignalNotifier(std::initializer_list<int> signos, QObject* parent = nullptr);

signals:
    void Raised(int signo);

private:
    void ReadPending();

    QSocketNotifier* m_notifier = nullptr;
};
