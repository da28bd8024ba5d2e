#pragma once

#include <QString>

namespace lumorra {

class MainWindow;

// Opens the browser at a path given on the command line: a directory is opened; a file opens
// its directory and is selected (and so shown). When the file is not listed in the current
// file-type mode but in the other one, the main window switches to that mode first. Throws
// Error (2, "No such file or directory") for a path that does not exist; the lists stay as
// they were.
void openStartPath(MainWindow& window, const QString& path);

} // namespace lumorra
