#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QWidget;

namespace lumorra {

class MainWindow;
struct Error;
struct Services;

// A directory as the directory commands store and use it: the list's path with a "/" appended,
// unless it already ends in one (the root "/").
QString directoryText(const QString& listPath);

// Makes the directory the copy directory of this run: the copy directory box and status bar
// panel 3 (two spaces and the directory).
void useAsCopyDirectory(MainWindow& window, const QString& dirText);

// The "Create sub directory" prompt for a directory; the typed name, or nothing when the answer
// is empty or the prompt was cancelled.
std::optional<QString> askSubDirectoryName(Services& services, const QString& dirText,
                                           QWidget* owner);

// The commands of the directory list's Settings menu, and the "DIR browser" on status bar
// panel 3. They act on the main directory list's directory.
class DirectoryCommands : public QObject {
    Q_OBJECT
public:
    explicit DirectoryCommands(MainWindow& window);

    void mnurenamedir_Click();
    void mnusession_Click();
    void mnudefault_Click();
    void mnustartup_Click();
    void mnusub_Click();
    // Status bar panel 3: the "DIR browser", modal and owned by the main window.
    void openDirBrowser();

private:
    MainWindow& w_;
    Services& s_;
};

} // namespace lumorra
