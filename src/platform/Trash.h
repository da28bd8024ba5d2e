#pragma once

#include <QString>

#include <optional>

namespace lumorra {

// The desktop's Trash, as file managers share it: a trashed file lies in the trash directory's
// "files" under a name of its own, and "info" holds NAME.trashinfo beside it with the file's
// original place and the time it was trashed, from which a file manager restores it.

// Where a trashed file went.
struct TrashEntry {
    QString infoFile; // .../info/NAME.trashinfo
    QString file;     // .../files/NAME
};

// The home trash: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash when XDG_DATA_HOME is not set
// or not absolute; read from the environment at each call. Empty when no home is known.
QString homeTrashDirectory();

// Moves a file (a symbolic link goes as the link) to the trash of its volume: the home trash
// for a file on the home trash's volume; for a file on another volume $topdir/.Trash/$uid where
// $topdir/.Trash is a sticky directory that is no symbolic link, else $topdir/.Trash-$uid.
// Missing trash directories are made, readable by the user alone. The .trashinfo is written
// first, under a name no other entry has (NAME, NAME.2, NAME.3 ...), then the file is renamed
// into "files" on its own file system; when that fails the .trashinfo goes again. The file is
// never copied and nothing in the trash is ever replaced.
//
// Returns nothing when no trash can take the file (none can be made, it is a file, it is not
// writable or it is full): the file is then where it was. Throws Error{errno, strerror} when
// the file itself cannot be trashed: it is missing, a directory, or its directory is not
// reachable.
std::optional<TrashEntry> moveToTrash(const QString& path, const QString& homeTrash);

} // namespace lumorra
