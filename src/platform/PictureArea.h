#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <functional>

namespace lumorra {

class Screen;

// A picture display: shows a picture at its natural size (stretch off: the area takes that
// size) or drawn scaled to the area's size (stretch on). Sizes are whole pixels; the twips
// accessors convert with the screen's twips per pixel, for code that computes in twips. The
// main window, the full-screen view and the separate windows all show pictures with it.
class PictureArea : public QWidget {
    Q_OBJECT
public:
    explicit PictureArea(const Screen& screen, QWidget* parent = nullptr);

    // The picture is shared, not copied. With stretch off the area takes the natural size.
    void setPicture(const QImage& image, QSize naturalSize);
    void clearPicture();
    bool hasPicture() const { return !image_.isNull(); }
    const QImage& picture() const { return image_; }
    QSize naturalSize() const { return natural_; }

    bool stretch() const { return stretch_; }
    void setStretch(bool on);

    double widthTwips() const;
    double heightTwips() const;
    void setWidthTwips(double twips);
    void setHeightTwips(double twips);

    // Draws metafiles afresh at the size shown, so that a zoomed drawing stays sharp.
    std::function<QImage(QSize)> renderer;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const QPixmap& scaledFor(QSize size);

    const Screen& screen_;
    QImage image_;
    QSize natural_;
    bool stretch_ = false;
    QPixmap cache_;
};

} // namespace lumorra
