#pragma once

#include <QDateTime>
#include <QString>

namespace lumorra {

// The file operations the program's commands build on. Each throws Error{errno, strerror} on
// failure and none of them ever replaces an existing file or directory by accident: a copy is
// complete or absent, a rename refuses an existing target.

// The directory look-up: the name of the file that a path finds, or an empty text. It finds
// ordinary files (read-only and archived ones too), not directories and not hidden or system
// files, and matches the name without regard to letter case, preferring the exact spelling.
QString lookUpFile(const QString& path);

qint64 fileLength(const QString& path);
QDateTime fileModified(const QString& path);

// Removes a file (not a directory).
void deleteFile(const QString& path);

// Renames a file or directory; fails with EEXIST when the target exists, never replacing it.
void renameNoReplace(const QString& from, const QString& to);

// What a copy does with a file that already has the target's name.
enum class ExistingTarget {
    Refuse,  // fail with EEXIST
    Replace, // the finished copy takes its place in one step
};

// Copies a file's content, permissions and modification time to a new file. The copy is
// written under a hidden temporary name beside the target, flushed, and only then given the
// target's name, so a failed or interrupted copy leaves no file under that name, and a file
// being replaced stays whole until the copy is complete. Fails with the program's path access
// error when the source is no regular file (a named pipe, a device). Returns the number of
// bytes copied.
qint64 copyFile(const QString& from, const QString& to,
                ExistingTarget existing = ExistingTarget::Refuse);

// Writes a whole file: the data goes under a hidden temporary name beside the file ("." + the
// file's name + "-" and six random characters), is flushed,
// and then takes the file's name in one step, so an earlier file stays whole until the new one
// is complete and a failed or interrupted write leaves nothing under the file's name. A file
// that is replaced passes its permissions on; a symbolic link is followed.
void writeFileReplacing(const QString& path, const QByteArray& data);

// Whether two paths name one file (the same device and inode); false when either is missing.
bool sameFile(const QString& a, const QString& b);

// Creates one directory.
void makeDirectory(const QString& path);

} // namespace lumorra
