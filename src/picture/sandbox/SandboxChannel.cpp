#include "SandboxChannel.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumorra::picture::channel {

bool send(int socket, const void* data, std::size_t length, int fd1, int fd2) {
    iovec iov{const_cast<void*>(data), length};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    const int fds[2] = {fd1, fd2};
    const int count = fd1 < 0 ? 0 : fd2 < 0 ? 1 : 2;
    if (count > 0) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(count * sizeof(int));
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(count * sizeof(int));
        std::memcpy(CMSG_DATA(c), fds, count * sizeof(int));
    }
    for (;;) {
        const ssize_t n = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        return n == ssize_t(length);
    }
}

bool receive(int socket, void* data, std::size_t length, int* fd1, int* fd2, int timeoutMs) {
    *fd1 = -1;
    if (fd2 != nullptr)
        *fd2 = -1;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(qMax(0, timeoutMs));
    // Without a time limit the socket's own wait serves: a confined worker may not poll.
    while (timeoutMs >= 0) {
        const int wait = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 deadline - std::chrono::steady_clock::now())
                                 .count());
        if (wait < 0)
            return false;
        pollfd p{socket, POLLIN, 0};
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        break;
    }
    iovec iov{data, length};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    int got[4] = {-1, -1, -1, -1};
    int count = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const int k = int((c->cmsg_len - CMSG_LEN(0)) / sizeof(int));
        for (int i = 0; i < k && count < 4; ++i)
            std::memcpy(&got[count++], CMSG_DATA(c) + i * sizeof(int), sizeof(int));
    }
    const bool ok = n == ssize_t(length) && (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0 &&
                    count <= (fd2 != nullptr ? 2 : 1);
    if (!ok) {
        for (int fd : got) {
            if (fd >= 0)
                ::close(fd);
        }
        return false;
    }
    *fd1 = got[0];
    if (fd2 != nullptr)
        *fd2 = got[1];
    return true;
}

} // namespace lumorra::picture::channel
