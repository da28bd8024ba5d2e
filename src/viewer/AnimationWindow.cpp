#include "AnimationWindow.h"

#include "movie/MovieControl.h"
#include "platform/Error.h"
#include "ui/StatusBar.h"

#include <QCloseEvent>

namespace lumorra {

AnimationWindow::AnimationWindow(Services& services, QWidget* mainWindow)
    : SeparateWindow(services, mainWindow) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Separate Animation"));
    AM1 = new MovieControl(this);
    AM1->setObjectName(QStringLiteral("AM1"));
    StatusBar1->addPanel({QStringLiteral("mnufile"), QStringLiteral("File"), QString(),
                          StatusBar::Bevel::Inset, true});
}

AnimationWindow::~AnimationWindow() {
    stop();
}

void AnimationWindow::stop() {
    // The movie lets go of its file and its sound as soon as the window closes.
    ignoreErrors([&] { AM1->setFileName(QString()); });
}

void AnimationWindow::placeContent(const QRect& area) {
    // The movie fills the space above the status bar.
    AM1->setGeometry(area);
}

void AnimationWindow::closeEvent(QCloseEvent* event) {
    stop();
    SeparateWindow::closeEvent(event);
}

} // namespace lumorra
