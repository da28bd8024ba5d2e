// The decoder program of the sandbox tests: the program's own, with jobs that do what a hostile
// picture would make a decoder do.

#include "picture/sandbox/SandboxWorker.h"

#include <QImage>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace lumorra::picture;

namespace {

bool hostile(const JobRequest& request, JobReply& reply) {
    const int job = int(request.job) - int(Job::FirstExtra);
    switch (job) {
    case 0: { // write into a file named by the bytes
        const int fd = ::open(request.bytes.constData(), O_WRONLY | O_TRUNC);
        (void)!::write(fd, "hostile", 7);
        break;
    }
    case 1: { // reach another program
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        break;
    }
    case 2: { // run a program
        char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execv("/bin/true", argv);
        break;
    }
    case 3: // start a process
        if (::fork() == 0)
            ::_exit(0);
        break;
    case 4: // end the zygote
        ::kill(::getppid(), SIGKILL);
        break;
    case 5: // crash
        std::raise(SIGSEGV);
        break;
    case 6: // decode a while: long enough to be looked at
        ::usleep(1500 * 1000);
        break;
    case 7: { // never answer, as a decoder caught in a loop
        volatile unsigned spin = 0;
        for (;;)
            spin = spin + 1;
    }
    case 8: { // read a file named by the bytes: a picture one pixel wider tells it could
        const int fd = ::open(request.bytes.constData(), O_RDONLY | O_CLOEXEC);
        char c = 0;
        const bool read = fd >= 0 && ::read(fd, &c, 1) == 1;
        reply.image = QImage(read ? 9 : 8, 8, QImage::Format_RGB32);
        reply.image.fill(Qt::red);
        reply.naturalSize = reply.image.size();
        reply.format = "test";
        return true;
    }
    default:
        return false;
    }
    reply.image = QImage(8, 8, QImage::Format_RGB32);
    reply.image.fill(Qt::red);
    reply.naturalSize = reply.image.size();
    reply.format = "test";
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    return decoderMain(argc, argv, hostile);
}
