#pragma once

#include "SearchPattern.h"
#include "Volumes.h"
#include "platform/DirectoryWatch.h"

#include <QAbstractListModel>
#include <QComboBox>
#include <QListView>
#include <QString>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

namespace lumorra {

// One read of a directory: the names of its files and subdirectories (symbolic links taken as
// what they point to; dot names and everything else left out), as the file system spells them.
struct DirectoryRead {
    struct Entry {
        size_t start;  // of the name in names
        size_t length; // without the NUL that follows it
        bool directory;
    };
    QString dir;
    std::string names; // every name followed by a NUL
    std::vector<Entry> entries;
    // Set up before the read: the changes since.
    std::shared_ptr<DirectoryWatch> watch;
    // Every entry was named by the directory itself: no symbolic link, no entry whose type
    // the file system left open.
    bool direct = true;

    const char* name(const Entry& e) const { return names.data() + e.start; }
};

// Reads the directory; throws Error when it cannot be read.
std::shared_ptr<const DirectoryRead> readDirectory(const QString& dir);

// The drive list: one entry per volume.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(std::vector<Volume> volumes, QWidget* parent = nullptr);

    // The mount point of the selected volume.
    QString drive() const;
    // Selects the volume that holds the path; an empty path keeps the selection. Emits changed()
    // when the selection moves to another volume. Throws Error when no volume holds the path.
    void setDrive(const QString& path);
    // Shows the volume that holds the path without emitting changed(), when the directory
    // list has moved onto another volume by itself.
    void follow(const QString& path);
    const std::vector<Volume>& volumes() const { return volumes_; }
    const Volume* selectedVolume() const;
    // Takes the volumes as they are now; the selection stays on its volume where that is still
    // there, and changed() is not emitted.
    void setVolumes(std::vector<Volume> volumes);

signals:
    void changed();

private:
    std::vector<Volume> volumes_;
    bool setting_ = false;
};

// The directory list: the chain of directories from the volume's root down to the current
// directory, and the subdirectories of the current one. Activating an entry opens it.
class DirList : public QTreeWidget {
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    // The current directory, without a trailing "/" (but "/" itself).
    QString path() const { return path_; }
    // Opens the directory and emits changed(); an empty path keeps the current one. Throws
    // Error when the path is no readable directory.
    void setPath(const QString& path);
    // Lists the current directory again.
    void refresh();
    // While changed() is emitted: the read of the directory that the list was filled from, for
    // the file list to use instead of reading it once more.
    std::shared_ptr<const DirectoryRead> lastRead() const { return lastRead_; }

signals:
    void changed();

private:
    QIcon closed_, open_; // the folder icons, read once
    void fill();
    QString path_;
    std::shared_ptr<const DirectoryRead> lastRead_;
};

// The names of a directory's files, as the file list shows them.
class FileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void setNames(QStringList names);
    void removeName(int row);
    const QStringList& names() const { return names_; }

private:
    QStringList names_;
};

// The file list: the files of a directory whose names match the search pattern, in natural
// order, without hidden and system files.
class FileList : public QListView {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Lists the files of the directory; throws Error when it cannot be read. A read of the
    // directory made a moment ago serves in place of reading it again.
    void setPath(const QString& path, const std::shared_ptr<const DirectoryRead>& read = {});
    // Throws Error for a pattern the list refuses, and when the directory cannot be read with
    // it; the earlier pattern and the entries it listed then stay.
    void setPattern(const QString& pattern);
    QString pattern() const { return pattern_.text(); }
    // Reads the directory again; the selection stays on the same name where it still exists.
    // A directory that cannot be read leaves the list empty, and the error is thrown.
    void refresh();
    // After the program removed the file of this path: drops its entry, or reads the directory
    // again when it is not in the list or anything else in the directory may have changed.
    void removed(const QString& filePath);

    int count() const { return model_->rowCount(); }
    QString item(int index) const;
    // The selected file's name, empty when nothing is selected.
    QString fileName() const;
    // The 0-based index of the selection, -1 when nothing is selected.
    int listIndex() const;
    // Selects the entry (and shows it); -1 clears the selection.
    void setListIndex(int index);

signals:
    // The selection moved to another entry (by the user or by setListIndex).
    void selectionChanged(int index);

private:
    void show(QStringList names);
    // The names of the list's directory under the pattern, and the directory's changes from
    // this read on where they can be followed. Throws Error when the directory cannot be read.
    QStringList readNames(const SearchPattern& pattern,
                          std::shared_ptr<DirectoryWatch>& watch) const;
    FileListModel* model_;
    // The changes of the directory since it was read for the list; none when it was not read
    // as a whole or its entries may change without the directory telling.
    std::shared_ptr<DirectoryWatch> watch_;
    QString path_;
    SearchPattern pattern_;
};

// The names of a directory's files that match the pattern, hidden and system files left out,
// in natural order. Throws Error when the directory cannot be read.
QStringList listFiles(const QString& dir, const SearchPattern& pattern);
QStringList listFiles(const DirectoryRead& read, const SearchPattern& pattern);

} // namespace lumorra
