#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace lumorra {

class AnimationWindow;
class MainWindow;
class PictureWindow;
struct Services;

// The file menu's "&Load in separate &window", which opens the current file in a further
// separate picture or animation window, and "&OLE Edit/Open", which hands it to the
// application the desktop has for it. Registers the windows it opens with the main window.
class SeparateViewer : public QObject {
    Q_OBJECT
public:
    SeparateViewer(MainWindow& window, Services& services);

    // The window opened last by newwindow_Click, as long as it is open.
    QWidget* lastOpened() const { return last_; }

    void newwindow_Click();
    void oleeditopen_Click();

private:
    void openAnimation();
    void openPicture();

    MainWindow& w_;
    Services& s_;
    QPointer<QWidget> last_;
};

} // namespace lumorra
