#pragma once

#include "RegionCache.h"
#include "ScaledLevels.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <memory>

namespace lumorra {

class ColourTransforms;
class PictureAnimation;
class Screen;
class ShownPicture;
namespace picture {
class DecoderPool;
}

// A picture display: shows a picture at its natural size (stretch off: the area takes that
// size) or drawn scaled to the area's size (stretch on). Sizes are whole pixels; the twips
// accessors convert with the screen's twips per pixel, for code that computes in twips. The
// main window, the full-screen view and the separate windows all show pictures with it.
class PictureArea : public QWidget {
    Q_OBJECT
public:
    explicit PictureArea(const Screen& screen, QWidget* parent = nullptr);
    ~PictureArea() override;

    // Where the area gets more of the picture than the image it is given; all of it goes with
    // the next picture.
    struct Source {
        // Draws a metafile afresh at the size shown, so that a zoomed drawing stays sharp.
        std::function<QImage(QSize)> renderer;
        // For an image smaller than the natural size (decoded for the screen): the full
        // picture, loaded once, when it is shown larger than the image the area has or when
        // picture() is asked for.
        std::function<QImage()> fullLoader;
        // For a picture held reduced that is better not held in full (larger than memory
        // allows, or large): a rectangle of it, in natural pixels, decoded at full size. A zoom
        // that shows the picture larger than the image held draws what is exposed from such
        // regions, and decodes the next ones ahead on a thread while the view nears their
        // edge. Called from other threads too.
        std::function<QImage(QRect)> regionLoader;
    };
    // What an area gets of `picture` beyond the image it holds, all from the picture's bytes:
    // a metafile drawn afresh, a reduced photo decoded in full, a large one's regions.
    static Source sourceOf(const std::shared_ptr<const ShownPicture>& picture);

    // Shows `picture`, from the image it holds, drawn from its sources (sourceOf()).
    void setPicture(std::shared_ptr<const ShownPicture> picture);
    // The picture is shared, not copied. With stretch off the area takes the natural size.
    // A new picture, or none, ends the animation the area played.
    void setPicture(const QImage& image, QSize naturalSize, Source source = {});
    void clearPicture();
    // The picture given to setPicture(); none for an image given alone.
    const std::shared_ptr<const ShownPicture>& shownPicture() const { return shown_; }

    // Plays the picture shown (setPicture() was given its first frame) as an animation from
    // its file's bytes, of format "gif", "webp", "avif" or "jxl", from the first frame, decoded
    // by a worker of `pool`, in the screen's colours through `colour`. Each frame replaces the
    // image drawn: the sizes, the stretch and the zoom stay as they are. It plays while the area is
    // visible.
    void playAnimation(picture::DecoderPool& pool, const QByteArray& bytes,
                       const QByteArray& format, const ColourTransforms* colour = nullptr);
    // Plays the animation another view plays, on from the frame that one shows.
    void playAnimation(const PictureAnimation& from);
    // The frame shown stays, as a still picture.
    void stopAnimation();
    const PictureAnimation* animation() const { return animation_.get(); }
    // An animation's frame in place of the image drawn; the sizes stay.
    void showFrame(const QImage& frame);
    bool hasPicture() const { return !image_.isNull(); }
    // The picture at full resolution (loaded now if the area holds a reduced one and the full
    // one can be had). The area keeps it, and draws from it from then on, unless it draws
    // from regions: then each asker gets a full picture of its own.
    QImage picture() const;
    // The same, not kept: an area that holds a reduced image loads it afresh for each asker.
    QImage fullPicture() const;
    // Takes a drawing of the picture set at the device pixels it is to be shown at, made
    // ahead on another thread (ScaledLevels::drawnAt()): a paint at that size copies it.
    void offerDrawing(const QImage& drawn);
    // What the area draws from: the picture, perhaps reduced.
    const QImage& shownImage() const { return image_; }
    QSize naturalSize() const { return natural_; }

    bool stretch() const { return stretch_; }
    void setStretch(bool on);

    double widthTwips() const;
    double heightTwips() const;
    void setWidthTwips(double twips);
    void setHeightTwips(double twips);

    // The source's region loader, for another view to draw the picture from regions too.
    const std::function<QImage(QRect)>& regionLoader() const { return regions_.loader(); }

    // The source's renderer, as setPicture() left it.
    std::function<QImage(QSize)> renderer;

signals:
    void clicked();
    // An animation's frame has taken the place of the one before.
    void frameShown(const QImage& frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startAnimation(std::unique_ptr<PictureAnimation> animation);
    // A metafile drawn afresh at this size, kept for the next paint.
    const QPixmap& drawnFor(QSize size);
    // The picture, or the smallest of its halvings that still covers `device` pixels.
    const QImage& levelFor(QSize device);
    // Draws the exposed part of the picture shown at `target` from a region decoded at full
    // size; false when there is none to draw from.
    bool drawRegion(QPainter& painter, const QRect& exposed, QSize target);
    // What the image shown was: gone are the drawings, halvings and regions made of it.
    void forgetDrawn();

    const Screen& screen_;
    mutable QImage image_;
    mutable std::function<QImage()> fullLoader_;
    QSize natural_;
    std::shared_ptr<const ShownPicture> shown_;
    bool stretch_ = false;
    mutable QPixmap cache_;
    mutable ScaledLevels levels_;
    RegionCache regions_;
    QRect aheadView_; // the view to decode ahead for, once the paint is done
    std::unique_ptr<PictureAnimation> animation_;
};

} // namespace lumorra
