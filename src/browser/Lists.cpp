#include "Lists.h"

#include "NaturalOrder.h"
#include "platform/Error.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <exception>
#include <sys/stat.h>
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

// The subdirectories of a directory, hidden and system ones left out, in natural order. One
// read of the directory, telling directories by the entry's type where the file system gives it.
QStringList listSubdirectories(const QString& dir) {
    const QByteArray local = QFile::encodeName(dir);
    DIR* d = ::opendir(local.constData());
    if (!d)
        return {};
    QStringList names;
    std::vector<QByteArray> localNames;
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        bool directory = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            directory = ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!directory)
            continue;
        names.push_back(QFile::decodeName(e->d_name));
        localNames.emplace_back(e->d_name);
    }
    ::closedir(d);
    const std::vector<bool> hidden = hiddenOrSystem(dir, localNames);
    QStringList shown;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!hidden[static_cast<size_t>(i)])
            shown.push_back(names[i]);
    }
    naturalSort(shown);
    return shown;
}

} // namespace

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

void DriveList::follow(const QString& path) {
    const Volume* v = volumeOf(volumes_, path);
    if (!v)
        return;
    setting_ = true;
    setCurrentIndex(static_cast<int>(v - volumes_.data()));
    setting_ = false;
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
    const QStringList subdirs = listSubdirectories(path_);
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

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= names_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return names_.at(index.row());
    return {};
}

void FileListModel::setNames(QStringList names) {
    beginResetModel();
    names_ = std::move(names);
    endResetModel();
}

QStringList listFiles(const QString& dir, const SearchPattern& pattern) {
    const QByteArray local = QFile::encodeName(dir);
    DIR* d = ::opendir(local.constData());
    if (!d)
        throw Error::fromErrno(errno);
    QStringList names;
    std::vector<QByteArray> localNames;
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue; // dot files are hidden, and "." and ".." are no files
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (!regular)
            continue;
        const QString name = QFile::decodeName(e->d_name);
        if (pattern.matches(name)) {
            names.push_back(name);
            localNames.emplace_back(e->d_name);
        }
    }
    ::closedir(d);
    // Hidden and system files by their stored attributes, all names at once.
    const std::vector<bool> hidden = hiddenOrSystem(dir, localNames);
    QStringList shown;
    shown.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!hidden[static_cast<size_t>(i)])
            shown.push_back(std::move(names[i]));
    }
    naturalSort(shown);
    return shown;
}

FileList::FileList(QWidget* parent)
    : QListView(parent), model_(new FileListModel(this)),
      pattern_(SearchPattern::parse(QStringLiteral("*.jpg; *.bmp; *.gif"))) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A directory of many thousand files is laid out in batches, so the window never stalls.
    setLayoutMode(QListView::Batched);
    setBatchSize(2000);
    // The selection, not the current item: a click makes an item current before it selects it.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int index = listIndex();
        if (index >= 0)
            emit selectionChanged(index);
    });
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
    QStringList names;
    std::exception_ptr failure;
    try {
        if (!path_.isEmpty())
            names = listFiles(path_, pattern_);
    } catch (...) {
        // A directory that went away or cannot be read any more holds no file to show: the
        // list empties rather than offer names that are no longer there.
        failure = std::current_exception();
    }
    const bool blocked = selectionModel()->blockSignals(true);
    model_->setNames(std::move(names));
    selectionModel()->blockSignals(blocked);
    if (failure)
        std::rethrow_exception(failure);
}

QString FileList::item(int index) const {
    return index >= 0 && index < count() ? model_->names().at(index) : QString();
}

int FileList::listIndex() const {
    const QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

QString FileList::fileName() const {
    return item(listIndex());
}

void FileList::setListIndex(int index) {
    if (index < 0 || index >= count()) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
        return;
    }
    const QModelIndex i = model_->index(index);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    scrollTo(i);
}

} // namespace lumorra
