#include "ZygoteStart.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

extern char** environ;

namespace lumorra::picture {

std::string executableDirectory() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    const std::string exe(path, size_t(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

std::string programDirectory() {
    if (const char* dir = std::getenv("LUMORRA_BIN_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    return executableDirectory();
}

StartedZygote startZygoteProcess(const std::string& program) {
    if (::access(program.c_str(), X_OK) != 0)
        return {};
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 onto 3 clears close-on-exec; the end is never 3 itself, which is taken by then.
    const int end = ends[1] == 3 ? ::fcntl(3, F_DUPFD_CLOEXEC, 4) : ends[1];
    posix_spawn_file_actions_adddup2(&actions, end, 3);
    char name[] = "lumorra_decoder";
    char option[] = "--zygote";
    char fd[] = "3";
    char* argv[] = {name, option, fd, nullptr};
    pid_t pid = -1;
    const int e = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (end != ends[1])
        ::close(end);
    ::close(ends[1]);
    if (e != 0) {
        ::close(ends[0]);
        return {};
    }
    return {ends[0], pid};
}

} // namespace lumorra::picture
