#pragma once

#include "Lists.h"
#include "SecondaryWindows.h"
#include "core/Startup.h"

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTimer;

namespace lumorra {

class MovieControl;
class PictureArea;
class ShownPicture;
class StatusBar;
struct ModeTexts;
struct Services;

// The main window, "Form1": the file browser on the left, the viewer area on the right, the
// command buttons, the zoom frame and the slide-show control below it, and the status bar.
// The start-up sequence fills it before it is shown; closing it runs the closing sequence and
// ends the program. It has no menu bar: its two menus are pop-up menus of the two lists.
class MainWindow : public QWidget, public StartupTarget {
    Q_OBJECT
public:
    // The drive list follows the volumes as they come and go.
    MainWindow(Services& services, VolumeWatch& volumes, QWidget* parent = nullptr);
    // A drive list of these volumes, which stay as they are.
    MainWindow(Services& services, std::vector<Volume> volumes, QWidget* parent = nullptr);

    // Browser
    DriveList* Drive1;
    DirList* Dir1;
    FileList* File1;
    FileList* File2; // not shown: walks directories for the info list
    // Viewer area
    QScrollArea* viewerArea;
    PictureArea* Image1;   // the picture area
    MovieControl* AM1;     // the movie area
    PictureArea* Picture1; // not shown: holds the picture loaded from a file
    QLabel* Image2;        // not shown: used while building the info list
    // The picture read last from a file, shared by the views that show it; Save As writes it.
    std::shared_ptr<const ShownPicture> shownPicture;
    // The same while its file is the current one: the separate window shows it from its bytes.
    std::shared_ptr<const ShownPicture> currentPicture;
    // Zoom or movie speed
    QGroupBox* Frame1;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option3;
    QRadioButton* Option4;
    // Commands
    QPushButton* Command2; // "&File Copy"
    QPushButton* Command7; // "File &Move"
    QPushButton* Command6; // "&Copy"
    QPushButton* Command3; // "&Paste"
    QPushButton* Command4; // "&Run"
    QPushButton* Command5; // "&Stop"
    QLineEdit* Text2;      // Autoskip interval in seconds
    QLabel* Label9;        // "sec."
    QTimer* Timer1;        // slide-show clock
    QLineEdit* Text3;      // the copy directory
    QLineEdit* Text1;      // work field of save as
    QLineEdit* Text4;      // work field of rename
    // Labels
    QLabel* Label1;   // full path of the current file
    QLabel* Label2;   // file-type mode: "pic" or "avi"
    QLabel* Label3;   // "Picture size:"
    QLabel* Label5;   // picture size in pixels
    QLabel* Label8;   // "Pixels"
    QLabel* Label6;   // file count
    QLabel* Label7;   // position of the selection
    QLabel* Label4;   // work field of copy and move
    QLabel* infofile; // work field of the info list
    StatusBar* StatusBar1;

    // Pop-up menu File, on the file list
    QMenu* mnufile;
    QAction* mnurename;
    QAction* mnudelete;
    QAction* saveas;
    QAction* oleeditopen;
    QAction* newwindow;
    QAction* textfile;
    QAction* mnupattern;
    QAction* options;
    // Pop-up menu Settings, on the directory list
    QMenu* mnuset;
    QAction* mnurenamedir;
    QAction* mnusession;
    QAction* mnudefault;
    QAction* mnustartup;
    QAction* mnusub;
    QAction* mnuinfolist;
    QAction* mnuhelp;

    void Drive1_Change();
    void Dir1_Change();
    // A volume came or went: the drive list shows them as they are now, and the directory and
    // file lists and the copy directory leave a volume that went away for the user's home.
    void volumesChanged();
    // A mouse button pressed on the file list, at a position of the list's viewport.
    void File1_MouseDown(Qt::MouseButton button, const QPoint& position);
    void Dir1_MouseDown(Qt::MouseButton button, const QPoint& position);
    void mnupattern_Click();
    void mnuhelp_Click();
    void StatusBar1_PanelClick(int index, const QString& key);

    // The file-type mode: pictures ("pic") or animations ("avi"), with the zoom frame's
    // captions, panel 1 and 4 and the file list's pattern. The count and position labels are
    // left to the caller.
    void setPictureMode();
    void setAnimationMode();
    // The file count label after the list changed.
    void updateFileCount();

    // A size that uses the screen's free area but not more than it has.
    void fitToScreen(const QRect& available);
    // The size fitToScreen() gives the window, before the window's own minimum.
    static QSize fittedSize(const QRect& available);

    // The file list's directory and the selected name as one path.
    QString currentFilePath() const;
    // The lists stand on the user's home where nothing placed them before the window shows.
    // The start-up sequence places them, so a window starts with no list read twice.
    void standOnHomeUnlessPlaced();

    SecondaryWindows& secondaryWindows() { return secondary_; }
    Services& services() { return s_; }
    VolumeWatch& volumes() { return volumes_; }

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
    // Panels 2 and 3 of the status bar, for the windows that answer them.
    void panelClicked(const QString& key);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The constructor's parts, in the order it calls them.
    void buildBrowser();
    void buildViewerArea();
    void buildCommands();
    void buildLabels();
    void buildStatusBar();
    void buildMenus();
    void connectParts();
    void applyMode(const ModeTexts& texts);
    void buildLayout();

    Services& s_;
    VolumeWatch& volumes_;
    SecondaryWindows secondary_;
    QWidget* viewerCanvas_;
    // The directory each drive was left at, so that coming back to a drive opens it there.
    std::map<QString, QString> driveDirs_;
    bool closing_ = false;
};

// The current file of a directory and a name: one "/" between them, none doubled at a root.
QString joinPath(const QString& dir, const QString& name);

} // namespace lumorra
