#include "SettingsStore.h"

#include "Error.h"
#include "FileSystem.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumorra {
namespace {

// The file as lines, so that a write changes only the lines of its keys: comments, blank lines,
// other groups and keys the program does not know stay as they are, where they are.
struct Line {
    QByteArray text; // without its line end
    QByteArray end;  // "\n", "\r\n", or empty for a last line without one
};

struct Document {
    bool byteOrderMark = false;
    std::vector<Line> lines;
};

const QByteArray Utf8Mark = QByteArrayLiteral("\xEF\xBB\xBF");

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

Document split(QByteArray text) {
    Document doc;
    // A mark that an editor put before the first line is no part of it.
    if (text.startsWith(Utf8Mark)) {
        doc.byteOrderMark = true;
        text.remove(0, Utf8Mark.size());
    }
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype nl = text.indexOf('\n', from);
        Line line;
        line.text = text.mid(from, nl < 0 ? -1 : nl - from);
        if (nl >= 0) {
            line.end = "\n";
            if (line.text.endsWith('\r')) {
                line.text.chop(1);
                line.end = "\r\n";
            }
        }
        doc.lines.push_back(std::move(line));
        from = nl < 0 ? text.size() : nl + 1;
    }
    return doc;
}

QByteArray join(const Document& doc) {
    QByteArray out;
    if (doc.byteOrderMark)
        out += Utf8Mark;
    for (const Line& line : doc.lines)
        out += line.text + line.end;
    return out;
}

// The name of the group a "[name]" line opens.
std::optional<QString> groupName(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (t.size() < 2 || !t.startsWith('[') || !t.endsWith(']'))
        return std::nullopt;
    return decodeKey(t.mid(1, t.size() - 2));
}

// The key of a "key=value" line and the position of its "="; comments, blank lines and lines
// without a key have none. A tolerant reader: an empty, truncated or garbage file reads as
// holding fewer keys, never as an error.
std::optional<std::pair<QString, qsizetype>> keyOf(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#') || groupName(line))
        return std::nullopt;
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0)
        return std::nullopt;
    QString key = decodeKey(line.left(eq));
    if (key.isEmpty())
        return std::nullopt;
    return std::make_pair(std::move(key), eq);
}

bool sameKey(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// New lines end as the file's lines do.
QByteArray lineEnd(const Document& doc) {
    for (const Line& line : doc.lines) {
        if (!line.end.isEmpty())
            return line.end;
    }
    return QByteArrayLiteral("\n");
}

// Stores one key in the group: the key's first line takes the new value and a further spelling
// of the key goes; a new key follows the last key of the group (its first section, when the
// file has the group twice), and a new group goes at the end of the file.
void setKey(Document& doc, const QString& group, const QString& key, const QString& value) {
    std::vector<Line>& lines = doc.lines;
    bool inGroup = false;
    int sections = 0;
    qsizetype anchor = -1; // the line a new key follows
    bool found = false;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size());) {
        const QByteArray& text = lines[i].text;
        if (const auto name = groupName(text)) {
            inGroup = sameKey(*name, group);
            if (inGroup && ++sections == 1)
                anchor = i;
            ++i;
            continue;
        }
        const auto entry = inGroup ? keyOf(text) : std::nullopt;
        if (entry && sameKey(entry->first, key)) {
            if (found) {
                lines.erase(lines.begin() + i); // a second spelling of the same key: one key only
                continue;
            }
            lines[i].text = text.left(entry->second + 1) + encodeValue(value);
            found = true;
        }
        if (entry && sections == 1)
            anchor = i;
        ++i;
    }
    if (found)
        return;
    const QByteArray end = lineEnd(doc);
    Line added{encodeKey(key) + '=' + encodeValue(value), end};
    if (anchor >= 0) {
        if (lines[anchor].end.isEmpty())
            lines[anchor].end = end;
        lines.insert(lines.begin() + anchor + 1, std::move(added));
        return;
    }
    if (!lines.empty()) {
        if (lines.back().end.isEmpty())
            lines.back().end = end;
        if (!lines.back().text.trimmed().isEmpty())
            lines.push_back(Line{QByteArray(), end});
    }
    lines.push_back(Line{'[' + encodeKey(group) + ']', end});
    lines.push_back(std::move(added));
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
        const bool directory = S_ISDIR(st.st_mode);
        ::close(fd);
        throw directory ? Error::fromErrno(EISDIR) : Error::program(errc::PathAccess);
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

// A write under way on a thread of its own; its values are read as stored until it is done.
struct SettingsStore::Pending {
    std::vector<std::pair<QString, QString>> values;
    QThreadPool thread;
    QFuture<bool> stored;
};

SettingsStore::SettingsStore(QString filePath, QString group)
    : path_(std::move(filePath)), group_(std::move(group)) {}

SettingsStore::~SettingsStore() {
    settle();
}

void SettingsStore::writeSoon(std::vector<std::pair<QString, QString>> values) {
    settle();
    pending_ = std::make_unique<Pending>();
    pending_->values = std::move(values);
    pending_->thread.setMaxThreadCount(1);
    // The thread writes through a store of its own, which has nothing pending: no write waits on
    // another here.
    pending_->stored = QtConcurrent::run(&pending_->thread,
                                         [path = path_, group = group_, values = pending_->values] {
                                             try {
                                                 SettingsStore(path, group).write(values);
                                                 return true;
                                             } catch (const Error&) {
                                                 return false;
                                             }
                                         });
}

void SettingsStore::settle() {
    if (!pending_)
        return;
    const bool stored = pending_->stored.result();
    const std::unique_ptr<Pending> done = std::move(pending_);
    if (stored)
        return;
    for (const auto& value : done->values) {
        try {
            write({value});
        } catch (const Error&) {
        }
    }
}

QString SettingsStore::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tovik Software/Lumorra.conf");
}

QString SettingsStore::read(const QString& key) const {
    if (pending_) {
        for (const auto& [name, value] : pending_->values) {
            if (sameKey(name, key))
                return value;
        }
    }
    QByteArray text;
    try {
        text = readAll(path_);
    } catch (const Error&) {
        return QString(); // a file that cannot be read holds no key
    }
    bool inGroup = false;
    for (const Line& line : split(std::move(text)).lines) {
        if (const auto name = groupName(line.text)) {
            inGroup = sameKey(*name, group_);
            continue;
        }
        if (!inGroup)
            continue;
        const auto entry = keyOf(line.text);
        if (entry && sameKey(entry->first, key))
            return decodeValue(line.text.mid(entry->second + 1));
    }
    return QString();
}

void SettingsStore::write(const QString& key, const QString& value) {
    write({{key, value}});
}

void SettingsStore::write(const std::vector<std::pair<QString, QString>>& values) {
    settle();
    QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()))
        throw Error::fromErrno(errno != 0 ? errno : EACCES);

    const WriteLock lock(path_ + QStringLiteral(".lock"));

    // A file that cannot be read is not replaced: what it holds would be lost.
    const QByteArray before = readAll(path_);
    Document doc = split(before);
    for (const auto& [key, value] : values)
        setKey(doc, group_, key, value);
    const QByteArray after = join(doc);

    // Every writer of the file holds the lock while its temporary exists, so a temporary found
    // now was left by a writer that was killed half way.
    const QString name = info.fileName();
    const QStringList stale = info.dir().entryList({QLatin1Char('.') + name + QStringLiteral("-*")},
                                                   QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& left : stale) {
        if (left.size() == name.size() + 8)
            QFile::remove(info.dir().filePath(left));
    }

    // A file that holds these values already stays as it is: the program's identity, written
    // at every start, is the same from one start to the next.
    if (after == before && info.exists())
        return;
    writeFileReplacing(path_, after);
}

} // namespace lumorra
