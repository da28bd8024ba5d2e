#include "Confinement.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/ucontext.h>
#include <unistd.h>

namespace lumorra::picture {
namespace {

void limitResources() {
    // SIGXCPU at the soft limit, SIGKILL a second later. Soft and hard limits are equal
    // elsewhere: a worker cannot raise them again.
    const rlimit cpu{WorkerCpuSeconds, WorkerCpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    // (No file size limit: it holds for the memfds of the answer too.)
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

// The Landlock ruleset as the newest kernels take it; older ones take a prefix of it.
struct LandlockRuleset {
    quint64 handledAccessFs;
    quint64 handledAccessNet;
    quint64 scoped;
};

// No file access, no TCP, no abstract sockets or signals outside the worker: a ruleset that
// handles every right and grants none but reading the files and directories beneath
// `readable`. Where the kernel has no Landlock the filter alone holds.
void denyFilesystem(const QByteArrayList& readable = {}) {
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return;
    LandlockRuleset r{};
    r.handledAccessFs = (quint64(1) << 13) - 1; // the rights of the first version
    if (abi >= 2)
        r.handledAccessFs |= quint64(1) << 13; // refer
    if (abi >= 3)
        r.handledAccessFs |= quint64(1) << 14; // truncate
    if (abi >= 5)
        r.handledAccessFs |= quint64(1) << 15; // ioctl on devices
    std::size_t size = sizeof r.handledAccessFs;
    if (abi >= 4) {
        r.handledAccessNet = 3; // bind and connect TCP
        size += sizeof r.handledAccessNet;
    }
    if (abi >= 6) {
        r.scoped = 3; // abstract unix sockets, signals
        size += sizeof r.scoped;
    }
    const long fd = ::syscall(SYS_landlock_create_ruleset, &r, size, 0);
    if (fd < 0)
        return;
    for (const QByteArray& path : readable) {
        const int at = ::open(path.constData(), O_PATH | O_CLOEXEC);
        if (at < 0)
            continue;
        struct stat st {};
        landlock_path_beneath_attr rule{};
        rule.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE;
        if (::fstat(at, &st) == 0 && S_ISDIR(st.st_mode))
            rule.allowed_access |= LANDLOCK_ACCESS_FS_READ_DIR;
        rule.parent_fd = at;
        ::syscall(SYS_landlock_add_rule, int(fd), LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        ::close(at);
    }
    ::syscall(SYS_landlock_restrict_self, int(fd), 0);
    ::close(int(fd));
}

// glibc opens a few files of the system lazily, long after start: malloc the overcommit setting
// when it first shrinks a thread's heap, sysconf() the list of processors. Such an open fails
// as a missing file, which glibc copes with; any other open ends the worker with SIGSYS, as
// every other refused call does. (The call is never made either way.)
bool lazilyRead(const char* path) {
    static const char* const known[] = {"/proc/sys/vm/overcommit_memory",
                                        "/sys/devices/system/cpu/online",
                                        "/sys/devices/system/cpu/possible", "/proc/stat"};
    for (const char* k : known) {
        if (path != nullptr && std::strcmp(path, k) == 0)
            return true;
    }
    return false;
}

void onRefusedOpen(int, siginfo_t* info, void* context) {
#if defined(__x86_64__)
    auto* uc = static_cast<ucontext_t*>(context);
    if (info->si_syscall == SYS_openat &&
        lazilyRead(reinterpret_cast<const char*>(uc->uc_mcontext.gregs[REG_RSI]))) {
        uc->uc_mcontext.gregs[REG_RAX] = -ENOENT;
        return;
    }
#else
    Q_UNUSED(info);
    Q_UNUSED(context);
#endif
    std::signal(SIGSYS, SIG_DFL);
    sigset_t sys;
    sigemptyset(&sys);
    sigaddset(&sys, SIGSYS);
    ::sigprocmask(SIG_UNBLOCK, &sys, nullptr);
    ::raise(SIGSYS);
    ::_exit(128 + SIGSYS);
}

// A comparison of a call's argument `n`; written out, as the library's macros leave a field unset.
scmp_arg_cmp argument(unsigned n, scmp_compare op, scmp_datum_t a, scmp_datum_t b = 0) {
    return scmp_arg_cmp{n, op, a, b};
}

struct Filter {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_KILL_PROCESS);
    bool ok = ctx != nullptr;
    ~Filter() {
        if (ctx != nullptr)
            seccomp_release(ctx);
    }
    void allow(int syscall) { ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, syscall, 0) == 0; }
    template <class... A> void allowIf(int syscall, A... comparisons) {
        ok =
            ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, syscall, sizeof...(A), comparisons...) == 0;
    }
    void refuse(int syscall, int error) {
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ERRNO(error), syscall, 0) == 0;
    }
};

// What a drawing worker may do besides: open files to read them (the flags that write, make,
// truncate or append end it), look at paths and directories, and wake Qt's threads (eventfd).
void allowReading(Filter& f) {
    constexpr scmp_datum_t writing =
        O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND | (O_TMPFILE & ~O_DIRECTORY);
    f.allowIf(SCMP_SYS(openat), argument(2, SCMP_CMP_MASKED_EQ, writing, 0));
    f.allowIf(SCMP_SYS(open), argument(1, SCMP_CMP_MASKED_EQ, writing, 0));
    for (int s : {SCMP_SYS(newfstatat), SCMP_SYS(statx), SCMP_SYS(stat), SCMP_SYS(lstat),
                  SCMP_SYS(access), SCMP_SYS(faccessat), SCMP_SYS(faccessat2), SCMP_SYS(readlink),
                  SCMP_SYS(readlinkat), SCMP_SYS(getdents64), SCMP_SYS(fstatfs), SCMP_SYS(statfs),
                  SCMP_SYS(getcwd), SCMP_SYS(getuid), SCMP_SYS(geteuid), SCMP_SYS(getgid),
                  SCMP_SYS(getegid), SCMP_SYS(eventfd2)})
        f.allow(s);
}

bool loadFilter(bool drawing) {
    Filter f;
    // Descriptors it holds: the job's socket, the picture's bytes, the memory of the answer.
    for (int s :
         {SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(write), SCMP_SYS(writev),
          SCMP_SYS(pwrite64), SCMP_SYS(lseek), SCMP_SYS(close), SCMP_SYS(recvmsg),
          SCMP_SYS(sendmsg), SCMP_SYS(recvfrom), SCMP_SYS(sendto), SCMP_SYS(fstat),
          SCMP_SYS(memfd_create), SCMP_SYS(ftruncate), SCMP_SYS(fallocate), SCMP_SYS(fcntl)})
        f.allow(s);
    // fstat() is fstatat(fd, "", AT_EMPTY_PATH) in glibc, Qt's is statx(fd, "", AT_EMPTY_PATH).
    if (drawing) {
        allowReading(f);
    } else {
        f.allowIf(SCMP_SYS(newfstatat),
                  argument(3, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
        f.allowIf(SCMP_SYS(statx), argument(2, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    }
    // Memory.
    for (int s : {SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect),
                  SCMP_SYS(brk), SCMP_SYS(madvise), SCMP_SYS(mincore)})
        f.allow(s);
    // Threads, and what they wait with. clone3 passes its flags in memory the filter cannot read:
    // it fails as unknown, and glibc falls back to clone, whose flags it can.
    f.allowIf(SCMP_SYS(clone), argument(0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    f.refuse(SCMP_SYS(clone3), ENOSYS);
    for (int s : {SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
                  SCMP_SYS(sched_getaffinity), SCMP_SYS(membarrier), SCMP_SYS(exit),
                  SCMP_SYS(exit_group), SCMP_SYS(restart_syscall)})
        f.allow(s);
    f.allowIf(SCMP_SYS(prctl), argument(0, SCMP_CMP_EQ, PR_SET_NAME));
    f.allowIf(SCMP_SYS(prctl), argument(0, SCMP_CMP_EQ, PR_GET_NAME));
    // Limits may be read, not changed.
    f.allowIf(SCMP_SYS(prlimit64), argument(0, SCMP_CMP_EQ, 0), argument(2, SCMP_CMP_EQ, 0));
    f.allow(SCMP_SYS(getrlimit));
    // Time, identity, randomness.
    for (int s : {SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday),
                  SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep), SCMP_SYS(getpid),
                  SCMP_SYS(gettid), SCMP_SYS(getrandom), SCMP_SYS(uname), SCMP_SYS(sysinfo)})
        f.allow(s);
    // Signals to itself only: abort() and raise(), and the handlers' own calls.
    const pid_t self = ::getpid();
    f.allowIf(SCMP_SYS(tgkill), argument(0, SCMP_CMP_EQ, scmp_datum_t(self)));
    f.allowIf(SCMP_SYS(kill), argument(0, SCMP_CMP_EQ, scmp_datum_t(self)));
    for (int s : {SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigaction),
                  SCMP_SYS(sigaltstack)})
        f.allow(s);
    if (drawing)
        return f.ok && seccomp_load(f.ctx) == 0;
    f.ok = f.ok && seccomp_rule_add(f.ctx, SCMP_ACT_TRAP, SCMP_SYS(openat), 0) == 0;
    struct sigaction trap {};
    trap.sa_sigaction = onRefusedOpen;
    trap.sa_flags = SA_SIGINFO;
    sigemptyset(&trap.sa_mask);
    return f.ok && ::sigaction(SIGSYS, &trap, nullptr) == 0 && seccomp_load(f.ctx) == 0;
}

} // namespace

void limitMemory(qint64 memory) {
    if (SanitizedBuild || memory <= 0)
        return;
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char text[64] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return;
    const unsigned long long pages = std::strtoull(text, nullptr, 10);
    const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + rlim_t(memory);
    const rlimit l{limit, limit};
    ::setrlimit(RLIMIT_AS, &l);
}

void restoreDefaultSignals() {
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            std::signal(sig, sig == SIGPIPE ? SIG_IGN : SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

namespace {

bool confineAs(qint64 memory, bool drawing, const QByteArrayList& readable) {
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    // Core dumps off, and /proc/PID of the worker not open to other processes of the user.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    limitMemory(memory);
    limitResources();
    denyFilesystem(readable);
    // The sanitizer's runtime writes its reports with calls the filter refuses (it opens
    // /proc/self/maps, starts a symbolizer): sanitizer builds rely on the other walls.
    if (SanitizedBuild)
        return true;
    return loadFilter(drawing);
}

} // namespace

bool confine(qint64 memory) {
    return confineAs(memory, false, {});
}

bool confineDrawing(qint64 memory, const QByteArrayList& readable) {
    return confineAs(memory, true, readable);
}

} // namespace lumorra::picture
