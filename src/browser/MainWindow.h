#pragma once

#include "Lists.h"
#include "core/Startup.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class QFrame;
class QLabel;
class QLineEdit;

namespace lumorra {

class StatusBar;
struct Services;

// The main window, "Form1": the file browser on the left, the viewer area on the right and the
// status bar below. The start-up sequence fills it before it is shown; closing it runs the
// closing sequence and ends the program.
class MainWindow : public QWidget, public StartupTarget {
    Q_OBJECT
public:
    MainWindow(Services& services, std::vector<Volume> volumes, QWidget* parent = nullptr);

    // Controls, by the names the rest of the program uses.
    DriveList* Drive1;
    DirList* Dir1;
    FileList* File1;
    QLineEdit* Text2; // Autoskip interval in seconds
    QLabel* Label9;   // "sec."
    QLineEdit* Text3; // the copy directory
    QLabel* Label1;   // full path of the current file
    QLabel* Label2;   // file-type mode: "pic" or "avi"
    QLabel* Label3;   // "Picture size:"
    QLabel* Label5;   // picture size in pixels
    QLabel* Label8;   // "Pixels"
    QLabel* Label6;   // file count
    QLabel* Label7;   // position of the selection
    QFrame* viewerArea;
    StatusBar* StatusBar1;

    void Drive1_Change();
    void Dir1_Change();

    // Windows that close with the main window (separate windows, player, editor). Each is
    // closed with its own closing handling, in the order registered.
    void registerSecondaryWindow(QWidget* window);

    // StartupTarget
    void setFilePattern(const QString& pattern) override;
    void setDriveFromPath(const QString& path) override;
    void setDirPath(const QString& path) override;
    void setCopyDir(const QString& dir) override;
    QString copyDir() const override;
    void setIntervalText(const QString& text) override;
    QString intervalText() const override;
    QString currentFile() const override;
    void setPanelText(int panel, const QString& text) override;
    int fileCount() const override;
    void setFileCountText(const QString& text) override;

signals:
    // The closing sequence has run; the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void closeSecondaryWindows();

    Services& s_;
    std::vector<QPointer<QWidget>> secondary_;
    bool closing_ = false;
};

} // namespace lumorra
