#include "PictureWindow.h"

#include "core/Services.h"
#include "picture/ShownPicture.h"
#include "picture/colour/Colour.h"
#include "platform/Clipboard.h"
#include "platform/Error.h"
#include "platform/Screen.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace lumorra {
namespace {

constexpr double FitLimit = 0.6;
constexpr double ShrinkStep = 0.9;
constexpr double ZoomIn = 1.05;
constexpr double ZoomOut = 0.95;

} // namespace

PictureWindow::PictureWindow(Services& services, QWidget* mainWindow)
    : SeparateWindow(services, mainWindow) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Separate Picture"));
    setFocusPolicy(Qt::StrongFocus);

    Image1 = new PictureArea(services.screen, this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setToolTip(QStringLiteral("Right click to view menu"));
    Image1->installEventFilter(this);

    using Bevel = StatusBar::Bevel;
    StatusBar1->addPanel(
        {QStringLiteral("file"), QStringLiteral("File"), QString(), Bevel::Inset, true});
    StatusBar1->addPanel(
        {QStringLiteral("size"), QStringLiteral("Original picture size"), QString()});

    mnuedit = new QMenu(QStringLiteral("&Edit"), this);
    mnuedit->setObjectName(QStringLiteral("mnuedit"));
    mnucopy = mnuedit->addAction(QStringLiteral("&Copy"));
    mnucopy->setObjectName(QStringLiteral("mnucopy"));
    connect(mnucopy, &QAction::triggered, this, &PictureWindow::mnucopy_Click);
}

void PictureWindow::loadFile(const QString& path,
                             const std::shared_ptr<const ShownPicture>& shown) {
    ignoreErrors([&] { Image1->hide(); });
    ignoreErrors([&] {
        // Decoded for the screen, which the window fits in; shown larger, a large photo is
        // drawn from regions of it and any other decoded in full, from the bytes either way.
        const QSize screen = s_.screen.size() * devicePixelRatioF();
        const std::shared_ptr<const ShownPicture> picture =
            shown && !shown->bytes().isEmpty()
                ? ShownPicture::decode(s_.decoders, shown->bytes(), screen, &s_.colour)
                : ShownPicture::load(s_.decoders, path, screen, MetafilePolicy::Load, &s_.colour);
        // A metafile is a drawing: shown at another size it is drawn afresh; a photo is
        // decoded again in full or in regions. Either comes from the bytes this window has.
        Image1->setPicture(picture);
        if (picture->isAnimation())
            Image1->playAnimation(s_.decoders, picture->animation(), picture->format().toLatin1(),
                                  &s_.colour);
    });
    ignoreErrors([&] { Image1->setStretch(false); });
}

void PictureWindow::fitToScreen() {
    const auto widthLimit = [&] { return static_cast<float>(FitLimit * s_.screen.widthTwips()); };
    const auto heightLimit = [&] { return static_cast<float>(FitLimit * s_.screen.heightTwips()); };
    if (Image1->widthTwips() < widthLimit() && Image1->heightTwips() < heightLimit())
        return;
    do {
        const QSize before = Image1->size();
        Image1->setHeightTwips(Image1->heightTwips() * ShrinkStep);
        Image1->setWidthTwips(Image1->widthTwips() * ShrinkStep);
        // Sizes are whole pixels: a picture a step no longer changes is as small as it gets.
        if (Image1->size() == before)
            break;
    } while (Image1->heightTwips() >= heightLimit() || Image1->widthTwips() >= widthLimit());
    Image1->setStretch(true);
}

void PictureWindow::sizeToPicture(double heightMargin) {
    const double statusBar = StatusBar1->sizeHint().height() * s_.screen.twipsPerPixelY();
    setSizeTwips(Image1->widthTwips() + WidthMargin,
                 statusBar + Image1->heightTwips() + heightMargin);
}

void PictureWindow::placeContent(const QRect& area) {
    // The picture stands in the middle of the space above the status bar.
    Image1->move(area.x() + (area.width() - Image1->width()) / 2,
                 area.y() + (area.height() - Image1->height()) / 2);
}

void PictureWindow::Form_KeyDown(int key, Qt::KeyboardModifiers) {
    // The keypad's plus and minus, and the main keyboard's for keyboards without a keypad.
    const double factor = key == Qt::Key_Plus ? ZoomIn : key == Qt::Key_Minus ? ZoomOut : 0.0;
    if (factor != 0.0) {
        ignoreErrors([&] { Image1->hide(); });
        ignoreErrors([&] { Image1->setWidthTwips(Image1->widthTwips() * factor); });
        ignoreErrors([&] { Image1->setHeightTwips(Image1->heightTwips() * factor); });
    }
    ignoreErrors([&] { sizeToPicture(KeyHeightMargin); });
    ignoreErrors([&] { Image1->setStretch(true); });
    ignoreErrors([&] { arrange(); });
    ignoreErrors([&] { Image1->show(); });
}

void PictureWindow::Image1_MouseDown(Qt::MouseButton button, const QPoint& globalPosition) {
    if (button == Qt::RightButton)
        ignoreErrors([&] { mnuedit->popup(globalPosition); });
}

void PictureWindow::mnucopy_Click() {
    // An empty window has nothing to copy: the clipboard keeps what the user put there.
    if (!Image1->hasPicture())
        return;
    ignoreErrors([&] { s_.clipboard.clear(); });
    ignoreErrors([&] { s_.clipboard.setPicture(s_.colour.screenToSrgb(Image1->picture())); });
}

void PictureWindow::keyPressEvent(QKeyEvent* event) {
    Form_KeyDown(event->key(), event->modifiers());
    event->accept();
}

bool PictureWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        Image1_MouseDown(mouse->button(), mouse->globalPosition().toPoint());
    }
    return SeparateWindow::eventFilter(watched, event);
}

} // namespace lumorra
