#include "KeepOnTop.h"

#include <QWidget>

namespace lumorra {

void setKeepOnTop(QWidget* window, bool onTop) {
    if (!window || keepsOnTop(window) == onTop)
        return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible)
        window->show();
}

bool keepsOnTop(const QWidget* window) {
    return window && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

} // namespace lumorra
