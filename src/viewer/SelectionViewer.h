#pragma once

#include "Preloader.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace lumorra {

class MainWindow;
class ShownPicture;
struct Error;
struct Services;

// Shows the file list's selection: a picture in the picture area, an animation in the movie
// control, a Vivo movie in its player window; and sizes the picture with the zoom options and
// the auto zoom. Works on the main window's controls.
class SelectionViewer : public QObject {
    Q_OBJECT
public:
    SelectionViewer(MainWindow& window, Services& services);

    // Where Vivo movies go (the player window of the main window).
    std::function<void(const QString& path)> showVivo;

    void File1_Click();
    // The zoom options 1:4, 1:2, 1:1 and 2:1; they share Option_Click (index 1 to 4).
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Option_Click(int option);
    void az();
    // A click on the picture: the full-screen view of it.
    void Image1_Click();
    class FullScreenWindow* fullScreen() const {
        return fullScreen_;
    }

    // Takes over pictures decoded before the window existed (the file named on the command
    // line): the selection shows them as it shows preloaded ones.
    void adoptPreloaded(Preloader& early) { preloader_.adopt(early); }
    // The size, in device pixels, the auto zoom shows a picture of `natural` pixels at when it
    // fits it into `bounds` (logical pixels); invalid when that cannot be told.
    static QSize autoZoomFit(QSize natural, QSize bounds, qreal devicePixelRatio);
    // The size az() shrinks the picture area to for a picture of `natural` pixels, in a window
    // whose share for the picture is `outer` twips wide and high: its steps, without the area.
    static QSize autoZoomSize(QSize natural, float outerWidth, float outerHeight,
                              double twipsPerPixelX, double twipsPerPixelY);

    // The zoom factors and rates of the four options.
    static double pictureFactor(int option);
    static double movieRate(int option);
    static QString pictureText(int option);
    static QString movieText(int option);

private:
    void pictureBranch();
    // The main window's holder of the file's picture takes it too.
    void showInHolder(const std::shared_ptr<const ShownPicture>& picture);
    // The size the auto zoom will show a picture at, in device pixels; invalid when it is off.
    // With the natural size when it is known already, without reading the file for it.
    QSize autoZoomFit(const QString& path, std::optional<QSize> natural = std::nullopt) const;
    // The bounds the auto zoom fits a picture into; none when it is off.
    std::optional<FitBounds> autoZoomBounds() const;
    // The device pixels the auto zoom shows a picture at, from its natural size, for a drawing
    // made ahead; none when it is off.
    std::function<QSize(QSize)> autoZoomDrawing() const;
    // The picture area's share of the main window's outer width and height.
    double WidthLimit() const;
    double HeightLimit() const;
    QSize viewportSize() const;
    void animationBranch();
    void vivoBranch();
    void commonTail();
    void pictureFailure(const Error& e);
    void animationFailure(const Error& e);
    void setCurrentFile();
    void deselectOption3();

    // Starts decoding the entries before and after the selection in the background.
    void preloadNeighbours();
    // The neighbours are read once the picture is on the screen, so that their decoding does
    // not hold up its painting; or a moment later when it is not painted.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void preloadAfterPaint();

    MainWindow& w_;
    Services& s_;
    Preloader preloader_;
    QObject* paintWatched_ = nullptr; // the picture area whose paints start the preloading
    QString loadingMovie_;            // the animation whose load outcome is still to come
    bool preloadPending_ = false;
    // The picture shown and the one before it, with their files' stamps as they were read: the
    // one before is held for a step back until the neighbours are read.
    struct Shown {
        QString path;
        std::shared_ptr<const ShownPicture> picture;
        Preloader::Stamp stamp;
    };
    Shown shown_, previous_;
    class FullScreenWindow* fullScreen_ = nullptr;
};

} // namespace lumorra
