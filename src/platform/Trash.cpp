#include "Trash.h"

#include "Error.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace lumorra {
namespace {

constexpr const char InfoSuffix[] = ".trashinfo";
// Entries tried for one name before the trash counts as full.
constexpr int MaxEntries = 10000;

[[noreturn]] void fail() {
    throw Error::fromErrno(errno);
}

// An open directory, closed when it goes out of scope.
class Dir {
public:
    Dir() = default;
    explicit Dir(int fd) : fd_(fd) {}
    Dir(Dir&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Dir& operator=(Dir&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    ~Dir() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// A trash directory, open, with its path.
struct Trash {
    Dir dir;
    QByteArray path;
    // Whether its "files" and "info" must be the user's own: in a trash on a shared volume.
    bool own = false;
};

// A mounted file system. The device alone does not tell a bind mount from the mount it shows,
// and no rename goes from one to the other, so the mount's id counts too where the kernel
// gives it.
struct Mount {
    dev_t device = 0;
    quint64 id = 0; // 0: not known
    bool operator==(const Mount& o) const {
        return device == o.device && (id == 0 || o.id == 0 || id == o.id);
    }
};

std::optional<Mount> mountOf(const QByteArray& path) {
    struct statx sx {};
#if defined(STATX_MNT_ID) && __has_include(<linux/stat.h>)
    const unsigned mask = STATX_TYPE | STATX_MNT_ID;
#else
    const unsigned mask = STATX_TYPE;
#endif
    if (::statx(AT_FDCWD, path.constData(), 0, mask, &sx) != 0)
        return std::nullopt;
    Mount m;
    m.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
#if defined(STATX_MNT_ID) && __has_include(<linux/stat.h>)
    if (sx.stx_mask & STATX_MNT_ID)
        m.id = sx.stx_mnt_id;
#endif
    return m;
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray joined(const QByteArray& dir, const QByteArray& name) {
    return (dir == "/" ? QByteArray() : dir) + '/' + name;
}

// Whether an absolute path is on a mount; a path still to be made counts by the nearest
// directory above it that is there.
bool onMount(QByteArray path, const Mount& mount) {
    for (;;) {
        if (const std::optional<Mount> m = mountOf(path))
            return *m == mount;
        if ((errno != ENOENT && errno != ENOTDIR) || path == "/")
            return false;
        path = parentOf(path);
    }
}

// The top directory of the mount that holds a directory (given without symbolic links): the
// highest directory above it on the same mount.
QByteArray topDirectory(const QByteArray& dir, const Mount& mount) {
    QByteArray top = dir;
    while (top != "/") {
        const QByteArray up = parentOf(top);
        const std::optional<Mount> m = mountOf(up);
        if (!m || !(*m == mount))
            break;
        top = up;
    }
    return top;
}

// Makes a directory and whatever is missing above it, readable by the user alone. Failures
// show when the directory is opened.
void makePath(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) == 0 || errno != ENOENT || path == "/")
        return;
    makePath(parentOf(path));
    ::mkdir(path.constData(), 0700);
}

// A directory of a trash, opened; made first where it is missing. A symbolic link is refused,
// and with own, a directory that is not the user's.
Dir openDirectory(int at, const QByteArray& name, bool own) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
    Dir dir(::openat(at, name.constData(), flags));
    if (!dir.valid() && errno == ENOENT) {
        if (::mkdirat(at, name.constData(), 0700) != 0 && errno != EEXIST)
            return {};
        dir = Dir(::openat(at, name.constData(), flags));
    }
    struct stat st {};
    if (dir.valid() && own && (::fstat(dir.fd(), &st) != 0 || st.st_uid != ::geteuid()))
        return {};
    return dir;
}

// $topdir/.Trash/$uid, where $topdir/.Trash is a directory with the sticky bit that is no
// symbolic link.
std::optional<Trash> sharedTrash(int top, const QByteArray& topPath, const QByteArray& uid) {
    const Dir shared(::openat(top, ".Trash", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (!shared.valid() || ::fstat(shared.fd(), &st) != 0 || !(st.st_mode & S_ISVTX))
        return std::nullopt;
    Dir mine = openDirectory(shared.fd(), uid, true);
    if (!mine.valid())
        return std::nullopt;
    return Trash{std::move(mine), joined(topPath, ".Trash/" + uid), true};
}

// $topdir/.Trash-$uid.
std::optional<Trash> ownTrash(int top, const QByteArray& topPath, const QByteArray& uid) {
    Dir mine = openDirectory(top, ".Trash-" + uid, true);
    if (!mine.valid())
        return std::nullopt;
    return Trash{std::move(mine), joined(topPath, ".Trash-" + uid), true};
}

// The name of the n-th entry tried for a file: NAME, NAME.2, NAME.3 ..., cut at a whole
// character where NAME.trashinfo would be longer than a name may be.
QByteArray entryName(const QByteArray& name, int n) {
    const QByteArray suffix = n == 1 ? QByteArray() : '.' + QByteArray::number(n);
    const qsizetype room = NAME_MAX - qsizetype(sizeof InfoSuffix - 1) - suffix.size();
    qsizetype keep = qMin(name.size(), room);
    while (keep > 0 && keep < name.size() && (uchar(name[keep]) & 0xC0) == 0x80)
        --keep;
    return name.left(keep) + suffix;
}

QByteArray deletionDate() {
    const time_t now = ::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    char text[32];
    const size_t n = ::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return QByteArray(text, qsizetype(n));
}

QByteArray infoText(const QByteArray& original) {
    // The path as a URL path: every byte but the unreserved characters and "/" escaped.
    return "[Trash Info]\nPath=" + original.toPercentEncoding("/") +
           "\nDeletionDate=" + deletionDate() + '\n';
}

bool writeAll(int fd, const QByteArray& data) {
    const char* at = data.constData();
    size_t left = size_t(data.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        left -= size_t(n);
    }
    return true;
}

// Renames a file into a directory, failing with EEXIST where the name is taken.
int renameInto(const char* from, int dir, const char* name) {
    if (::renameat2(AT_FDCWD, from, dir, name, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
    // The file system renames only by replacing. The trash is the user's alone, so a look
    // first is enough.
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(AT_FDCWD, from, dir, name);
}

// Reserves an entry by its .trashinfo, then renames the file into "files" under the entry's
// name; a name taken in either place moves on to the next one.
std::optional<TrashEntry> putInto(const Trash& trash, const QByteArray& source,
                                  const QByteArray& name, const QByteArray& info) {
    const Dir infoDir = openDirectory(trash.dir.fd(), "info", trash.own);
    const Dir filesDir = openDirectory(trash.dir.fd(), "files", trash.own);
    if (!infoDir.valid() || !filesDir.valid())
        return std::nullopt;
    for (int n = 1; n <= MaxEntries; ++n) {
        const QByteArray entry = entryName(name, n);
        const QByteArray infoName = entry + InfoSuffix;
        const int fd = ::openat(infoDir.fd(), infoName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return std::nullopt;
        const bool written = writeAll(fd, info) && ::fdatasync(fd) == 0;
        if (::close(fd) != 0 || !written) {
            ::unlinkat(infoDir.fd(), infoName.constData(), 0);
            return std::nullopt;
        }
        if (renameInto(source.constData(), filesDir.fd(), entry.constData()) == 0) {
            return TrashEntry{QFile::decodeName(trash.path + "/info/" + infoName),
                              QFile::decodeName(trash.path + "/files/" + entry)};
        }
        const int err = errno;
        ::unlinkat(infoDir.fd(), infoName.constData(), 0);
        if (err == EEXIST)
            continue;
        // The file went meanwhile; anything else is the trash's refusal.
        struct stat st {};
        if (::lstat(source.constData(), &st) != 0)
            fail();
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

QString homeTrashDirectory() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (!data.startsWith(QLatin1Char('/'))) {
        QString home = qEnvironmentVariable("HOME");
        if (!home.startsWith(QLatin1Char('/'))) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? QFile::decodeName(pw->pw_dir) : QString();
        }
        if (!home.startsWith(QLatin1Char('/')))
            return QString();
        data = home + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(data + QStringLiteral("/Trash"));
}

std::optional<TrashEntry> moveToTrash(const QString& path, const QString& homeTrash) {
    const QByteArray source = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(source.constData(), &st) != 0)
        fail();
    if (S_ISDIR(st.st_mode))
        throw Error::fromErrno(EISDIR);
    // The file's directory without symbolic links: its volume's top is found from there, and
    // the .trashinfo records the file's place so.
    const qsizetype slash = source.lastIndexOf('/');
    const QByteArray name = source.mid(slash + 1);
    char* real = ::realpath(slash < 0    ? "."
                            : slash == 0 ? "/"
                                         : source.left(slash).constData(),
                            nullptr);
    if (!real)
        fail();
    const QByteArray dir(real);
    std::free(real);
    const QByteArray original = joined(dir, name);
    const std::optional<Mount> mount = mountOf(dir);
    if (!mount)
        fail();

    const QByteArray home = QFile::encodeName(homeTrash);
    if (home.startsWith('/') && onMount(home, *mount)) {
        makePath(home);
        Trash trash{Dir(::open(home.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), home};
        if (!trash.dir.valid())
            return std::nullopt;
        return putInto(trash, source, name, infoText(original));
    }

    // Another volume: the trash in its top directory, where the file's place is recorded
    // from there.
    const QByteArray top = topDirectory(dir, *mount);
    const QByteArray info = infoText(top == "/" ? original.mid(1) : original.mid(top.size() + 1));
    const Dir topDir(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topDir.valid())
        return std::nullopt;
    const QByteArray uid = QByteArray::number(::geteuid());
    if (const std::optional<Trash> shared = sharedTrash(topDir.fd(), top, uid)) {
        if (std::optional<TrashEntry> entry = putInto(*shared, source, name, info))
            return entry;
    }
    if (const std::optional<Trash> mine = ownTrash(topDir.fd(), top, uid))
        return putInto(*mine, source, name, info);
    return std::nullopt;
}

} // namespace lumorra
