#include "SelectionViewer.h"

#include "FullScreenWindow.h"
#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "movie/MovieControl.h"
#include "picture/ShownPicture.h"
#include "picture/colour/Colour.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Keys.h"
#include "platform/Launcher.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "platform/StartupProfile.h"
#include "platform/Text.h"
#include "ui/PictureAnimation.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QTimer>

#include <cerrno>
#include <cmath>

namespace lumorra {
namespace {

constexpr double Shrink = 0.99;

const QString Caption = QStringLiteral("Lumorra");

// Hands a hidden widget and the widgets in it the resize events that showing would send them,
// from the outside in, so that their layouts place what they hold.
void layOutHidden(QWidget* widget) {
    if (QLayout* layout = widget->layout())
        layout->activate();
    if (widget->testAttribute(Qt::WA_PendingResizeEvent)) {
        widget->setAttribute(Qt::WA_PendingResizeEvent, false);
        QResizeEvent resized(widget->size(), QSize());
        QCoreApplication::sendEvent(widget, &resized);
    }
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            layOutHidden(child);
}

} // namespace

SelectionViewer::SelectionViewer(MainWindow& window, Services& services)
    : QObject(&window), w_(window), s_(services), preloader_(services.decoders, services.colour) {
    connect(w_.File1, &FileList::selectionChanged, this, [this](int index) {
        if (index >= 0)
            File1_Click();
    });
    connect(w_.Option1, &QRadioButton::clicked, this, &SelectionViewer::Option1_Click);
    connect(w_.Option2, &QRadioButton::clicked, this, &SelectionViewer::Option2_Click);
    connect(w_.Option3, &QRadioButton::clicked, this, &SelectionViewer::Option3_Click);
    connect(w_.Option4, &QRadioButton::clicked, this, &SelectionViewer::Option4_Click);
    connect(w_.AM1, &MovieControl::failed, this, [this](const Error& e) {
        // Only the animation this viewer loaded last is reported, and only while it is still
        // the current file: a Vivo or picture selection since then has cleared it.
        if (!loadingMovie_.isEmpty() && w_.AM1->fileName() == loadingMovie_ &&
            w_.Label1->text() == loadingMovie_) {
            loadingMovie_.clear();
            animationFailure(e);
        }
    });
    connect(w_.AM1, &MovieControl::loaded, this, [this] { loadingMovie_.clear(); });
    connect(w_.Image1, &PictureArea::clicked, this, &SelectionViewer::Image1_Click);
    // The holder of the file's picture follows an animation's frames, as the picture area
    // shows them.
    connect(w_.Image1, &PictureArea::frameShown, w_.Picture1, &PictureArea::showFrame);
    paintWatched_ = w_.Image1;
    w_.Image1->installEventFilter(this);
    // The movie area takes the movie's own size, as the picture area takes the picture's.
    connect(w_.AM1, &MovieControl::naturalSizeChanged, this, [this](QSize size) {
        if (size.isValid())
            w_.AM1->resize(size);
    });
}

double SelectionViewer::pictureFactor(int option) {
    static const double f[] = {0.25, 0.5, 1.0, 2.0};
    return f[qBound(1, option, 4) - 1];
}
double SelectionViewer::movieRate(int option) {
    return pictureFactor(option);
}
QString SelectionViewer::pictureText(int option) {
    static const char* t[] = {"1:4", "1:2", "1:1", "2:1"};
    return QString::fromLatin1(t[qBound(1, option, 4) - 1]);
}
QString SelectionViewer::movieText(int option) {
    static const char* t[] = {".25", ".50", "1.0", "2.0"};
    return QString::fromLatin1(t[qBound(1, option, 4) - 1]);
}

void SelectionViewer::setCurrentFile() {
    w_.Label1->setText(w_.currentFilePath());
    // The picture loaded last stays for Save As, but it is no longer the current file's once
    // another file is current: a Vivo file, a movie or a picture still being loaded. The
    // separate window reads the current file itself then.
    w_.currentPicture.reset();
}

void SelectionViewer::File1_Click() {
    // No frame of the file shown before comes after this.
    w_.Image1->stopAnimation();
    w_.setCursor(Qt::WaitCursor);
    const QString name = w_.File1->fileName();
    if (name.right(3).toLower() == QLatin1String("viv"))
        vivoBranch();
    else if (w_.Label2->text() != QLatin1String("pic"))
        animationBranch();
    else
        pictureBranch();
}

void SelectionViewer::vivoBranch() {
    loadingMovie_.clear();
    // No failure handling of its own: the player window reports what it cannot play.
    ignoreErrors([&] {
        setCurrentFile();
        w_.setWindowTitle(QStringLiteral("Lumorra - Please wait, loading animation"));
        if (showVivo)
            showVivo(w_.Label1->text());
        w_.setWindowTitle(Caption);
    });
    w_.setWindowTitle(Caption);
    ignoreErrors([&] { commonTail(); });
}

void SelectionViewer::animationBranch() {
    const bool ok = withFailureHandler(
        [&] {
            w_.Image1->hide();
            w_.Label5->clear();
            setCurrentFile();
            w_.setWindowTitle(QStringLiteral("Lumorra - Please wait, loading animation"));
            loadingMovie_ = w_.Label1->text();
            // Every animation starts at normal speed, as the 1:1 option marked below says;
            // the movie control would keep the rate of the one before.
            w_.AM1->setRate(1.0);
            w_.AM1->setFileName(loadingMovie_);
            w_.StatusBar1->setText(4, QStringLiteral("1:1"));
            w_.AM1->show();
            w_.setWindowTitle(Caption);
            w_.Option3->setChecked(true);
            commonTail();
        },
        [&](const Error& e) {
            loadingMovie_.clear();
            animationFailure(e);
        });
    if (!ok)
        ignoreErrors([&] { commonTail(); });
}

void SelectionViewer::pictureBranch() {
    loadingMovie_.clear();
    const bool ok = withFailureHandler(
        [&] {
            w_.AM1->hide();
            setCurrentFile();
            w_.setWindowTitle(QStringLiteral("Lumorra - Please wait, loading picture"));
            const QString path = w_.Label1->text();
            const std::optional<Preloader::Stamp> stamp = Preloader::stampOf(path);
            // A picture decoded ahead knows its natural size: no second read of the file for it.
            const QSize fit = autoZoomFit(path, preloader_.naturalSize(path));
            QImage drawing;
            std::shared_ptr<const ShownPicture> picture = preloader_.take(path, fit, &drawing);
            profile::markOnce(picture ? "picture taken (preloaded)" : "picture not preloaded");
            if (!picture)
                picture =
                    ShownPicture::load(s_.decoders, path, fit, MetafilePolicy::Load, &s_.colour);
            // What is drawn or decoded again later comes from the bytes that were read for
            // this showing, never from the file: Copy and Move keep the picture on the screen,
            // and the file may be renamed, deleted or replaced while it is shown.
            // A photo decoded for the screen is decoded in full once something needs it: a
            // zoom of 1:1 or more, the full-screen view, the clipboard; the picture area keeps
            // it. A large one, or one too large to hold in full, shows the regions a zoom
            // exposes decoded at full size instead, and is decoded in full only for whoever
            // asks.
            w_.shownPicture = picture;
            w_.currentPicture = picture;
            w_.Image1->setPicture(picture);
            if (shown_.path != path)
                previous_ = std::move(shown_);
            shown_ = stamp && !picture->isAnimation() ? Shown{path, picture, *stamp} : Shown{};
            showInHolder(picture);
            if (picture->isAnimation())
                w_.Image1->playAnimation(s_.decoders, picture->animation(),
                                         picture->format().toLatin1(), &s_.colour);
            w_.Image1->hide();
            w_.Image1->setStretch(false);
            w_.Option3->setChecked(true);
            w_.StatusBar1->setText(4, QStringLiteral("1:1"));
            w_.Image1->show();
            w_.setWindowTitle(Caption);
            w_.Label5->setText(shortestText(w_.Image1->width()) + QStringLiteral(" x ") +
                               shortestText(w_.Image1->height()));
            if (numberValue(s_.settings.read(keys::AutoZoom)) == 1)
                az();
            w_.Image1->offerDrawing(drawing);
            profile::markOnce("picture placed");
            commonTail();
            // Once the picture is on the screen, the neighbours are read for the next key.
            preloadAfterPaint();
        },
        [&](const Error& e) { pictureFailure(e); });
    if (!ok)
        ignoreErrors([&] { commonTail(); });
}

void SelectionViewer::showInHolder(const std::shared_ptr<const ShownPicture>& picture) {
    // The holder's picture in full is the one the picture area decodes: one copy for both.
    PictureArea::Source source = PictureArea::sourceOf(picture);
    if (source.fullLoader)
        source.fullLoader = [area = QPointer<PictureArea>(w_.Image1), picture] {
            return area && area->shownPicture() == picture ? area->picture() : picture->full();
        };
    w_.Picture1->setPicture(picture->image(), picture->naturalSize(), std::move(source));
}

void SelectionViewer::preloadAfterPaint() {
    preloadPending_ = true;
    QTimer::singleShot(100, this, [this] {
        if (preloadPending_) {
            preloadPending_ = false;
            preloadNeighbours();
        }
    });
}

bool SelectionViewer::eventFilter(QObject* watched, QEvent* event) {
    // Only the area it was installed on sends events here; the window is not touched, as the
    // area's last events come while the window is being destroyed.
    if (event->type() == QEvent::Paint && preloadPending_ && watched == paintWatched_) {
        preloadPending_ = false;
        // After this paint, and the window's flush to the screen that follows it.
        QTimer::singleShot(0, this, [this] { preloadNeighbours(); });
    }
    return QObject::eventFilter(watched, event);
}

void SelectionViewer::preloadNeighbours() {
    ignoreErrors([&] {
        if (w_.Label2->text() != QLatin1String("pic"))
            return;
        const int index = w_.File1->listIndex();
        if (index < 0)
            return;
        // Each is decoded for the size the auto zoom fits it at, which its worker works out from
        // its natural size; the picture shown before, held, serves a step back.
        const std::optional<FitBounds> fit = autoZoomBounds();
        const std::function<QSize(QSize)> drawnAt = fit ? autoZoomDrawing() : nullptr;
        std::vector<Preloader::Request> requests;
        for (int i : {index + 1, index - 1}) {
            const QString name = w_.File1->item(i);
            if (name.isEmpty() || name.right(3).toLower() == QLatin1String("viv"))
                continue;
            const QString path = joinPath(w_.File1->path(), name);
            requests.push_back({path, QSize(), fit, drawnAt});
            if (previous_.path == path)
                preloader_.keep(requests.back(), previous_.picture, previous_.stamp);
        }
        previous_ = {};
        preloader_.preload(requests);
    });
}

std::optional<FitBounds> SelectionViewer::autoZoomBounds() const {
    // Only a guess for the decoder: the setting is read for real after the load, where a bad
    // value is reported.
    bool on = false;
    ignoreErrors([&] { on = numberValue(s_.settings.read(keys::AutoZoom)) == 1; });
    if (!on)
        return std::nullopt;
    // The auto zoom shrinks the picture until it fits these bounds of the window.
    const QSize bounds(static_cast<int>(WidthLimit() * w_.frameGeometry().width()),
                       static_cast<int>(HeightLimit() * w_.frameGeometry().height()));
    return FitBounds{bounds, w_.devicePixelRatioF()};
}

QSize SelectionViewer::autoZoomFit(const QString& path, std::optional<QSize> known) const {
    const std::optional<FitBounds> fit = autoZoomBounds();
    if (!fit)
        return QSize();
    QSize natural = known.value_or(QSize());
    if (!known)
        ignoreErrors([&] { natural = pictureSize(s_.decoders, path); });
    return autoZoomFit(natural, fit->bounds, fit->ratio);
}

std::function<QSize(QSize)> SelectionViewer::autoZoomDrawing() const {
    const double x = s_.screen.twipsPerPixelX(), y = s_.screen.twipsPerPixelY();
    // The same outer size as az() works out.
    const auto outerWidth = static_cast<float>(WidthLimit() * w_.frameGeometry().width() * x);
    const auto outerHeight = static_cast<float>(HeightLimit() * w_.frameGeometry().height() * y);
    const qreal ratio = w_.Image1->devicePixelRatioF();
    return
        [=](QSize natural) { return autoZoomSize(natural, outerWidth, outerHeight, x, y) * ratio; };
}

QSize SelectionViewer::autoZoomSize(QSize natural, float outerWidth, float outerHeight,
                                    double twipsPerPixelX, double twipsPerPixelY) {
    // As the area rounds twips to whole pixels (PictureArea::setWidthTwips()).
    const auto pixels = [](double twips, double perPixel) {
        return qMax(0, static_cast<int>(std::lround(twips / perPixel)));
    };
    QSize size = natural;
    const auto step = [&] {
        const QSize before = size;
        size.setWidth(pixels(size.width() * twipsPerPixelX * Shrink, twipsPerPixelX));
        size.setHeight(pixels(size.height() * twipsPerPixelY * Shrink, twipsPerPixelY));
        return size != before;
    };
    while (size.width() * twipsPerPixelX > outerWidth && step()) {
    }
    while (size.height() * twipsPerPixelY > outerHeight && step()) {
    }
    return size;
}

QSize SelectionViewer::autoZoomFit(QSize natural, QSize bounds, qreal devicePixelRatio) {
    return fittedSize(natural, FitBounds{bounds, devicePixelRatio});
}

void SelectionViewer::pictureFailure(const Error& e) {
    bool ole = false;
    ignoreErrors([&] { ole = numberValue(s_.settings.read(keys::OLE)) == 1; });
    if (ole) {
        // Open the file in the application the desktop has for it: no message, no record.
        ignoreErrors([&] { s_.launcher.openDocument(w_.Label1->text()); });
        w_.setWindowTitle(Caption);
        w_.Image1->clearPicture();
        return;
    }
    const QString record =
        errorRecordText(e, QStringLiteral("Picture load"), QStringLiteral("Picture load"));
    reportFailure(s_, record,
                  QStringLiteral("Unable to open the selected picture, the file may be corrupted. "
                                 "Please select another file or try using another program. If you "
                                 "want Lumorra to do this automatic, then check the box on the "
                                 "file properties window."),
                  &w_);
    w_.setWindowTitle(Caption);
}

void SelectionViewer::animationFailure(const Error& e) {
    const QString record =
        errorRecordText(e, QStringLiteral("Animation load"), QStringLiteral("Animation load"));
    reportFailure(s_, record,
                  QStringLiteral("Unable to open the selected animation, the file may be "
                                 "corrupted. Please select another file or try using another "
                                 "program."),
                  &w_);
    w_.setWindowTitle(Caption);
}

void SelectionViewer::commonTail() {
    w_.Command6->setEnabled(true);
    w_.Command6->setText(QStringLiteral("&Copy"));
    w_.Command2->setEnabled(true);
    w_.Command2->setText(QStringLiteral("&File Copy"));
    w_.Command7->setEnabled(true);
    w_.Command7->setText(QStringLiteral("File &Move"));
    w_.unsetCursor();
    const QFileInfo info(w_.Label1->text());
    if (!info.exists())
        throw Error::fromErrno(ENOENT);
    w_.StatusBar1->setText(2, w_.Label1->text() + QStringLiteral(" (") + numberText(info.size()) +
                                  QStringLiteral(" bytes)"));
    w_.Label7->setText(QStringLiteral("Current: ") + QString::number(w_.File1->listIndex() + 1));
}

double SelectionViewer::WidthLimit() const {
    const int outer = w_.frameGeometry().width();
    return outer > 0 ? double(viewportSize().width()) / outer : 0.0;
}

double SelectionViewer::HeightLimit() const {
    const int outer = w_.frameGeometry().height();
    return outer > 0 ? double(viewportSize().height()) / outer : 0.0;
}

QSize SelectionViewer::viewportSize() const {
    // A hidden window lays itself out only when shown; the limits want its present size.
    if (!w_.isVisible())
        layOutHidden(&w_);
    // The viewer area without scroll bars: a picture that fits it needs none.
    return w_.viewerArea->maximumViewportSize();
}

void SelectionViewer::Option1_Click() {
    Option_Click(1);
}
void SelectionViewer::Option2_Click() {
    Option_Click(2);
}
void SelectionViewer::Option3_Click() {
    Option_Click(3);
}
void SelectionViewer::Option4_Click() {
    Option_Click(4);
}

void SelectionViewer::Option_Click(int option) {
    const QString mode = w_.Label2->text();
    if (mode == QLatin1String("pic")) {
        PictureArea* area = w_.Image1;
        ignoreErrors([&] { area->hide(); });
        ignoreErrors([&] {
            area->resize(area->naturalSize());
            area->setStretch(false);
        });
        if (option != 3) {
            const double f = pictureFactor(option);
            ignoreErrors([&] { area->setHeightTwips(area->heightTwips() * f); });
            ignoreErrors([&] { area->setWidthTwips(area->widthTwips() * f); });
            ignoreErrors([&] { area->setStretch(true); });
        }
        ignoreErrors([&] { w_.StatusBar1->setText(4, pictureText(option)); });
        ignoreErrors([&] { area->show(); });
    } else if (mode == QLatin1String("avi")) {
        ignoreErrors([&] { w_.AM1->setRate(movieRate(option)); });
        ignoreErrors([&] { w_.StatusBar1->setText(4, movieText(option)); });
    }
}

void SelectionViewer::Image1_Click() {
    ignoreErrors([&] {
        if (!w_.Image1->hasPicture())
            return;
        if (!fullScreen_)
            fullScreen_ = new FullScreenWindow(s_.screen, &w_);
        // An animation plays on there from the frame shown.
        const PictureAnimation* playing = w_.Image1->animation();
        // The picture as the main area has it: in full, or drawn from regions there too.
        PictureArea* area = w_.Image1;
        std::shared_ptr<const ShownPicture> picture = area->shownPicture();
        if (!picture) // an image given alone, as in the tests of the area
            picture = ShownPicture::fromImage(area->shownImage(), area->naturalSize());
        const QImage image = area->regionLoader() ? area->shownImage() : area->picture();
        fullScreen_->showPicture(std::move(picture), image, playing);
    });
}

void SelectionViewer::deselectOption3() {
    // Radio buttons of one frame keep one of them checked; to leave none checked the button
    // steps out of the group for a moment.
    w_.Option3->setAutoExclusive(false);
    w_.Option3->setChecked(false);
    w_.Option3->setAutoExclusive(true);
}

void SelectionViewer::az() {
    withFailureHandler(
        [&] {
            PictureArea* area = w_.Image1;
            area->hide();
            // One step shrinks both sides by 1 %, each from the size read back. A pass ends
            // when the side fits, or when a step changes nothing any more (whole pixels).
            const auto step = [area] {
                const QSize before = area->size();
                area->setWidthTwips(area->widthTwips() * Shrink);
                area->setHeightTwips(area->heightTwips() * Shrink);
                return area->size() != before;
            };
            // The picture area's share of the window, the window's outer size in twips.
            const double widthLimit = WidthLimit();
            const double heightLimit = HeightLimit();
            const auto outerWidth = [&] {
                return static_cast<float>(widthLimit * w_.frameGeometry().width() *
                                          s_.screen.twipsPerPixelX());
            };
            const auto outerHeight = [&] {
                return static_cast<float>(heightLimit * w_.frameGeometry().height() *
                                          s_.screen.twipsPerPixelY());
            };
            while (area->widthTwips() > outerWidth()) {
                if (!step())
                    break;
            }
            while (area->heightTwips() > outerHeight()) {
                if (!step())
                    break;
            }
            w_.StatusBar1->setText(4, QStringLiteral("Auto"));
            deselectOption3();
            area->setStretch(true);
            area->show();
        },
        [&](const Error&) {
            reportFailure(s_, QStringLiteral("AutoZoom ERROR"),
                          QStringLiteral("Unable to Auto size the picture. The picture may "
                                         "contain defective pixels"),
                          &w_);
        });
}

} // namespace lumorra
