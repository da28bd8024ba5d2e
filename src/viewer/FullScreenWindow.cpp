#include "FullScreenWindow.h"

#include "picture/ShownPicture.h"
#include "platform/Error.h"
#include "platform/Screen.h"
#include "ui/PictureArea.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace lumorra {

FullScreenWindow::FullScreenWindow(const Screen& screen, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), screen_(screen) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Lumorra"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ButtonText));
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
    Image1 = new PictureArea(screen, this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setToolTip(QStringLiteral("Click to return"));
    connect(Image1, &PictureArea::clicked, this, &FullScreenWindow::Form_Click);
}

void FullScreenWindow::centre() {
    const QSize s = screen_.size();
    Image1->move(s.width() / 2 - Image1->width() / 2, s.height() / 2 - Image1->height() / 2);
}

void FullScreenWindow::showPicture(std::shared_ptr<const ShownPicture> picture, const QImage& image,
                                   const PictureAnimation* animation) {
    ignoreErrors([&] {
        if (!picture)
            return;
        // Drawn from the image it is given (a metafile as the main area holds it, not drawn
        // afresh), and from regions where the main area draws from them.
        PictureArea::Source source;
        source.regionLoader = PictureArea::sourceOf(picture).regionLoader;
        Image1->setPicture(image.isNull() ? picture->image() : image, picture->naturalSize(),
                           std::move(source));
    });
    if (animation != nullptr)
        ignoreErrors([&] { Image1->playAnimation(*animation); });
    ignoreErrors([&] {
        Image1->setStretch(false);
        Image1->resize(Image1->naturalSize());
    });
    ignoreErrors([&] { centre(); });
    ignoreErrors([&] {
        setGeometry(screen_.availableGeometry().united(QRect(QPoint(0, 0), screen_.size())));
        showFullScreen();
        raise();
        activateWindow();
        setFocus();
    });
}

void FullScreenWindow::Form_KeyDown(int key, Qt::KeyboardModifiers) {
    // The keypad's keys, and the main keyboard's "+" and "-" for keyboards without a keypad.
    const double factor = key == Qt::Key_Plus ? 1.05 : key == Qt::Key_Minus ? 0.95 : 0.0;
    if (factor != 0.0) {
        ignoreErrors([&] { Image1->hide(); });
        ignoreErrors([&] { Image1->setWidthTwips(Image1->widthTwips() * factor); });
        ignoreErrors([&] { Image1->setHeightTwips(Image1->heightTwips() * factor); });
        ignoreErrors([&] { Image1->setStretch(true); });
    }
    ignoreErrors([&] { centre(); });
    ignoreErrors([&] { Image1->show(); });
}

void FullScreenWindow::Form_Click() {
    // The window is kept for the next picture; an animation ends with the view.
    Image1->stopAnimation();
    hide();
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event) {
    Form_KeyDown(event->key(), event->modifiers());
    event->accept();
}

void FullScreenWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Form_Click();
    QWidget::mouseReleaseEvent(event);
}

} // namespace lumorra
