#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QTimer>

#include <memory>

namespace lumorra {

class ColourTransforms;
class FrameDecoder;
namespace picture {
class DecoderPool;
}

// Plays an animated picture (GIF, WebP, AVIF sequence, animated JPEG XL) from its file's bytes,
// kept in memory: the file is not read again, so a file renamed or deleted while it plays goes
// on playing. The frames are decoded in a sandboxed decoder worker (FrameDecoder), one ahead of
// the one shown, never more: a picture of many frames holds two at most. Each frame comes whole,
// in the format and the colours the still pictures have, at its own delay; the picture's loop
// count is honoured. The first frame is decoded at once (shownFrame()); the timer runs only
// between resume() and pause(), and ends with the object.
class PictureAnimation : public QObject {
    Q_OBJECT
public:
    // `bytes` are shared, not copied; `format` is the picture's ("gif", "webp", "avif", "jxl").
    // The frames are decoded by a worker of `pool` and come in the screen's colours through
    // `colour` (sRGB without it), from frame `first` of the pass after `repeats` passes played.
    PictureAnimation(picture::DecoderPool& pool, const QByteArray& bytes, const QByteArray& format,
                     const ColourTransforms* colour = nullptr, int first = 0, int repeats = 0,
                     QObject* parent = nullptr);
    ~PictureAnimation() override;

    const QByteArray& bytes() const { return bytes_; }
    const QByteArray& format() const { return format_; }
    const ColourTransforms* colour() const { return colour_; }
    picture::DecoderPool& pool() const { return pool_; }
    // The frame shown now; null when not even the first frame decodes.
    const QImage& shownFrame() const { return shown_; }

    // The timer runs while resumed and a further frame is due.
    void resume();
    void pause();
    bool isRunning() const { return timer_.isActive(); }
    // Every pass played, or a damaged frame that leaves nothing more to show.
    bool isFinished() const { return next_.isNull(); }

    // The frames decoded and held: the one shown last and the next.
    int heldFrames() const { return int(!shown_.isNull()) + int(!next_.isNull()); }
    // The passes played before the one of the frame shown.
    int repeats() const { return repeats_; }
    // Where the frame shown is in its pass, from 0: another view goes on from there.
    int shownIndex() const { return shownIndex_; }

    // A frame's delay below this (many files say 0 or 10 ms) plays at DefaultDelay, as
    // browsers do, so that no animation turns into a busy loop.
    static constexpr int MinimumDelay = 20;
    static constexpr int DefaultDelay = 100;

signals:
    void frameReady(const QImage& frame);

private:
    // Decodes the frame after the current one into next_; at the end of a pass, the first
    // frame of the next pass when the loop count asks for one.
    void decodeNext();
    void advance();

    picture::DecoderPool& pool_;
    QByteArray bytes_;
    QByteArray format_;
    const ColourTransforms* colour_;
    std::unique_ptr<FrameDecoder> frames_;
    QTimer timer_;
    QImage shown_;
    QImage next_;
    int shownDelay_ = DefaultDelay; // how long the frame shown stays
    int nextDelay_ = DefaultDelay;  // how long the next frame stays once shown
    int pendingDelay_ = -1;         // what was left of the wait at pause(), -1 for all of it
    int repeats_ = 0;               // of the frame shown
    int shownIndex_ = 0;
    int nextRepeats_ = 0; // of the next frame
    int nextIndex_ = -1;
    bool resumed_ = false;
};

} // namespace lumorra
