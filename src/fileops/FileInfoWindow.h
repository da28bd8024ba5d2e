#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace lumorra {

class FileOperations;
class MainWindow;
struct Services;

// "File Information": the current file's name, place, size, change time and four attributes,
// with "Rename...", "Delete" and "OK"; below them, for a photo, the camera details its EXIF
// gives. It reads the main window's state when it opens and at
// each button, and every button closes it.
class FileInfoWindow : public QDialog {
    Q_OBJECT
public:
    FileInfoWindow(MainWindow& window, Services& services, FileOperations& operations,
                   QWidget* parent = nullptr);

    QLabel* Label1; // "Filename:"
    QLabel* Label5; // the file's name
    QLabel* Label4; // "Location:"
    QLabel* Label6; // its directory
    QLabel* Label2; // "Filesize:"
    QLabel* Label7; // its size in bytes
    QLabel* Label3; // "Changed:"
    QLabel* Label8; // the date and time of its last change
    QFrame* Line1;
    QLabel* Label9;    // "File attributes:"
    QCheckBox* Check2; // "Read-only"
    QCheckBox* Check3; // "Hidden"
    QCheckBox* Check1; // "Archive"
    QCheckBox* Check4; // "System"
    QFrame* Line2;
    QPushButton* Command1; // "Rename..."
    QPushButton* Command2; // "Delete"
    QPushButton* Command3; // "OK"
    // The camera details, below the buttons; hidden, and the window as tall as without them,
    // for a file that has none. A row shows only when its value is known.
    QWidget* Details;
    std::array<QLabel*, 8> detailTitles; // "Camera:" ... "GPS position:"
    std::array<QLabel*, 8> detailValues; // named "Camera", "Lens", ... "Position"

    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

private:
    // The labels, check boxes and buttons, named as the window's controls.
    void createControls();
    // The window's layout and tab order.
    void arrangeControls();
    void buildDetails(QVBoxLayout& layout);
    void showDetails(const QString& path);

    MainWindow& w_;
    Services& s_;
    FileOperations& operations_;
};

} // namespace lumorra
