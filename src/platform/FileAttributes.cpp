#include "FileAttributes.h"

#include "Error.h"
#include "XattrQueue.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace lumorra {
namespace {

// The hidden, system and archive bits of a stored value of n bytes, or -1 for none.
int parseBits(const char* value, ssize_t n) {
    if (n <= 0)
        return -1;
    bool ok = false;
    const int v = QByteArray(value, static_cast<int>(n)).trimmed().toInt(&ok);
    return ok ? (v & (attr::Hidden | attr::System | attr::Archive)) : -1;
}

// The stored hidden, system and archive bits, or -1 when the file has none stored.
int storedBits(const char* local) {
    char buf[32];
    return parseBits(buf, ::getxattr(local, AttributesXattr, buf, sizeof buf - 1));
}

bool hiddenBits(int bits) {
    return bits > 0 && (bits & (attr::Hidden | attr::System)) != 0;
}

QString fileName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

// The hidden, system and archive bits a file reads as: the stored ones, else those of a fresh
// file of its name.
int effectiveBits(const QString& path, const char* local) {
    const int bits = storedBits(local);
    if (bits >= 0)
        return bits;
    return attr::Archive | (fileName(path).startsWith(QLatin1Char('.')) ? attr::Hidden : 0);
}

bool extendedAttributesRefused(int err) {
    return err == ENOTSUP || err == EOPNOTSUPP;
}

// A file's permission bits, changed and given back.
struct FileMode {
    const char* local;
    mode_t mode;
    bool set(mode_t to) {
        if (to == mode)
            return true;
        if (::chmod(local, to) != 0)
            return false;
        mode = to;
        return true;
    }
};

} // namespace

int fileAttributes(const QString& path) {
    const QByteArray local = QFile::encodeName(path);
    struct stat st {};
    if (::stat(local.constData(), &st) != 0)
        throw Error::fromErrno(errno);
    int bits = effectiveBits(path, local.constData());
    if ((st.st_mode & S_IWUSR) == 0)
        bits |= attr::ReadOnly;
    return bits;
}

void setFileAttributes(const QString& path, int value) {
    const QByteArray local = QFile::encodeName(path);
    const char* p = local.constData();
    struct stat st {};
    if (::stat(p, &st) != 0)
        throw Error::fromErrno(errno);
    // Only files and directories take attributes: the system refuses them on a named pipe, a
    // socket or a device, whatever they would change.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw Error::fromErrno(EPERM);
    const mode_t before = st.st_mode & 07777;
    const mode_t after = (value & attr::ReadOnly)
                             ? before & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)
                             : before | S_IWUSR;
    const int bits = value & (attr::Hidden | attr::System | attr::Archive);
    FileMode mode{p, before};
    // The earlier stored value, to go back to when the permissions cannot be changed.
    char earlier[32];
    ssize_t earlierSize = -1;
    bool written = false;
    if (effectiveBits(path, p) != bits) {
        // Only a file that may be written takes an extended attribute: it is written before the
        // write permission goes, and after the owner's is given back.
        if ((before & S_IWUSR) == 0 && !mode.set(before | S_IWUSR))
            throw Error::fromErrno(errno);
        earlierSize = ::getxattr(p, AttributesXattr, earlier, sizeof earlier);
        const QByteArray text = QByteArray::number(bits);
        if (::setxattr(p, AttributesXattr, text.constData(), size_t(text.size()), 0) == 0) {
            written = true;
        } else if (!extendedAttributesRefused(errno)) {
            const int err = errno;
            mode.set(before);
            throw Error::fromErrno(err);
        }
    }
    if (!mode.set(after)) {
        const int err = errno;
        // The user may write the file but not change its permissions (it is someone else's):
        // the file keeps what it had.
        if (written) {
            if (earlierSize >= 0)
                ::setxattr(p, AttributesXattr, earlier, size_t(earlierSize), 0);
            else
                ::removexattr(p, AttributesXattr);
        }
        throw Error::fromErrno(err);
    }
}

bool isHiddenOrSystem(const QString& dir, const QString& name) {
    if (name.startsWith(QLatin1Char('.')))
        return true;
    const QByteArray local = QFile::encodeName(dir + QLatin1Char('/') + name);
    const int bits = storedBits(local.constData());
    return bits > 0 && (bits & (attr::Hidden | attr::System)) != 0;
}

std::vector<bool> hiddenOrSystem(const QString& dir, const std::vector<QByteArray>& names) {
    std::vector<const char*> pointers;
    pointers.reserve(names.size());
    for (const QByteArray& n : names)
        pointers.push_back(n.constData());
    return HiddenLookup(dir, std::move(pointers)).wait();
}

struct HiddenLookup::Work {
    QByteArray prefix; // the directory and "/"
    std::vector<const char*> names;
    std::vector<char> flags;
    std::atomic<size_t> next{0};
    // Set while the helper hands the look-ups to the kernel's queue: the queue then works on
    // several of them at once, and the caller's thread only waits.
    std::atomic<bool> queued{false};
    std::thread helper;
    bool waited = false;

    static constexpr size_t Chunk = 64;

    // Claims the next run of names: false when none is left.
    bool claim(size_t& begin, size_t& end) {
        begin = next.fetch_add(Chunk, std::memory_order_relaxed);
        if (begin >= names.size())
            return false;
        end = std::min(begin + Chunk, names.size());
        return true;
    }
    void byPath(size_t i) { flags[i] = hiddenBits(storedBits((prefix + names[i]).constData())); }
    void relative(size_t i) { flags[i] = hiddenBits(storedBits(names[i])); }

    // The helper thread: takes the directory as its working directory (without changing the
    // program's), so that each look-up walks one name, not the whole path.
    void help() {
        const int dirFd = ::open(prefix.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool inDir = dirFd >= 0 && ::unshare(CLONE_FS) == 0 && ::fchdir(dirFd) == 0;
        if (dirFd >= 0)
            ::close(dirFd);
        size_t begin = 0, end = 0;
        if (inDir) {
            XattrQueue queue;
            if (queue.open()) {
                queued = true;
                queue.run(
                    AttributesXattr,
                    [&](uint64_t& id, const char*& path) {
                        if (begin == end && !claim(begin, end))
                            return false;
                        id = begin;
                        path = names[begin++];
                        return true;
                    },
                    [&](uint64_t id, int result, const char* value) {
                        if (result == -ECANCELED || (result < 0 && result != -ENODATA))
                            relative(id); // read it again the plain way, errors and all
                        else
                            flags[id] = hiddenBits(parseBits(value, result));
                    });
                queued = false;
                // The names of a run the queue stopped taking.
                for (; begin < end; ++begin)
                    relative(begin);
            }
        }
        while (claim(begin, end)) {
            for (size_t i = begin; i < end; ++i)
                inDir ? relative(i) : byPath(i);
        }
    }
};

HiddenLookup::HiddenLookup(const QString& dir, std::vector<const char*> names)
    : work_(std::make_unique<Work>()) {
    Work& w = *work_;
    w.prefix = QFile::encodeName(dir) + '/';
    w.names = std::move(names);
    w.flags.assign(w.names.size(), 0);
    // A short list is read when asked for: a thread would cost more than it saves.
    constexpr size_t ManyNames = 256;
    if (w.names.size() >= ManyNames) {
        try {
            w.helper = std::thread([&w] { w.help(); });
        } catch (const std::system_error&) {
            // No thread to be had: wait() reads them all.
        }
    }
}

HiddenLookup::~HiddenLookup() {
    if (work_ && !work_->waited)
        wait();
}

std::vector<bool> HiddenLookup::wait() {
    Work& w = *work_;
    w.waited = true;
    size_t begin = 0, end = 0;
    while (!w.queued && w.claim(begin, end)) {
        for (size_t i = begin; i < end; ++i)
            w.byPath(i);
    }
    if (w.helper.joinable())
        w.helper.join();
    return std::vector<bool>(w.flags.begin(), w.flags.end());
}

} // namespace lumorra
