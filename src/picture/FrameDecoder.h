#pragma once

#include <QByteArray>
#include <QImage>

#include <memory>

namespace lumorra {

class ColourTransforms;
namespace picture {
class DecoderPool;
class FrameSession;
} // namespace picture

struct AnimationFrame {
    QImage image;    // ARGB32 or RGB32, in the screen's colours; null when there is none
    int delay = 0;   // how long it stays, in milliseconds, as the file says
    int repeats = 0; // the passes played before the frame's own
};

// The frames of an animated picture (GIF, WebP, AVIF sequence, animated JPEG XL) from its file's
// bytes, one at a time, in the order and passes the file gives: each is decoded in a sandboxed
// decoder worker of `pool` that keeps the animation's decoder from one frame to the next, and
// brought to the screen's colours through `colour` (sRGB without it) as a still picture is. The
// worker decodes a frame when it is asked for, and ends with the object.
class FrameDecoder {
public:
    // From frame `first` of the pass after `repeats` passes played.
    FrameDecoder(picture::DecoderPool& pool, const QByteArray& bytes,
                 const ColourTransforms* colour, int first = 0, int repeats = 0);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // The next frame; a null image once there is none: the last pass played, a frame too
    // damaged to show, a worker that failed. No frame follows a null one.
    AnimationFrame next();

private:
    std::unique_ptr<picture::FrameSession> session_;
    const ColourTransforms* colour_;
};

} // namespace lumorra
