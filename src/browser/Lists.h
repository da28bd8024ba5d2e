#pragma once

#include "SearchPattern.h"

#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QTreeWidget>

#include <vector>

namespace lumorra {

// A mounted volume as the drive list shows it.
struct Volume {
    QString rootPath; // the mount point, "/" for the root file system
    QString name;     // what the list shows
    bool ready = true;
};

// The mounted volumes of real file systems, "/" first.
std::vector<Volume> mountedVolumes();
// The volume that holds a path: the one whose mount point is the longest prefix of it.
const Volume* volumeOf(const std::vector<Volume>& volumes, const QString& path);

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
    const std::vector<Volume>& volumes() const { return volumes_; }
    const Volume* selectedVolume() const;

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

signals:
    void changed();

private:
    void fill();
    QString path_;
};

// The file list: the files of a directory whose names match the search pattern.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Lists the files of the directory; throws Error when it cannot be read.
    void setPath(const QString& path);
    // Throws Error for a pattern the list refuses; the earlier pattern then stays.
    void setPattern(const QString& pattern);
    QString pattern() const { return pattern_.text(); }
    void refresh();

    // The selected file's name, empty when nothing is selected.
    QString fileName() const;
    // The 0-based index of the selection, -1 when nothing is selected.
    int listIndex() const { return currentRow(); }
    void setListIndex(int index) { setCurrentRow(index); }

private:
    QString path_;
    SearchPattern pattern_;
};

// Whether a file is hidden from the lists.
bool isHiddenEntry(const QString& name);

} // namespace lumorra
