#include "DirectoryWatch.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace lumorra {

DirectoryWatch::DirectoryWatch(const QString& dir) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        return;
    const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                          IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (::inotify_add_watch(fd_, QFile::encodeName(dir).constData(), mask) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

DirectoryWatch::~DirectoryWatch() {
    if (fd_ < 0)
        return;
    // Closing an inotify descriptor waits for the kernel to retire its group, which takes up to
    // 20 ms: the list that moved to another directory does not wait for that. Nothing reads
    // the descriptor any more.
    const int fd = fd_;
    try {
        std::thread([fd] { ::close(fd); }).detach();
    } catch (const std::system_error&) {
        ::close(fd); // no thread to be had: it waits here
    }
}

bool DirectoryWatch::onlyRemoved(const QByteArray& name) {
    if (fd_ < 0)
        return false;
    bool removed = false;
    bool other = false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // EAGAIN: nothing more noted
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            const bool ours = e->len > 0 && std::strcmp(e->name, name.constData()) == 0;
            // Deleted, or moved out of the directory (to the Trash).
            constexpr uint32_t gone = IN_DELETE | IN_MOVED_FROM;
            if (ours && !removed && (e->mask & ~(IN_ATTRIB | gone)) == 0) {
                removed = (e->mask & gone) != 0;
                continue;
            }
            other = true; // anything else, the queue overflowing included
        }
    }
    return removed && !other;
}

} // namespace lumorra
