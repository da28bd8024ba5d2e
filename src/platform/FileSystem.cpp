#include "FileSystem.h"

#include "Error.h"
#include "FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lumorra {
namespace {

QByteArray local(const QString& path) {
    return QFile::encodeName(path);
}

[[noreturn]] void fail() {
    throw Error::fromErrno(errno);
}

[[noreturn]] void failWith(int err) {
    throw Error::fromErrno(err);
}

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// A file under a hidden temporary name beside its target, removed again unless it was given
// the target's name.
struct TempFile {
    QByteArray name;
    Fd out;
    bool placed = false;
    // pattern ends in "XXXXXX".
    explicit TempFile(QByteArray pattern) : name(std::move(pattern)) {
        out.fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (out.fd < 0) {
            placed = true; // nothing to remove
            fail();
        }
    }
    ~TempFile() {
        if (!placed)
            ::unlink(name.constData());
    }
    // Flushes the data to the disk and closes the file.
    void finish() {
        if (::fsync(out.fd) != 0)
            fail();
        const int closed = ::close(out.fd);
        out.fd = -1;
        if (closed != 0)
            fail();
    }
};

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int renameat2NoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1u));
#else
    errno = ENOSYS;
    return -1;
#endif
}

// The process's file creation mask, read without changing it.
mode_t creationMask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return static_cast<mode_t>(mask);
            }
        }
    }
    return 022;
}

} // namespace

QString lookUpFile(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.isEmpty())
        return QString();
    const QString dir = info.path();
    auto isOrdinaryFile = [&](const QString& candidate) {
        struct stat st {};
        if (::stat(local(dir + QLatin1Char('/') + candidate).constData(), &st) != 0)
            return false;
        return S_ISREG(st.st_mode) && !isHiddenOrSystem(dir, candidate);
    };
    if (isOrdinaryFile(name))
        return name;
    const QStringList entries =
        QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0 && isOrdinaryFile(entry))
            return entry;
    }
    return QString();
}

qint64 fileLength(const QString& path) {
    struct stat st {};
    if (::stat(local(path).constData(), &st) != 0)
        fail();
    if (S_ISDIR(st.st_mode))
        failWith(EISDIR);
    return static_cast<qint64>(st.st_size);
}

QDateTime fileModified(const QString& path) {
    struct stat st {};
    if (::stat(local(path).constData(), &st) != 0)
        fail();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(st.st_mtim.tv_sec) * 1000 +
                                          st.st_mtim.tv_nsec / 1000000);
}

void deleteFile(const QString& path) {
    const QByteArray p = local(path);
    struct stat st {};
    if (::lstat(p.constData(), &st) != 0)
        fail();
    if (S_ISDIR(st.st_mode))
        failWith(EISDIR);
    if (::unlink(p.constData()) != 0)
        fail();
}

void renameNoReplace(const QString& from, const QString& to) {
    const QByteArray f = local(from);
    const QByteArray t = local(to);
    if (renameat2NoReplace(f.constData(), t.constData()) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        fail();
    // The file system cannot rename without replacing. A file takes its new name as a second
    // link, which fails when the name exists; a directory is renamed after a look.
    struct stat st {};
    if (::lstat(f.constData(), &st) != 0)
        fail();
    if (!S_ISDIR(st.st_mode)) {
        if (::link(f.constData(), t.constData()) != 0)
            fail();
        if (::unlink(f.constData()) != 0) {
            const int err = errno;
            ::unlink(t.constData());
            failWith(err);
        }
        return;
    }
    struct stat target {};
    if (::lstat(t.constData(), &target) == 0)
        failWith(EEXIST);
    if (::rename(f.constData(), t.constData()) != 0)
        fail();
}

qint64 copyFile(const QString& from, const QString& to, ExistingTarget existing) {
    const QByteArray f = local(from);
    const QByteArray t = local(to);
    Fd in;
    // O_NONBLOCK keeps the open of a named pipe from waiting for a writer for ever; reads of a
    // regular file, the only kind copied, never block anyway.
    in.fd = ::open(f.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in.fd < 0)
        fail();
    struct stat st {};
    if (::fstat(in.fd, &st) != 0)
        fail();
    if (S_ISDIR(st.st_mode))
        failWith(EISDIR);
    // A pipe, socket or device has no end a copy could stop at.
    if (!S_ISREG(st.st_mode))
        throw Error::program(errc::PathAccess);
    struct stat target {};
    if (existing == ExistingTarget::Refuse && ::lstat(t.constData(), &target) == 0)
        failWith(EEXIST);

    TempFile temp(local(QFileInfo(to).path() + QLatin1String("/.lumorra-copy-XXXXXX")));
    qint64 copied = 0;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer.data(), static_cast<size_t>(buffer.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail();
        }
        if (n == 0)
            break;
        if (!writeAll(temp.out.fd, buffer.constData(), static_cast<size_t>(n)))
            fail();
        copied += n;
    }
    if (copied != static_cast<qint64>(st.st_size))
        failWith(EIO);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(temp.out.fd, times);
    ::fchmod(temp.out.fd, st.st_mode & 07777);
    temp.finish();
    if (existing == ExistingTarget::Replace) {
        if (::rename(temp.name.constData(), t.constData()) != 0)
            fail();
    } else {
        renameNoReplace(QFile::decodeName(temp.name), to);
    }
    temp.placed = true;
    return copied;
}

void writeFileReplacing(const QString& path, const QByteArray& data) {
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty())
        target = info.canonicalFilePath();
    const QByteArray t = local(target);
    struct stat existing {};
    const bool replacing = ::stat(t.constData(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode))
        failWith(EISDIR);

    const QFileInfo targetInfo(target);
    TempFile temp(local(targetInfo.path() + QStringLiteral("/.") + targetInfo.fileName() +
                        QStringLiteral("-XXXXXX")));
    if (!writeAll(temp.out.fd, data.constData(), static_cast<size_t>(data.size())))
        fail();
    ::fchmod(temp.out.fd, replacing ? (existing.st_mode & 07777) : (0666 & ~creationMask()));
    temp.finish();
    if (::rename(temp.name.constData(), t.constData()) != 0)
        fail();
    temp.placed = true;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(local(a).constData(), &sa) != 0 || ::stat(local(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void makeDirectory(const QString& path) {
    if (::mkdir(local(path).constData(), 0777) != 0)
        fail();
}

} // namespace lumorra
