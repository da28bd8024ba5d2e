#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace lumorra {

class MountTable;

// A mounted volume as the drive list shows it.
struct Volume {
    QString rootPath; // the mount point, "/" for the root file system
    QString name;     // what the list shows: the mount point, and "  [label]" where it has one
    bool ready = true;

    bool operator==(const Volume&) const = default;
};

// What decides the drive list besides the mount table itself.
struct MountView {
    // The user whose directory under /run/media holds their volumes.
    QString user;
    // The label of a block device, empty where it has none.
    std::function<QString(const QString& device)> label;
    // Whether the user may write to a mount point.
    std::function<bool(const QString& mountPoint)> writable;
};

// The volumes a file manager's side pane shows, from the text of a mount table in the form of
// /proc/self/mountinfo: "/" first, then the rest in order of their mount points. Shown are the
// volumes mounted under /media, /run/media/<user> and /mnt, and elsewhere the whole block-device
// file systems the user can write to; never system, boot, container, snap or sandbox mounts.
std::vector<Volume> volumesOfMountTable(const QByteArray& table, const MountView& view);
// $USER, the labels of /dev/disk/by-label, and write access as the file system grants it.
MountView systemMountView();
// The volume that holds a path: the one whose mount point is the longest prefix of it.
const Volume* volumeOf(const std::vector<Volume>& volumes, const QString& path);

// Whether a path was on a volume of the earlier list that the later list no longer has. "/"
// never goes, and an empty path is on no volume.
bool onRemovedVolume(const QString& path, const std::vector<Volume>& before,
                     const std::vector<Volume>& after);

// The volumes for the drive lists, following the mount table while the program runs: a card
// mounted appears, a card removed goes. Made once and handed to the windows that show drives.
class VolumeWatch : public QObject {
    Q_OBJECT
public:
    // Follows this process's mount table; only "/" when the table cannot be read.
    explicit VolumeWatch(QObject* parent = nullptr);
    // A fixed list, which only update() changes.
    explicit VolumeWatch(std::vector<Volume> volumes, QObject* parent = nullptr);
    ~VolumeWatch() override;

    const std::vector<Volume>& volumes() const { return volumes_; }
    // Takes a new list; emits changed() when it differs from the one before.
    void update(std::vector<Volume> volumes);

signals:
    void changed();

private:
    void reread();

    std::unique_ptr<MountTable> table_;
    std::vector<Volume> volumes_;
};

} // namespace lumorra
