#include "SettingsStore.h"

#include "Error.h"
#include "FileSystem.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumorra {
namespace {

struct Entry {
    QString key;
    QString value;
};

struct Group {
    QString name;
    std::vector<Entry> entries;
};

bool plainKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

QByteArray encodeKey(const QString& key) {
    QByteArray out;
    for (char c : key.toUtf8()) {
        if (plainKeyChar(c)) {
            out += c;
        } else {
            out += '%';
            out += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        }
    }
    return out;
}

QString decodeKey(const QByteArray& raw) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(raw.trimmed()));
}

bool needsQuotes(const QByteArray& v) {
    if (v.isEmpty())
        return false;
    if (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t')
        return true;
    if (v.front() == '@')
        return true;
    for (char c : v) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '"' || c == '\\' || c == ';' || c == ',' || c == '=')
            return true;
    }
    return false;
}

QByteArray encodeValue(const QString& value) {
    QByteArray v = value.toUtf8();
    if (!needsQuotes(v))
        return v;
    QByteArray out = "\"";
    for (char c : v) {
        auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7f) {
                out += "\\x";
                out += QByteArray::number(u, 16).rightJustified(2, '0');
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

QString decodeValue(QByteArray raw) {
    raw = raw.trimmed();
    if (!raw.startsWith('"'))
        return QString::fromUtf8(raw);
    QByteArray out;
    for (qsizetype i = 1; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '"')
            break;
        if (c != '\\' || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        char e = raw[++i];
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            QByteArray hex = raw.mid(i + 1, 2);
            bool ok = false;
            int code = hex.toInt(&ok, 16);
            if (ok && hex.size() == 2) {
                out += static_cast<char>(code);
                i += 2;
            } else {
                out += 'x';
            }
            break;
        }
        default:
            out += e;
        }
    }
    return QString::fromUtf8(out);
}

// Tolerant reader: lines that are neither a group header nor "key=value" are skipped, so an
// empty, truncated or garbage file reads as holding fewer keys, never as an error.
std::vector<Group> parse(const QByteArray& text) {
    std::vector<Group> groups;
    groups.push_back(Group{QString(), {}});
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        QByteArray t = line.trimmed();
        if (t.isEmpty() || t.startsWith(';') || t.startsWith('#'))
            continue;
        if (t.startsWith('[') && t.endsWith(']')) {
            groups.push_back(Group{decodeKey(t.mid(1, t.size() - 2)), {}});
            continue;
        }
        qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        QString key = decodeKey(line.left(eq));
        if (key.isEmpty())
            continue;
        groups.back().entries.push_back(Entry{key, decodeValue(line.mid(eq + 1))});
    }
    return groups;
}

QByteArray serialize(const std::vector<Group>& groups) {
    QByteArray out;
    for (const Group& g : groups) {
        if (g.entries.empty())
            continue;
        if (!out.isEmpty())
            out += '\n';
        if (!g.name.isEmpty())
            out += '[' + encodeKey(g.name) + "]\n";
        for (const Entry& e : g.entries)
            out += encodeKey(e.key) + '=' + encodeValue(e.value) + '\n';
    }
    return out;
}

bool sameKey(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

Error fileError(const QFileDevice& f) {
    // QFile keeps no errno; the device's error code tells the kind of failure.
    switch (f.error()) {
    case QFileDevice::PermissionsError:
        return Error::fromErrno(EACCES);
    case QFileDevice::ResourceError:
        return Error::fromErrno(ENOSPC);
    case QFileDevice::OpenError:
        return errno != 0 ? Error::fromErrno(errno) : Error::program(errc::PathAccess);
    default:
        return Error{errc::PathAccess, f.errorString()};
    }
}

QByteArray readAll(const QString& path) {
    // O_NONBLOCK keeps the open of a named pipe in the file's place from waiting for a writer
    // for ever; only a regular file is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {}; // no file: no keys
        throw Error::fromErrno(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error::program(errc::PathAccess);
    }
    QFile f;
    errno = 0;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw fileError(f);
    }
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw fileError(f);
    return data;
}

// Writers take turns through an exclusive lock on a lock file beside the settings file. The
// lock is the kernel's: a waiting writer gets it the moment the holder lets go, and a holder
// that dies (even by SIGKILL) lets go at once, so a killed program never blocks the other one.
// It is held only while one small file is read and replaced. The holder removes the lock file
// before letting go; a writer that was waiting on the removed file sees that its file is no
// longer the one under the name and starts again. Where the file system has no locks, the
// write goes on unlocked: the file is still replaced whole.
class WriteLock {
public:
    explicit WriteLock(const QString& path) : path_(QFile::encodeName(path)) {
        for (;;) {
            fd_ = ::open(path_.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
            if (fd_ < 0)
                throw Error::fromErrno(errno);
            int locked;
            while ((locked = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
            }
            if (locked != 0) {
                const int err = errno;
                if (err == ENOLCK || err == EOPNOTSUPP || err == ENOSYS)
                    return;
                ::close(fd_);
                throw Error::fromErrno(err);
            }
            struct stat held {};
            struct stat named {};
            if (::fstat(fd_, &held) == 0 && ::stat(path_.constData(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                locked_ = true;
                return;
            }
            ::close(fd_);
        }
    }
    ~WriteLock() {
        if (locked_)
            ::unlink(path_.constData());
        ::close(fd_);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    QByteArray path_;
    int fd_ = -1;
    bool locked_ = false;
};

} // namespace

SettingsStore::SettingsStore(QString filePath, QString group)
    : path_(std::move(filePath)), group_(std::move(group)) {}

QString SettingsStore::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tovik Software/Lumorra.conf");
}

QString SettingsStore::read(const QString& key) const {
    const std::vector<Group> groups = parse(readAll(path_));
    for (const Group& g : groups) {
        if (!sameKey(g.name, group_))
            continue;
        for (const Entry& e : g.entries) {
            if (sameKey(e.key, key))
                return e.value;
        }
    }
    return QString();
}

void SettingsStore::write(const QString& key, const QString& value) {
    write({{key, value}});
}

void SettingsStore::write(const std::vector<std::pair<QString, QString>>& values) {
    QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()))
        throw Error::fromErrno(errno != 0 ? errno : EACCES);

    const WriteLock lock(path_ + QStringLiteral(".lock"));

    std::vector<Group> groups = parse(readAll(path_));
    Group* target = nullptr;
    for (Group& g : groups) {
        if (sameKey(g.name, group_)) {
            target = &g;
            break;
        }
    }
    if (!target) {
        groups.push_back(Group{group_, {}});
        target = &groups.back();
    }
    auto& entries = target->entries;
    for (const auto& [key, value] : values) {
        bool found = false;
        for (auto it = entries.begin(); it != entries.end();) {
            if (!sameKey(it->key, key)) {
                ++it;
                continue;
            }
            if (found) {
                it = entries.erase(it); // a second spelling of the same key: one key only
                continue;
            }
            it->value = value;
            found = true;
            ++it;
        }
        if (!found)
            entries.push_back(Entry{key, value});
    }

    // Every writer of the file holds the lock while its temporary exists, so a temporary found
    // now was left by a writer that was killed half way.
    const QString name = info.fileName();
    const QStringList stale = info.dir().entryList({QLatin1Char('.') + name + QStringLiteral("-*")},
                                                   QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& left : stale) {
        if (left.size() == name.size() + 8)
            QFile::remove(info.dir().filePath(left));
    }

    writeFileReplacing(path_, serialize(groups));
}

} // namespace lumorra
