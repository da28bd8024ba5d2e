#pragma once

// The messages between the program, the zygote and the workers (Sandbox.h). Sockets are
// SOCK_SEQPACKET: one message a call, with the descriptors that go with it.

#include <QtGlobal>

#include <array>
#include <cstddef>

namespace lumorra::picture::channel {

inline constexpr quint32 Magic = 0x4C4D4444; // the version of these messages

// Program -> zygote.
enum class Control : qint32 {
    Spawn = 1,  // fork a worker; answered with a Spawned and its socket and pidfd
    Reap = 2,   // wait for worker `pid`, which has ended or was killed; no answer
    Status = 3, // the same, answered with a Status
};
struct ControlRequest {
    Control what;
    qint32 pid;
};
struct ControlReply {
    Control what; // Spawn or Status
    qint32 pid;
    qint32 status; // Status: the wait status
};

// Program -> worker, with the bytes' memfd or the file's descriptor.
struct Request {
    quint32 magic;
    qint32 job;
    qint32 shownWidth, shownHeight;
    qint32 fitWidth, fitHeight;
    double fitRatio;
    qint32 regionX, regionY, regionWidth, regionHeight;
    qint64 budget;
    qint64 memory;
    qint64 byteCount; // of the memfd; -1 when a file is passed
    qint32 libraries; // what the worker loads before it confines itself
};
enum Library : qint32 {
    HeifLibrary = 1,
    JxlLibrary = 2,
    RawLibrary = 4,
    AvifLibrary = 8,
    Drawing = 16, // Qt's offscreen platform and the fonts: a drawing worker (DrawingWorker.h)
    // A JPEG file's job: of Qt's image format plugins it needs the JPEG one alone, which every
    // worker has.
    JpegReaderOnly = 32,
    TiffLibrary = 64,
};
// A Request whose job is this, sent to the worker of a Frames job, asks for the next frame.
inline constexpr qint32 NextFrame = -2;
// A Request whose job is this is no job: it comes with a memfd of the program's for the pixels
// of the job to come (SandboxMemory.h).
inline constexpr qint32 SpareMemory = -1;

// Worker -> program, with the memfd of the pixels and profile when status is 0.
struct Reply {
    qint32 status; // 0, or the Error number the job failed with
    qint32 width, height, bytesPerLine, imageFormat;
    qint32 naturalWidth, naturalHeight;
    quint32 flags, transformation;
    qint32 cicpPrimaries, cicpTransfer;
    qint32 delay, repeats; // an animation's frame: how long it stays, the passes before its own
    qint64 pixelOffset, iccOffset, iccLength;
    qint64 textOffset, textLength; // in the same memfd, after the profile
    std::array<char, 16> format;
};

// Sends one message with up to two descriptors (-1: none). False when the other end is gone.
bool send(int socket, const void* data, std::size_t length, int fd1 = -1, int fd2 = -1);
// Receives one message of exactly `length` bytes and up to two descriptors (set to -1 when
// absent, closed when the message is of another length). Waits at most `timeoutMs` (-1: for
// ever). False on an end of the stream, a wrong length or the time out.
bool receive(int socket, void* data, std::size_t length, int* fd1, int* fd2, int timeoutMs);

} // namespace lumorra::picture::channel
