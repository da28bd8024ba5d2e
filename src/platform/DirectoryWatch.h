#pragma once

#include <QByteArray>
#include <QString>

namespace lumorra {

// Notes the changes of one directory's entries from the moment it is set up: entries created,
// removed or renamed, and changed attributes of the directory and its entries (through the
// kernel's inotify). A list that was read after the watch was set up can then tell whether it
// is still what a new read would give.
class DirectoryWatch {
public:
    explicit DirectoryWatch(const QString& dir);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // Whether the watch runs; without it nothing can be told.
    bool valid() const { return fd_ >= 0; }
    // Takes in the changes noted since the watch was set up or last asked. True when the one
    // change was the removal of this entry (name as the file system spells it), deleted or
    // moved out of the directory, with perhaps a change of its attributes before: then the
    // directory holds what it held, less that entry.
    bool onlyRemoved(const QByteArray& name);

private:
    int fd_ = -1;
};

} // namespace lumorra
