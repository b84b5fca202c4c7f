#include "UnixSignalNotifier.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <QSocketNotifier>

namespace {

int g_pipe[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler

void OnSignal(int signo) {
    const unsigned char byte = static_cast<unsigned char>(signo);
    const ssize_t written = ::write(g_pipe[1], &byte, 1);
    (void)written;  // a full pipe already holds a pending signal
}

}  // namespace

UnixSignalNotifier::UnixSignalNotifier(std::initializer_list<int> signos, QObject* parent)
    : QObject(parent) {
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalNotifier::ReadPending);
    for (const int signo : signos) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signo, &action, nullptr);
    }
}

void UnixSignalNotifier::ReadPending() {
    unsigned char byte = 0;
    if (::read(g_pipe[0], &byte, 1) == 1)
        emit Raised(byte);
}
