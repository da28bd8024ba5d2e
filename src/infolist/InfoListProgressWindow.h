#pragma once

#include <QWidget>

class QProgressBar;

namespace lumorra {

// "Form9": the small window that shows the info list's progress while it is built.
class InfoListProgressWindow : public QWidget {
    Q_OBJECT
public:
    explicit InfoListProgressWindow(QWidget* parent = nullptr);

    QProgressBar* Bar1;

    // The bar's value, painted at once when the window is shown (the list is built without
    // returning to the event loop), but not more often than the eye can follow.
    void step();
    // Shows the window and waits briefly until the window system has put it on the screen, so
    // that it can be painted while the list is built.
    void showAndPaint();

private:
    qint64 lastPaint_ = -1;
};

} // namespace lumorra
