#include "Lists.h"

#include "NaturalOrder.h"
#include "platform/Error.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QStyle>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace lumorra {
namespace {

QString normalDir(const QString& path) {
    QString p = QDir::cleanPath(QDir(path).absolutePath());
    return p.isEmpty() ? QStringLiteral("/") : p;
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

// The subdirectories of a directory, hidden and system ones left out, in natural order.
QStringList listSubdirectories(const DirectoryRead& read) {
    QStringList names;
    std::vector<QByteArray> localNames;
    for (const DirectoryRead::Entry& e : read.entries) {
        if (!e.directory)
            continue;
        names.push_back(QFile::decodeName(read.name(e)));
        localNames.emplace_back(read.name(e), static_cast<qsizetype>(e.length));
    }
    const std::vector<bool> hidden = hiddenOrSystem(read.dir, localNames);
    QStringList shown;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!hidden[static_cast<size_t>(i)])
            shown.push_back(names[i]);
    }
    naturalSort(shown);
    return shown;
}

// The style's folder icon, read from the PNGs the style draws it from. The style reads them
// without naming their format, which makes Qt load every image format plugin to ask which one
// reads PNG, on the first look at the window. The list shows them at 16 pixels: the 128-pixel
// one, most of the reading, is read only for a screen that shows more than 32 device pixels.
QIcon folderIcon(const QWidget* widget, bool open) {
    QIcon icon;
    for (int size : {16, 32, 128}) {
        if (size > 32 && widget->devicePixelRatioF() <= 2)
            break;
        QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png")
                                .arg(open ? QLatin1String("diropen") : QLatin1String("dirclosed"))
                                .arg(size),
                            "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    if (icon.isNull())
        icon =
            widget->style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon);
    return icon;
}

} // namespace

DriveList::DriveList(std::vector<Volume> volumes, QWidget* parent) : QComboBox(parent) {
    setVolumes(std::move(volumes));
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

void DriveList::setVolumes(std::vector<Volume> volumes) {
    const QString selected = drive();
    setting_ = true;
    volumes_ = std::move(volumes);
    clear();
    for (const Volume& v : volumes_)
        addItem(v.name, v.rootPath);
    setCurrentIndex(std::max(0, findData(selected)));
    setting_ = false;
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
            ignoreErrors([this] {
                fill();
                lastRead_.reset();
            });
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
    lastRead_.reset();
}

void DirList::refresh() {
    if (!path_.isEmpty())
        fill();
    lastRead_.reset();
}

void DirList::fill() {
    clear();
    if (closed_.isNull()) {
        closed_ = folderIcon(this, false);
        open_ = folderIcon(this, true);
    }
    const QIcon& closed = closed_;
    const QIcon& open = open_;
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
    lastRead_.reset();
    QStringList subdirs;
    try {
        lastRead_ = readDirectory(path_);
        subdirs = listSubdirectories(*lastRead_);
    } catch (...) {
        // An unreadable directory shows no subdirectories.
    }
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

void FileListModel::removeName(int row) {
    beginRemoveRows(QModelIndex(), row, row);
    names_.removeAt(row);
    endRemoveRows();
}

std::shared_ptr<const DirectoryRead> readDirectory(const QString& dir) {
    auto read = std::make_shared<DirectoryRead>();
    read->dir = dir;
    // The watch comes first, so that it sees every change the read may have missed.
    read->watch = std::make_shared<DirectoryWatch>(dir);
    const QByteArray local = QFile::encodeName(dir);
    DIR* d = ::opendir(local.constData());
    if (!d)
        throw Error::fromErrno(errno);
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue; // dot names are hidden, and "." and ".." are no entries
        bool directory = e->d_type == DT_DIR;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            read->direct = false;
            struct stat st {};
            if (::fstatat(dfd, e->d_name, &st, 0) == 0) {
                directory = S_ISDIR(st.st_mode);
                regular = S_ISREG(st.st_mode);
            }
        }
        if (!directory && !regular)
            continue;
        const size_t length = std::strlen(e->d_name);
        read->entries.push_back(DirectoryRead::Entry{read->names.size(), length, directory});
        read->names.append(e->d_name, length + 1);
    }
    ::closedir(d);
    return read;
}

QStringList listFiles(const QString& dir, const SearchPattern& pattern) {
    return listFiles(*readDirectory(dir), pattern);
}

QStringList listFiles(const DirectoryRead& read, const SearchPattern& pattern) {
    // The matching names; names of other characters than ASCII are decoded at once, for the
    // pattern.
    std::vector<const char*> rawNames;
    std::vector<std::pair<size_t, QString>> decoded;
    for (const DirectoryRead::Entry& e : read.entries) {
        if (e.directory)
            continue;
        const char* raw = read.name(e);
        const bool ascii = std::all_of(raw, raw + e.length,
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii) {
            if (!pattern.matchesAscii(raw, e.length))
                continue;
        } else {
            QString name = QFile::decodeName(raw);
            if (!pattern.matches(name))
                continue;
            decoded.emplace_back(rawNames.size(), std::move(name));
        }
        rawNames.push_back(raw);
    }
    // Hidden and system files by their stored attributes, all names at once, read while the
    // names are decoded and sorted here.
    HiddenLookup lookup(read.dir, rawNames);
    QStringList names;
    names.reserve(static_cast<qsizetype>(rawNames.size()));
    auto next = decoded.begin();
    for (size_t i = 0; i < rawNames.size(); ++i) {
        if (next != decoded.end() && next->first == i) {
            names.push_back(std::move(next->second));
            ++next;
        } else {
            names.push_back(QString::fromLatin1(rawNames[i]));
        }
    }
    const std::vector<qsizetype> order = naturalOrder(names);
    const std::vector<bool> hidden = lookup.wait();
    QStringList shown;
    shown.reserve(names.size());
    for (const qsizetype i : order) {
        if (!hidden[static_cast<size_t>(i)])
            shown.push_back(std::move(names[i]));
    }
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

void FileList::setPath(const QString& path, const std::shared_ptr<const DirectoryRead>& read) {
    const QString p = normalDir(path);
    checkReadableDir(p);
    path_ = p;
    if (read && read->dir == p) {
        show(listFiles(*read, pattern_));
        watch_ = read->direct && read->watch->valid() ? read->watch : nullptr;
    } else {
        refresh();
    }
}

void FileList::setPattern(const QString& pattern) {
    // The directory is read with the new pattern before the pattern takes over: a read that
    // fails leaves the list and its pattern as they were, as a refused pattern does.
    SearchPattern parsed = SearchPattern::parse(pattern);
    std::shared_ptr<DirectoryWatch> watch;
    QStringList names = readNames(parsed, watch);
    pattern_ = std::move(parsed);
    watch_ = std::move(watch);
    show(std::move(names));
}

QStringList FileList::readNames(const SearchPattern& pattern,
                                std::shared_ptr<DirectoryWatch>& watch) const {
    if (path_.isEmpty())
        return {};
    const std::shared_ptr<const DirectoryRead> read = readDirectory(path_);
    QStringList names = listFiles(*read, pattern);
    if (read->direct && read->watch->valid())
        watch = read->watch;
    return names;
}

void FileList::refresh() {
    watch_.reset();
    QStringList names;
    std::exception_ptr failure;
    try {
        names = readNames(pattern_, watch_);
    } catch (...) {
        // A directory that went away or cannot be read any more holds no file to show: the
        // list empties rather than offer names that are no longer there.
        failure = std::current_exception();
    }
    show(std::move(names));
    if (failure)
        std::rethrow_exception(failure);
}

void FileList::removed(const QString& filePath) {
    const QFileInfo info(filePath);
    const QString name = info.fileName();
    const qsizetype row = info.path() == path_ ? model_->names().indexOf(name) : -1;
    if (row < 0 || !watch_ || !watch_->onlyRemoved(QFile::encodeName(name))) {
        refresh();
        return;
    }
    // As after a new read: nothing selected, no current entry.
    const bool blocked = selectionModel()->blockSignals(true);
    model_->removeName(static_cast<int>(row));
    selectionModel()->clear();
    selectionModel()->blockSignals(blocked);
}

void FileList::show(QStringList names) {
    const bool blocked = selectionModel()->blockSignals(true);
    model_->setNames(std::move(names));
    selectionModel()->blockSignals(blocked);
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
