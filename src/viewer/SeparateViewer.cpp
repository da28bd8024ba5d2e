#include "SeparateViewer.h"

#include "AnimationWindow.h"
#include "PictureWindow.h"
#include "browser/MainWindow.h"
#include "core/Services.h"
#include "movie/MovieControl.h"
#include "picture/ShownPicture.h"
#include "platform/Error.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Launcher.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "ui/PictureAnimation.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QLabel>

namespace lumorra {
namespace {

using Kind = SecondaryWindows::SeparateKind;

// A new separate window of `kind`, shown and counted among the secondary windows, with the
// main window's wait cursor on; null where it could not be made.
template <class Window>
Window* newWindow(MainWindow& w, Services& s, QPointer<QWidget>& last, Kind kind) {
    Window* window = nullptr;
    ignoreErrors([&] {
        window = new Window(s, &w);
        w.secondaryWindows().addSeparate(window, kind);
        last = window;
        window->show();
    });
    if (window)
        ignoreErrors([&] { w.setCursor(Qt::WaitCursor); });
    return window;
}

bool onTop(Services& s) {
    return s.settings.read(keys::OnTop) == QLatin1String("1");
}

} // namespace

SeparateViewer::SeparateViewer(MainWindow& window, Services& services)
    : QObject(&window), w_(window), s_(services) {
    connect(w_.newwindow, &QAction::triggered, this, &SeparateViewer::newwindow_Click);
    connect(w_.oleeditopen, &QAction::triggered, this, &SeparateViewer::oleeditopen_Click);
    // Windows asked for before any was opened (the info list minimises them) come empty.
    w_.secondaryWindows().createHiddenSeparate = [&window, &services](Kind kind) -> QWidget* {
        if (kind == Kind::Picture)
            return new PictureWindow(services, &window);
        return new AnimationWindow(services, &window);
    };
}

void SeparateViewer::newwindow_Click() {
    if (w_.Label2->text() != QLatin1String("pic"))
        openAnimation();
    else
        openPicture();
}

void SeparateViewer::openAnimation() {
    AnimationWindow* window = newWindow<AnimationWindow>(w_, s_, last_, Kind::Animation);
    if (!window)
        return;
    const QString path = w_.Label1->text();
    ignoreErrors([&] { window->AM1->setFileName(path); });
    ignoreErrors([&] { window->AM1->setRate(w_.AM1->rate()); });
    ignoreErrors([&] {
        const double tx = s_.screen.twipsPerPixelX();
        const double ty = s_.screen.twipsPerPixelY();
        const double statusBar = window->StatusBar1->sizeHint().height() * ty;
        window->setSizeTwips(w_.AM1->width() * tx + AnimationWindow::WidthMargin,
                             w_.AM1->height() * ty + AnimationWindow::HeightMargin + statusBar);
    });
    ignoreErrors([&] { w_.unsetCursor(); });
    ignoreErrors([&] {
        if (onTop(s_))
            setKeepOnTop(window, true);
    });
    ignoreErrors([&] { window->StatusBar1->setText(1, path + QStringLiteral("  ")); });
    ignoreErrors([&] { window->setWindowTitle(w_.File1->fileName()); });
}

void SeparateViewer::openPicture() {
    PictureWindow* window = newWindow<PictureWindow>(w_, s_, last_, Kind::Picture);
    if (!window)
        return;
    const QString path = w_.Label1->text();
    // The picture the main window shows, decoded afresh from its bytes: the file may have been
    // renamed or replaced since. There is one only while it is the current file's; without it
    // (after a Vivo file, a movie or a failed load) the current file is read.
    window->loadFile(path, w_.currentPicture);
    // An animation the main window plays goes on there from the frame shown.
    ignoreErrors([&] {
        const PictureAnimation* playing = w_.Image1->animation();
        if (playing && window->Image1->animation() && w_.currentPicture &&
            playing->bytes() == w_.currentPicture->bytes())
            window->Image1->playAnimation(*playing);
    });
    ignoreErrors([&] { window->fitToScreen(); });
    ignoreErrors([&] { window->sizeToPicture(PictureWindow::OpeningHeightMargin); });
    ignoreErrors([&] { window->StatusBar1->setText(1, path + QStringLiteral("  ")); });
    ignoreErrors([&] { window->StatusBar1->setText(2, w_.Label5->text() + QStringLiteral("  ")); });
    ignoreErrors([&] { window->setWindowTitle(w_.File1->fileName()); });
    ignoreErrors([&] { w_.unsetCursor(); });
    ignoreErrors([&] {
        if (onTop(s_))
            setKeepOnTop(window, true);
    });
    ignoreErrors([&] { window->Image1->show(); });
}

void SeparateViewer::oleeditopen_Click() {
    // No message when the desktop has no application for it.
    ignoreErrors([&] { s_.launcher.openDocument(w_.Label1->text()); });
}

} // namespace lumorra
