#pragma once

#include <QPointer>
#include <QWidget>

namespace lumorra {

class StatusBar;
struct Services;

// What the separate picture and animation windows share: they sit in the lower right corner
// of the screen (moved back there at every size change), switch their keep-on-top flag on when
// they gain the focus and "OnTop" is "1", and hand the focus back to the main window when they
// close. They are windows of their own, not owned by the main window, so that the main window
// can come in front of them; they are deleted when they close or when the main window goes.
class SeparateWindow : public QWidget {
    Q_OBJECT
public:
    StatusBar* StatusBar1;

    // The window's size in twips (the status bar included).
    double widthTwips() const;
    double heightTwips() const;
    void setSizeTwips(double width, double height);

    void Form_Resize();
    void Form_GotFocus();
    void Form_Unload();

protected:
    SeparateWindow(Services& services, QWidget* mainWindow);

    // The part of the window above the status bar, for the picture or the movie.
    virtual void placeContent(const QRect& area) = 0;
    // The status bar along the bottom edge, the content above it.
    void arrange();

    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

    Services& s_;

private:
    QPointer<QWidget> main_;
    bool unloaded_ = false;
    QSize placedFrame_; // the frame the corner position was worked out with
    void placeAgainIfFramed();
};

} // namespace lumorra
