#include "SettingsStore.h"

#include "Error.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
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
    QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()))
        throw Error::fromErrno(errno != 0 ? errno : EACCES);

    QLockFile lock(path_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000)) {
        if (lock.error() == QLockFile::PermissionError)
            throw Error::fromErrno(EACCES);
        throw Error{errc::PathAccess, QStringLiteral("The settings file is locked")};
    }

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
    bool found = false;
    auto& entries = target->entries;
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

    QSaveFile out(path_);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly))
        throw fileError(out);
    const QByteArray data = serialize(groups);
    if (out.write(data) != data.size()) {
        Error e = fileError(out);
        out.cancelWriting();
        throw e;
    }
    if (!out.commit())
        throw fileError(out);
}

} // namespace lumorra
