#pragma once

// Decoding a picture's bytes in a confined worker process. A zygote process, started from the
// program's own decoder executable, forks workers ahead of need; each worker confines itself
// (Confinement.h) and serves one job, then ends: a hostile picture costs its worker, never the
// program, the user's files or the next picture. The pixels come back in memory the worker
// shares with the program. The program makes one pool and passes it to whoever decodes; the rest
// is not part of the loader's interface.

#include "picture/colour/Colour.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace lumorra::picture {

struct PixelMemory;
struct PixelRecycler;

enum class Job : qint32 {
    Decode = 1,  // the picture for showing (sniff, header, profile, decode; no colour transform)
    Size = 2,    // the natural size alone, from a file's header where the format allows
    Region = 3,  // a rectangle of a JPEG at full size
    Details = 4, // a photo's camera details from its EXIF, as text (JobReply::text)
    // An animation's frames, one a request, from the worker that keeps its decoder
    // (FrameSession); region.x() is the frame to start at, region.y() the passes played.
    Frames = 5,
    Metafile = 6, // a WMF or EMF drawn at `shown`, or at its natural size (within the metafile
                  // raster) for an invalid one
    // Numbers from here on are jobs a worker program adds of its own (ExtraJobs).
    FirstExtra = 1000,
};

// The walls a worker puts up. A drawing worker draws WMF, EMF and SVG, whose libraries open the
// system's fonts as they draw text: it may open files for reading beneath the font directories.
enum class WorkerKind { Picture, Drawing };

struct JobRequest {
    Job job = Job::Decode;
    WorkerKind kind = WorkerKind::Picture;
    QByteArray bytes;   // the picture's bytes, or
    int sealed = -1;    // the same in a sealed memfd (sealedCopy(); not taken over), or
    int file = -1;      // a file open for reading (not taken over), for header reads
    QSize shown;        // Decode: the size it is shown at, invalid for in full, or
    QSize fitBounds;    // the bounds it is shown shrunk into (fittedSize(), PictureLoader.h)
    qreal fitRatio = 1; // with this many device pixels a pixel
    QRect region;       // Region: the rectangle, in upright natural pixels
    qint64 budget = 0;  // the bytes a decoded picture may take
    qint64 memory = 0;  // the address space the worker may take beyond its own
    // Run once a worker has the bytes, while it decodes them: the program's own work meanwhile.
    std::function<void()> meanwhile;
};

// A copy of the file `file` (`size` bytes as it was opened) in a sealed memfd, for a worker,
// made by the kernel; of what the file still has where it was cut short since. Throws 7 where no
// memory is left for it, the errno Error where the file cannot be read.
int sealedCopy(int file, qint64 size);

// What a job gives back. The flags say how the picture is to be finished.
struct JobReply {
    enum Flag : quint32 {
        Animated = 1,         // an animated GIF, WebP, AVIF sequence or JPEG XL
        FitsOnlyReduced = 2,  // Picture::fitsOnlyReduced
        RegionsDecodable = 4, // Picture::regionsDecodable
        CmykInk = 8,          // the image holds CMYK ink for the colour transform
        InkInverted = 16,     // the ink is stored inverted
        HostOnly = 32,        // a format for a drawing worker (SVG: it draws text)
        FromPreview = 64,     // Picture::fromPreview: a camera RAW shown from its preview
        Turned = 128,         // Picture::turned: turned upright as its orientation says
    };
    QImage image; // ARGB32 or RGB32 (CmykInk: the ink, four bytes a pixel)
    QSize naturalSize;
    QByteArray format;
    ColourSource colour;
    quint32 flags = 0;
    quint32 transformation = 0; // CmykInk: the turn still to apply after the colour transform
    QByteArray text;            // Details: one field a line
    int delay = 0;              // Frames: how long the frame stays, in milliseconds
    int repeats = 0;            // Frames: the passes played before the frame's own
};

// The longest text a job gives back.
inline constexpr qint64 ReplyTextCap = 64 << 10;

// The decoder workers of one program: the zygote, and a few workers kept warm. Safe to use from
// several threads at once; it outlives them all, and its end stops its workers and the zygote.
class DecoderPool {
public:
    // `program` is the decoder executable; where it is missing or cannot be started, each job
    // runs in a child forked from this process, confined the same way.
    explicit DecoderPool(QString program, int warm = 2);
    ~DecoderPool();
    DecoderPool(const DecoderPool&) = delete;
    DecoderPool& operator=(const DecoderPool&) = delete;

    // Runs the job in a worker. Throws the Error the job failed with (481 "Invalid picture",
    // 7 "Out of memory"); a worker that crashes, is ended by its filter or its limits, or has not
    // answered within `timeout`, makes it 481. The job is never tried again.
    JobReply run(const JobRequest& request, std::chrono::milliseconds timeout);
    // Starts the zygote and the warm workers now, so that the first picture waits for none.
    void warmUp();
    // Takes a zygote started before the pool (ZygoteStart.h) as its own, unless it has one.
    void adoptZygote(int control, int pid);
    // The signal that ended the last worker that failed, 0 when it exited.
    int lastFailureSignal() const;

    // The program's decoder executable: "lumorra_decoder" in $LUMORRA_BIN_DIR, or beside the
    // running executable.
    static QString defaultProgram();

    // Takes the memory of a picture that is done with, for the next one (SandboxMemory.h).
    void recycle(PixelMemory* memory);

    struct Worker;

private:
    friend class FrameSession;
    Worker take(bool forPixels);
    void finish(Worker& w, bool failed);
    void adopt(const Worker& w);
    void donate();
    bool startZygote();
    void requestWorker();
    bool receiveWorker(bool wait);
    int zygoteStatus(int pid);
    void stopZygote();

    QString program_;
    int warm_;
    mutable std::mutex mutex_;
    int control_ = -1; // the socket to the zygote
    int zygote_ = -1;
    int pending_ = 0; // workers asked for and not yet received
    int lastSignal_ = 0;
    int zygoteStarts_ = 0;
    std::deque<std::unique_ptr<Worker>> ready_;
    PixelMemory* spare_ = nullptr; // kept for a warm worker
    std::shared_ptr<PixelRecycler> recycler_;
};

// The frames of one animation, decoded in a worker of the pool that keeps the animation's decoder
// from one frame to the next and ends with the session. Each frame comes in memory of its own,
// decoded when asked for.
class FrameSession {
public:
    // Starts the worker on `request` (Job::Frames). Throws like DecoderPool::run().
    FrameSession(DecoderPool& pool, const JobRequest& request);
    ~FrameSession();
    FrameSession(const FrameSession&) = delete;
    FrameSession& operator=(const FrameSession&) = delete;

    // The next frame, or a reply without an image once there is none. Throws like
    // DecoderPool::run(); no frame follows then.
    JobReply next(std::chrono::milliseconds timeout);

private:
    void end(bool failed);

    DecoderPool& pool_;
    std::unique_ptr<DecoderPool::Worker> worker_; // null once the session is over
    bool asked_ = false;                          // the first frame has been received
};

// Long enough for a sound photo of the largest size the budget allows, in a sanitizer build.
inline constexpr std::chrono::milliseconds WorkerTimeout{30000};

} // namespace lumorra::picture
