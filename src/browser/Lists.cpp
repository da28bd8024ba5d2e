#include "Lists.h"

#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace lumorra {
namespace {

QString normalDir(const QString& path) {
    QString p = QDir::cleanPath(QDir(path).absolutePath());
    return p.isEmpty() ? QStringLiteral("/") : p;
}

bool pathIsUnder(const QString& path, const QString& root) {
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

bool caseInsensitiveLess(const QString& a, const QString& b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

void checkReadableDir(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw Error::fromErrno(ENOENT);
    if (!info.isDir())
        throw Error::fromErrno(ENOTDIR);
    const QByteArray local = QFile::encodeName(path);
    if (::access(local.constData(), R_OK | X_OK) != 0)
        throw Error::fromErrno(errno);
}

} // namespace

bool isHiddenEntry(const QString& name) {
    return name.startsWith(QLatin1Char('.'));
}

std::vector<Volume> mountedVolumes() {
    static const QStringList pseudo = {
        QStringLiteral("proc"),       QStringLiteral("sysfs"),       QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),     QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),
        QStringLiteral("securityfs"), QStringLiteral("debugfs"),     QStringLiteral("tracefs"),
        QStringLiteral("pstore"),     QStringLiteral("mqueue"),      QStringLiteral("hugetlbfs"),
        QStringLiteral("fusectl"),    QStringLiteral("configfs"),    QStringLiteral("bpf"),
        QStringLiteral("autofs"),     QStringLiteral("binfmt_misc"), QStringLiteral("overlay"),
        QStringLiteral("squashfs"),   QStringLiteral("nsfs"),        QStringLiteral("efivarfs"),
    };
    std::vector<Volume> out;
    out.push_back(Volume{QStringLiteral("/"), QStringLiteral("/"), true});
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        const QString root = s.rootPath();
        if (root == QLatin1String("/") || root.isEmpty())
            continue;
        if (pseudo.contains(QString::fromLatin1(s.fileSystemType())))
            continue;
        if (root.startsWith(QLatin1String("/proc")) || root.startsWith(QLatin1String("/sys")) ||
            root.startsWith(QLatin1String("/dev")) ||
            (root.startsWith(QLatin1String("/run")) &&
             !root.startsWith(QLatin1String("/run/media"))))
            continue;
        // Sandboxes bind files and empty read-only file systems; they hold nothing to browse.
        if (s.isReadOnly() && s.bytesTotal() <= 0)
            continue;
        if (!QFileInfo(root).isDir())
            continue;
        QString name = root;
        if (!s.displayName().isEmpty() && s.displayName() != root)
            name = root + QStringLiteral("  [") + s.displayName() + QLatin1Char(']');
        out.push_back(Volume{root, name, s.isReady()});
    }
    std::sort(out.begin() + 1, out.end(),
              [](const Volume& a, const Volume& b) { return a.rootPath < b.rootPath; });
    return out;
}

const Volume* volumeOf(const std::vector<Volume>& volumes, const QString& path) {
    const QString p = normalDir(path);
    const Volume* best = nullptr;
    for (const Volume& v : volumes) {
        if (pathIsUnder(p, v.rootPath) && (!best || v.rootPath.size() > best->rootPath.size()))
            best = &v;
    }
    return best;
}

DriveList::DriveList(std::vector<Volume> volumes, QWidget* parent)
    : QComboBox(parent), volumes_(std::move(volumes)) {
    for (const Volume& v : volumes_)
        addItem(v.name, v.rootPath);
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!setting_)
            emit changed();
    });
}

QString DriveList::drive() const {
    return currentData().toString();
}

const Volume* DriveList::selectedVolume() const {
    const int i = currentIndex();
    return i >= 0 && i < static_cast<int>(volumes_.size()) ? &volumes_[static_cast<size_t>(i)]
                                                           : nullptr;
}

void DriveList::setDrive(const QString& path) {
    if (path.isEmpty())
        return;
    const Volume* v = volumeOf(volumes_, path);
    if (!v)
        throw Error::fromErrno(ENOENT);
    const int index = static_cast<int>(v - volumes_.data());
    if (index == currentIndex())
        return;
    setting_ = true;
    setCurrentIndex(index);
    setting_ = false;
    emit changed();
}

DirList::DirList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(12);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        const QString target = item->data(0, Qt::UserRole).toString();
        if (target == path_)
            return;
        try {
            setPath(target);
        } catch (...) {
            // The directory went away or cannot be read: stay where we are, listed afresh.
            ignoreErrors([this] { fill(); });
        }
    });
}

void DirList::setPath(const QString& path) {
    if (path.isEmpty())
        return;
    const QString p = normalDir(path);
    checkReadableDir(p);
    path_ = p;
    fill();
    emit changed();
}

void DirList::refresh() {
    if (!path_.isEmpty())
        fill();
}

void DirList::fill() {
    clear();
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    QStringList chain;
    for (QString p = path_;; p = QFileInfo(p).path()) {
        chain.prepend(p);
        if (p == QLatin1String("/"))
            break;
    }
    QTreeWidgetItem* parent = nullptr;
    QTreeWidgetItem* current = nullptr;
    for (const QString& p : chain) {
        const QString label = p == QLatin1String("/") ? p : QFileInfo(p).fileName();
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, label);
        item->setIcon(0, open);
        item->setData(0, Qt::UserRole, p);
        item->setExpanded(true);
        parent = current = item;
    }
    QStringList subdirs = QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    subdirs.erase(std::remove_if(subdirs.begin(), subdirs.end(), isHiddenEntry), subdirs.end());
    std::sort(subdirs.begin(), subdirs.end(), caseInsensitiveLess);
    for (const QString& name : subdirs) {
        auto* item = new QTreeWidgetItem(current);
        item->setText(0, name);
        item->setIcon(0, closed);
        item->setData(0, Qt::UserRole,
                      path_ == QLatin1String("/") ? QLatin1Char('/') + name
                                                  : path_ + QLatin1Char('/') + name);
    }
    expandAll();
    setCurrentItem(current);
}

FileList::FileList(QWidget* parent)
    : QListWidget(parent), pattern_(SearchPattern::parse(QStringLiteral("*.jpg; *.bmp; *.gif"))) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

void FileList::setPath(const QString& path) {
    const QString p = normalDir(path);
    checkReadableDir(p);
    path_ = p;
    refresh();
}

void FileList::setPattern(const QString& pattern) {
    pattern_ = SearchPattern::parse(pattern);
    refresh();
}

void FileList::refresh() {
    clear();
    if (path_.isEmpty())
        return;
    QStringList names = QDir(path_).entryList(QDir::Files | QDir::Hidden | QDir::System);
    QStringList shown;
    shown.reserve(names.size());
    for (const QString& n : names) {
        if (!isHiddenEntry(n) && pattern_.matches(n))
            shown.push_back(n);
    }
    std::sort(shown.begin(), shown.end(), caseInsensitiveLess);
    addItems(shown);
}

QString FileList::fileName() const {
    const QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

} // namespace lumorra
