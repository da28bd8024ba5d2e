#include "TerminationSignals.h"

#include "platform/Error.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace lumorra {
namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The one thing a signal handler can reach: the write end of the current instance's pair.
volatile sig_atomic_t handlerFd = -1;

extern "C" void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = handlerFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: when the pair is full, a quit is already pending.
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : handledSignals)
        ::sigaction(sig, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (handlerFd >= 0)
        throw Error{errc::InvalidCall, QStringLiteral("Signal handling is already installed")};
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        throw Error::fromErrno(errno);
    readFd_ = fds[0];
    writeFd_ = fds[1];
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
    handlerFd = writeFd_;
    setHandler(onSignal);
}

TerminationSignals::~TerminationSignals() {
    setHandler(SIG_DFL);
    handlerFd = -1;
    delete notifier_;
    ::close(readFd_);
    ::close(writeFd_);
}

void TerminationSignals::drain() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(readFd_, bytes, sizeof bytes);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            emit received(bytes[i]);
    }
}

} // namespace lumorra
