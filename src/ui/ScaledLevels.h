#pragma once

#include <QImage>
#include <QSize>

#include <vector>

namespace lumorra {

// The halvings of a picture, made as shrinks need them and kept for the next paints: a shrink
// draws from the smallest that still has at least the pixels shown, so that the filter never
// skips pixels, and a strong shrink costs a small scale instead of one over the whole picture.
class ScaledLevels {
public:
    // `image`, or the smallest of its halvings that still covers `device` pixels. Another image
    // than the one asked for before starts the halvings afresh.
    const QImage& levelFor(const QImage& image, QSize device);
    // `image` drawn at `device` pixels as a paint draws it from its levels, for a paint that
    // then only copies; null where the paint would draw it otherwise (see scaledImage()).
    static QImage drawnAt(const QImage& image, QSize device);
    // Takes such a drawing of `image` made elsewhere: levelFor() gives it for its size.
    void offer(const QImage& image, const QImage& drawn);
    // Lets go of the halvings made.
    void clear();
    std::size_t count() const { return levels_.size(); }

private:
    // Another image than the one before: what was made of that one goes.
    void follow(const QImage& image);

    qint64 key_ = 0; // the image halved
    std::vector<QImage> levels_;
    QImage drawn_; // offered
};

} // namespace lumorra
