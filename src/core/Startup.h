#pragma once

#include <QString>

#include <functional>

namespace lumorra {

class RunLog;
struct Services;

// The main window's fields that the start-up sequence fills and the closing sequence reads.
// The setters throw Error when the lists refuse a value (a missing drive or directory, a
// pattern the file list does not accept).
class StartupTarget {
public:
    virtual ~StartupTarget() = default;
    virtual void setFilePattern(const QString& pattern) = 0;
    // Sets the drive list to the drive that holds the path; an empty path keeps the drive.
    virtual void setDriveFromPath(const QString& path) = 0;
    // Sets the directory list to the path; an empty path keeps the directory.
    virtual void setDirPath(const QString& path) = 0;
    virtual void setCopyDir(const QString& dir) = 0;
    virtual QString copyDir() const = 0;
    virtual void setIntervalText(const QString& text) = 0;
    virtual QString intervalText() const = 0;
    // The caption of the current-file label.
    virtual QString currentFile() const = 0;
    virtual void setPanelText(int panel, const QString& text) = 0;
    virtual int fileCount() const = 0;
    virtual void setFileCountText(const QString& text) = 0;
};

// The start-up sequence of the main window, run once before the window is shown.
class StartupSequence {
public:
    enum class Outcome { Completed, Terminated };

    StartupSequence(Services& services, RunLog& runLog, StartupTarget& target,
                    std::function<void()> showSplash);

    // Runs every step. Terminated means a wrong user name was entered: the program ends without
    // showing its window. Throws Error when the logs cannot be opened, or when the special
    // setting or user step fails, which leaves the program unable to start.
    Outcome run();

    // The four tests, in the order run() calls them.
    void spctest();
    bool usertest();
    void restest();
    void systray();

    // The executable the tray step starts from "AppPath".
    static QString trayProgramName() { return QStringLiteral("lmtray"); }
    // The drive and directory of the recovery path.
    static QString recoveryDir();
    static QString recoveryDrive() { return QStringLiteral("/"); }

private:
    void restoreBrowserState();
    void recover();

    Services& s_;
    RunLog& runLog_;
    StartupTarget& target_;
    std::function<void()> showSplash_;
};

// The closing sequence: close the secondary windows, close the program log, store the
// interval box's text. Every step runs with errors ignored.
void runClosingSequence(Services& services, const std::function<void()>& closeWindows,
                        const QString& intervalText);

} // namespace lumorra
