#include "MountTable.h"

#include "Error.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace lumorra {

MountTable::MountTable(const QString& path, QObject* parent) : QObject(parent) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    // A change shows as an exceptional condition (POLLPRI) on the open table; polling it takes
    // the mark away, so each change is told once.
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Exception, this);
    connect(notifier_, &QSocketNotifier::activated, this, &MountTable::changed);
}

MountTable::~MountTable() {
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

QByteArray MountTable::read() const {
    if (fd_ < 0)
        throw Error::fromErrno(EBADF);
    // The kernel builds the text afresh for a read from the start; pread keeps the offset out
    // of it.
    QByteArray text;
    char buffer[16384];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Error::fromErrno(errno);
        if (n == 0)
            break;
        text.append(buffer, n);
        at += n;
    }
    return text;
}

} // namespace lumorra
