#include "FileAttributes.h"

#include "Error.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace lumorra {
namespace {

// The stored hidden, system and archive bits, or -1 when the file has none stored.
int storedBits(const char* local) {
    char buf[32];
    const ssize_t n = ::getxattr(local, AttributesXattr, buf, sizeof buf - 1);
    if (n <= 0)
        return -1;
    buf[n] = '\0';
    bool ok = false;
    const int v = QByteArray(buf, static_cast<int>(n)).trimmed().toInt(&ok);
    return ok ? (v & (attr::Hidden | attr::System | attr::Archive)) : -1;
}

QString fileName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

} // namespace

int fileAttributes(const QString& path) {
    const QByteArray local = QFile::encodeName(path);
    struct stat st {};
    if (::stat(local.constData(), &st) != 0)
        throw Error::fromErrno(errno);
    int bits = storedBits(local.constData());
    if (bits < 0)
        bits = attr::Archive | (fileName(path).startsWith(QLatin1Char('.')) ? attr::Hidden : 0);
    if ((st.st_mode & S_IWUSR) == 0)
        bits |= attr::ReadOnly;
    return bits;
}

bool isHiddenOrSystem(const QString& dir, const QString& name) {
    if (name.startsWith(QLatin1Char('.')))
        return true;
    const QByteArray local = QFile::encodeName(dir + QLatin1Char('/') + name);
    const int bits = storedBits(local.constData());
    return bits > 0 && (bits & (attr::Hidden | attr::System)) != 0;
}

std::vector<bool> hiddenOrSystem(const QString& dir, const std::vector<QByteArray>& names) {
    std::vector<char> flags(names.size(), 0);
    const QByteArray prefix = QFile::encodeName(dir) + '/';
    const auto byPath = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const int bits = storedBits((prefix + names[i]).constData());
            flags[i] = bits > 0 && (bits & (attr::Hidden | attr::System)) != 0;
        }
    };
    constexpr size_t ManyNames = 2000;
    if (names.size() < ManyNames) {
        byPath(0, names.size());
    } else {
        const int dirFd = ::open(prefix.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // A thread of its own takes the directory as its working directory (without changing
        // the program's), so that each look-up walks one name, not the whole path.
        const auto relative = [&](size_t begin, size_t end) {
            if (dirFd < 0 || ::unshare(CLONE_FS) != 0 || ::fchdir(dirFd) != 0) {
                byPath(begin, end);
                return;
            }
            for (size_t i = begin; i < end; ++i) {
                const int bits = storedBits(names[i].constData());
                flags[i] = bits > 0 && (bits & (attr::Hidden | attr::System)) != 0;
            }
        };
        const size_t half = names.size() / 2;
        std::thread first(relative, 0, half);
        std::thread second(relative, half, names.size());
        first.join();
        second.join();
        if (dirFd >= 0)
            ::close(dirFd);
    }
    return std::vector<bool>(flags.begin(), flags.end());
}

} // namespace lumorra
