#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace lumorra {

class DirList;
class DriveList;
class MainWindow;

// "DIR browser": a drive and directory list of its own, the three directories of the program
// (copy directory of this run, default copy directory, start-up directory) and the buttons that
// set them or create a subdirectory. Opened modally from the main window's status bar.
class DirBrowserWindow : public QDialog {
    Q_OBJECT
public:
    DirBrowserWindow(MainWindow& main, QWidget* parent = nullptr);

    DriveList* Drive1;
    DirList* Dir1;
    QGroupBox* Frame1;
    QLabel* Label1;        // "Current copy DIR: "
    QLabel* Label2;        // "Default copy DIR: "
    QLabel* Label3;        // "Startup DIR: "
    QPushButton* Command1; // "Use as copy DIR (this session)"
    QPushButton* Command2; // "Set as default copy DIR"
    QPushButton* Command3; // "Set as Startup DIR"
    QPushButton* Command4; // "Create Sub DIR"
    QPushButton* Command5; // "Close"

    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    // A volume came or went: the drive list follows, and a directory list on a volume that
    // went away moves to the user's home.
    void volumesChanged();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();

private:
    MainWindow& main_;
};

} // namespace lumorra
