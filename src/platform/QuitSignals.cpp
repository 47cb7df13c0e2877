#include "QuitSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Written by the handler, read on the event loop. Only async-signal-safe calls in the handler.
int pipeEnds[2] = {-1, -1};
volatile sig_atomic_t pending = 0;

void onSignal(int signal) {
    if (pending) { // the first is being handled and the shutdown hangs: end as without a handler
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    pending = 1;
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[0], &byte, 1);
    errno = saved;
}
} // namespace

bool QuitSignals::catchEarly() {
    if (pipeEnds[0] >= 0) return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeEnds) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : quitSignals)
        ::sigaction(s, &action, nullptr);
    return true;
}

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (!catchEarly()) return;
    notifier_ = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::readPending);
}

QuitSignals::~QuitSignals() {
    if (!notifier_) return;
    for (int s : quitSignals)
        ::signal(s, SIG_DFL);
    delete notifier_;
    notifier_ = nullptr;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

const char* QuitSignals::signalName(int signal) {
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

void QuitSignals::readPending() {
    char bytes[16];
    const ssize_t n = ::read(pipeEnds[1], bytes, sizeof bytes);
    if (n <= 0) return;
    emit quitRequested(int(bytes[n - 1]));
}
