#pragma once

// An animation's frames, one at a time, for the decoder worker that plays it: GIF and WebP
// through Qt's readers, AVIF sequences through libavif, animated JPEG XL through libjxl. Not
// part of the loader's interface.

#include "picture/colour/Colour.h"

#include <QByteArray>
#include <QImage>

#include <memory>

namespace lumorra::picture {

struct Frame {
    QImage image;  // whole (partial frames composed), ARGB32 or RGB32
    int delay = 0; // how long it stays, in milliseconds, as the file says
};

class FrameReader {
public:
    virtual ~FrameReader() = default;
    // The next frame of the pass; false at the end of the pass, or at a frame too damaged to
    // show.
    virtual bool next(Frame& frame) = 0;
    // Back to the first frame.
    virtual void rewind() = 0;

    int loops = 0;       // further passes after the first, -1 for ever
    ColourSource colour; // how the frames' pixels are meant
};

// The frames of the animation in `bytes` (a GIF, WebP, AVIF or JPEG XL file). A frame larger
// than `budget` bytes is refused. Throws 481 for a file that is no animation of these formats.
std::unique_ptr<FrameReader> openFrames(const QByteArray& bytes, qint64 budget);

// AvifSequence.cpp: an AVIF image sequence's frames, and whether `bytes` hold one of more than
// one frame. The library is loaded with loadAvifLibrary() (a worker does so before it confines
// itself); where it cannot be, there are no frames.
std::unique_ptr<FrameReader> avifFrames(const QByteArray& bytes, qint64 budget);
bool isAvifSequence(const QByteArray& bytes);
void loadAvifLibrary();

// JxlDecoder.cpp: an animated JPEG XL file's frames (coalesced: each is the whole picture).
std::unique_ptr<FrameReader> jxlFrames(const QByteArray& bytes, qint64 budget);

} // namespace lumorra::picture
