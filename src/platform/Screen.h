#pragma once

#include <QRect>
#include <QSize>

namespace lumorra {

// Screen metrics. Sizes are in pixels as the window system holds them; the twips figures
// (1440 per inch) serve the computations that are written in twips.
class Screen {
public:
    virtual ~Screen() = default;
    // The primary screen's size in pixels. Throws Error when there is no screen.
    virtual QSize size() const = 0;
    // The part of the screen that windows may use (without panels and docks).
    virtual QRect availableGeometry() const { return QRect(QPoint(0, 0), size()); }
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;

    double widthTwips() const { return size().width() * twipsPerPixelX(); }
    double heightTwips() const { return size().height() * twipsPerPixelY(); }
};

// The real screen, from Qt's primary screen; twips per pixel = 1440 / logical DPI.
class QtScreen : public Screen {
public:
    QSize size() const override;
    QRect availableGeometry() const override;
    double twipsPerPixelX() const override;
    double twipsPerPixelY() const override;
};

// A screen of a given size, for tests and for places that must not depend on the display.
class FixedScreen : public Screen {
public:
    explicit FixedScreen(QSize size, double dpi = 96.0) : size_(size), dpi_(dpi) {}
    QSize size() const override { return size_; }
    double twipsPerPixelX() const override { return 1440.0 / dpi_; }
    double twipsPerPixelY() const override { return 1440.0 / dpi_; }
    void setSize(QSize s) { size_ = s; }

private:
    QSize size_;
    double dpi_;
};

} // namespace lumorra
