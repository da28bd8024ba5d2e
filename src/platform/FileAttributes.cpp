#include "FileAttributes.h"

#include "Error.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace lumorra {
namespace {

// The stored hidden, system and archive bits, or -1 when the file has none stored.
int storedBits(const QByteArray& local) {
    char buf[32];
    const ssize_t n = ::getxattr(local.constData(), AttributesXattr, buf, sizeof buf - 1);
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
    int bits = storedBits(local);
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
    const int bits = storedBits(local);
    return bits > 0 && (bits & (attr::Hidden | attr::System)) != 0;
}

} // namespace lumorra
