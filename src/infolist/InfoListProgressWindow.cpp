#include "InfoListProgressWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWindow>

namespace lumorra {

namespace {
// Repaints of the bar during a run, at most one per this many milliseconds.
constexpr qint64 PaintInterval = 40;
// How long showing waits for the window system to map the window.
constexpr int ExposeWait = 500;
} // namespace

InfoListProgressWindow::InfoListProgressWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Creating file info list, please wait..."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    Bar1 = new QProgressBar(this);
    Bar1->setObjectName(QStringLiteral("Bar1"));
    Bar1->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(Bar1);
    resize(440, sizeHint().height());
}

void InfoListProgressWindow::step() {
    Bar1->setValue(Bar1->value() + 1);
    if (!isVisible())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (Bar1->value() == Bar1->maximum() || lastPaint_ < 0 || now - lastPaint_ >= PaintInterval) {
        lastPaint_ = now;
        Bar1->repaint();
    }
}

void InfoListProgressWindow::showAndPaint() {
    // Over the middle of the main window, where the user looks.
    if (const QWidget* owner = parentWidget()) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    show();
    raise();
    // The window system maps a new window in its own time; until then nothing painted shows.
    // Only that is waited for: input waits until the list is done.
    QDeadlineTimer deadline(ExposeWait);
    while (windowHandle() && !windowHandle()->isExposed() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    repaint();
    lastPaint_ = QDateTime::currentMSecsSinceEpoch();
}

} // namespace lumorra
