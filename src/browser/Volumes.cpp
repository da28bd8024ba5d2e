#include "Volumes.h"

#include "platform/Error.h"
#include "platform/MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace lumorra {
namespace {

// The fields of one line of the mount table that decide whether the volume is shown:
// "id parent major:minor root mount-point options [optional fields] - type source super-options"
struct Mount {
    QString root; // the directory of the file system that appears at the mount point
    QString mountPoint;
    QByteArray options;
    QByteArray type;
    QString source;
    QByteArray superOptions;
};

// The table writes space, tab, newline and backslash in a path as octal escapes ("\040").
QString unescape(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto octal = [](char c) { return c >= '0' && c <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) &&
            octal(field[i + 2]) && octal(field[i + 3])) {
            out.append(char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                            (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return QFile::decodeName(out);
}

bool parse(const QByteArray& line, Mount& m) {
    const QList<QByteArray> fields = line.split(' ');
    const qsizetype dash = fields.indexOf("-", 6);
    if (fields.size() < 6 || dash < 0 || dash + 3 > fields.size())
        return false;
    m.root = unescape(fields[3]);
    m.mountPoint = unescape(fields[4]);
    m.options = fields[5];
    m.type = fields[dash + 1];
    m.source = unescape(fields[dash + 2]);
    m.superOptions = dash + 3 < fields.size() ? fields[dash + 3] : QByteArray();
    return true;
}

// The value of an option "name=value", or whether a bare option is there ("ro" gives "ro").
std::optional<QByteArray> option(const QByteArray& options, QByteArrayView name) {
    for (const QByteArray& o : options.split(',')) {
        if (o == name)
            return o;
        if (o.startsWith(name) && o.size() > name.size() && o[name.size()] == '=')
            return o.mid(name.size() + 1);
    }
    return std::nullopt;
}

bool isBelow(const QString& path, const QString& dir) {
    return path.startsWith(dir) && path.size() > dir.size() && path[dir.size()] == QLatin1Char('/');
}

// File systems of the kernel, of packaging and of containers: nothing of the user's in them.
bool systemType(const QByteArray& type) {
    static const QList<QByteArray> types =
        QByteArray("proc sysfs devtmpfs devpts cgroup cgroup2 securityfs debugfs tracefs pstore "
                   "mqueue hugetlbfs fusectl configfs bpf autofs binfmt_misc overlay squashfs nsfs "
                   "efivarfs rpc_pipefs selinuxfs aufs fuse.snapfuse fuse.lxcfs fuse.portal "
                   "fuse.gvfsd-fuse fuse.fuse-overlayfs")
            .split(' ');
    return types.contains(type);
}

// Where the system, its boot loader, snaps and containers mount their own file systems.
bool systemPlace(const QString& path) {
    static const QStringList places =
        QStringLiteral("/boot /efi /proc /sys /dev /run /snap /var/snap /var/lib/snapd "
                       "/var/lib/docker /var/lib/containers")
            .split(QLatin1Char(' '));
    return std::any_of(places.begin(), places.end(),
                       [&](const QString& place) { return path == place || isBelow(path, place); });
}

bool shown(const Mount& m, const MountView& view) {
    if (m.mountPoint == QLatin1String("/"))
        return false; // always in the list, first
    if (systemType(m.type))
        return false;
    // Part of a file system bound elsewhere (a sandbox's or container's files), rather than a
    // whole one; a btrfs subvolume counts as whole.
    const std::optional<QByteArray> subvolume = option(m.superOptions, "subvol");
    if (m.root != QLatin1String("/") && (!subvolume || m.root != QFile::decodeName(*subvolume)))
        return false;
    const bool readOnly = option(m.options, "ro") || option(m.superOptions, "ro");
    const bool inMemory = m.type == "tmpfs" || m.type == "ramfs";
    const bool volumePlace =
        isBelow(m.mountPoint, QStringLiteral("/media")) ||
        isBelow(m.mountPoint, QStringLiteral("/mnt")) ||
        (!view.user.isEmpty() && isBelow(m.mountPoint, QStringLiteral("/run/media/") + view.user));
    if (volumePlace)
        return !(readOnly && inMemory); // an empty read-only file system is a sandbox's
    if (systemPlace(m.mountPoint))
        return false;
    return m.source.startsWith(QLatin1String("/dev/")) && !readOnly && view.writable &&
           view.writable(m.mountPoint);
}

// Udev writes the characters of a label that are not allowed in a file name as "\x20".
QString udevUnescape(const QString& name) {
    QByteArray raw = QFile::encodeName(name);
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        bool ok = false;
        if (raw[i] == '\\' && i + 3 < raw.size() && raw[i + 1] == 'x') {
            const int c = raw.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(c));
                i += 3;
                continue;
            }
        }
        out.append(raw[i]);
    }
    return QString::fromUtf8(out);
}

} // namespace

std::vector<Volume> volumesOfMountTable(const QByteArray& table, const MountView& view) {
    // A later line for the same mount point covers the earlier ones.
    std::map<QString, Volume> byPoint;
    for (const QByteArray& line : table.split('\n')) {
        Mount m;
        if (!parse(line, m))
            continue;
        if (!shown(m, view)) {
            byPoint.erase(m.mountPoint);
            continue;
        }
        Volume v{m.mountPoint, m.mountPoint, true};
        const QString label = view.label && m.source.startsWith(QLatin1String("/dev/"))
                                  ? view.label(m.source)
                                  : QString();
        if (!label.isEmpty())
            v.name += QStringLiteral("  [") + label + QLatin1Char(']');
        byPoint[m.mountPoint] = v;
    }
    std::vector<Volume> out{Volume{QStringLiteral("/"), QStringLiteral("/"), true}};
    for (auto& [point, v] : byPoint)
        out.push_back(std::move(v));
    return out;
}

MountView systemMountView() {
    MountView view;
    view.user = qEnvironmentVariable("USER");
    if (view.user.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::getuid()))
            view.user = QFile::decodeName(pw->pw_name);
    }
    std::map<QString, QString> labels;
    const QDir byLabel(QStringLiteral("/dev/disk/by-label"));
    for (const QFileInfo& link : byLabel.entryInfoList(QDir::System | QDir::Files)) {
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty())
            labels[device] = udevUnescape(link.fileName());
    }
    view.label = [labels = std::move(labels)](const QString& device) {
        const auto it = labels.find(QFileInfo(device).canonicalFilePath());
        return it == labels.end() ? QString() : it->second;
    };
    view.writable = [](const QString& mountPoint) {
        return ::access(QFile::encodeName(mountPoint).constData(), W_OK) == 0;
    };
    return view;
}

const Volume* volumeOf(const std::vector<Volume>& volumes, const QString& path) {
    const QString p = QDir::cleanPath(QDir(path).absolutePath());
    const Volume* best = nullptr;
    for (const Volume& v : volumes) {
        const bool holds = v.rootPath == QLatin1String("/")
                               ? p.startsWith(QLatin1Char('/'))
                               : p == v.rootPath || isBelow(p, v.rootPath);
        if (holds && (!best || v.rootPath.size() > best->rootPath.size()))
            best = &v;
    }
    return best;
}

bool onRemovedVolume(const QString& path, const std::vector<Volume>& before,
                     const std::vector<Volume>& after) {
    if (path.isEmpty())
        return false;
    const Volume* v = volumeOf(before, path);
    return v && v->rootPath != QLatin1String("/") &&
           std::none_of(after.begin(), after.end(),
                        [&](const Volume& a) { return a.rootPath == v->rootPath; });
}

VolumeWatch::VolumeWatch(QObject* parent)
    : QObject(parent),
      table_(std::make_unique<MountTable>()), volumes_{Volume{QStringLiteral("/"),
                                                              QStringLiteral("/"), true}} {
    connect(table_.get(), &MountTable::changed, this, &VolumeWatch::reread);
    reread();
}

VolumeWatch::VolumeWatch(std::vector<Volume> volumes, QObject* parent)
    : QObject(parent), volumes_(std::move(volumes)) {}

VolumeWatch::~VolumeWatch() = default;

void VolumeWatch::update(std::vector<Volume> volumes) {
    if (volumes == volumes_)
        return;
    volumes_ = std::move(volumes);
    emit changed();
}

void VolumeWatch::reread() {
    // A table that cannot be read leaves the list as it was.
    ignoreErrors([this] { update(volumesOfMountTable(table_->read(), systemMountView())); });
}

} // namespace lumorra
