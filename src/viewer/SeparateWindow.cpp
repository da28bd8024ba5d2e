#include "SeparateWindow.h"

#include "core/Services.h"
#include "platform/Error.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "ui/StatusBar.h"

#include <QCloseEvent>
#include <QTimer>

#include <cmath>

namespace lumorra {
namespace {

// Corner offsets in twips: from the right edge and from the bottom edge of the screen.
constexpr double RightOffset = 50;
constexpr double BottomOffset = 600;

int pixels(double twips, double twipsPerPixel) {
    if (!std::isfinite(twips) || std::abs(twips) > 1e9 || twipsPerPixel <= 0)
        throw Error::program(errc::Overflow);
    return static_cast<int>(std::lround(twips / twipsPerPixel));
}

} // namespace

SeparateWindow::SeparateWindow(Services& services, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window), s_(services), main_(mainWindow) {
    setAttribute(Qt::WA_DeleteOnClose);
    StatusBar1 = new StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    if (mainWindow) {
        // Not a child of the main window (a child would always stay above it), yet gone with it.
        connect(mainWindow, &QObject::destroyed, this, [this] { delete this; });
    }
}

double SeparateWindow::widthTwips() const {
    return width() * s_.screen.twipsPerPixelX();
}

double SeparateWindow::heightTwips() const {
    return height() * s_.screen.twipsPerPixelY();
}

void SeparateWindow::setSizeTwips(double width, double height) {
    const int w = pixels(width, s_.screen.twipsPerPixelX());
    const int h = pixels(height, s_.screen.twipsPerPixelY());
    resize(qMax(1, w), qMax(1, h));
    // A window not yet shown hears of its size only when it shows; the corner is wanted now.
    arrange();
    Form_Resize();
}

void SeparateWindow::Form_Resize() {
    ignoreErrors([&] {
        // The frame the window manager adds belongs to the window's extent on the screen.
        const QSize frame = frameGeometry().size() - geometry().size();
        placedFrame_ = frame;
        const double outerWidth = (width() + frame.width()) * s_.screen.twipsPerPixelX();
        const double outerHeight = (height() + frame.height()) * s_.screen.twipsPerPixelY();
        const double top = s_.screen.heightTwips() - outerHeight - BottomOffset;
        const double left = s_.screen.widthTwips() - outerWidth - RightOffset;
        move(pixels(left, s_.screen.twipsPerPixelX()), pixels(top, s_.screen.twipsPerPixelY()));
    });
}

void SeparateWindow::Form_GotFocus() {
    ignoreErrors([&] {
        if (s_.settings.read(keys::OnTop) == QLatin1String("1") && !keepsOnTop(this)) {
            setKeepOnTop(this, true);
            Form_Resize();
        }
    });
}

void SeparateWindow::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    ignoreErrors([&] {
        if (main_ && main_->isVisible())
            main_->activateWindow();
    });
}

void SeparateWindow::arrange() {
    ignoreErrors([&] {
        const int h = StatusBar1->sizeHint().height();
        StatusBar1->setGeometry(0, height() - h, width(), h);
        placeContent(QRect(0, 0, width(), qMax(0, height() - h)));
    });
}

void SeparateWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
    Form_Resize();
}

// The window manager frames a window after it is shown, and may tell the frame's size after
// the last move it makes: the corner position is worked out again once the frame is known.
void SeparateWindow::placeAgainIfFramed() {
    ignoreErrors([&] {
        if (isVisible() && frameGeometry().size() - geometry().size() != placedFrame_)
            Form_Resize();
    });
}

void SeparateWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    placeAgainIfFramed();
}

void SeparateWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A busy window manager may frame it seconds later.
    for (int ms : {100, 500, 1500, 4000})
        QTimer::singleShot(ms, this, &SeparateWindow::placeAgainIfFramed);
}

void SeparateWindow::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

bool SeparateWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::FocusIn)
        Form_GotFocus();
    return QWidget::event(e);
}

} // namespace lumorra
