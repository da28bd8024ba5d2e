#pragma once

#include <QString>

namespace lumorra {

class MainWindow;

// Opens the browser at a path given on the command line: a directory is opened; a file opens
// its directory and is selected (and so shown). When the file is not listed in the current
// file-type mode but in the other one, the main window switches to that mode first. When
// neither mode lists it, the mode that shows its type (a movie type the animations, anything
// else the pictures) adds the file's "*.ext", or its whole name when it has no extension, to
// the file list's pattern until the next file-type change or start; the stored patterns stay.
// Throws Error (2, "No such file or directory") for a path that does not exist; the lists
// stay as they were.
void openStartPath(MainWindow& window, const QString& path);

} // namespace lumorra
