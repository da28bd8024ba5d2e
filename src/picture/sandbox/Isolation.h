#pragma once

// Running a metafile library or a picture decoder in a child process. libwmf and libemf2svg are
// C code that reads records as they come, and libheif decodes with libde265 and libdav1d; a
// damaged file can make them read out of bounds, crash or loop. In a child process such a file
// costs the child, not the viewer.

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <chrono>
#include <functional>

namespace lumorra::picture {

// The child's side: what it hands back to the parent.
class ChildWriter {
public:
    explicit ChildWriter(int fd) : fd_(fd) {}
    void send(const void* data, qsizetype length);
    void send(const QByteArray& bytes) { send(bytes.constData(), bytes.size()); }
    bool started() const { return started_; }
    // Reports an Error number instead of an answer; only before anything was sent.
    void fail(int number);

private:
    void write(const void* data, qsizetype length);
    int fd_;
    bool started_ = false;
};

// The parent's side: the child's answer, read within the deadline.
class ChildReply {
public:
    ChildReply(int fd, std::chrono::steady_clock::time_point deadline)
        : fd_(fd), deadline_(deadline) {}
    // Throws 481 when the child ended early, died or ran out of time.
    void read(void* into, qsizetype length);
    template <class T> T read() {
        T value{};
        read(&value, sizeof value);
        return value;
    }

private:
    int fd_;
    std::chrono::steady_clock::time_point deadline_;
};

// Runs `child` in a forked child process and `parent` here on its answer. An Error the child
// throws reaches the parent with its number; a child that crashes, or has not answered within
// `timeout`, makes an invalid picture (Error 481). The child may take `memory` bytes more than
// the parent had: a damaged file that makes a library allocate wildly fails at once instead of
// paging for seconds. (Not in sanitizer builds, whose shadow memory has no such limit.)
void runIsolated(const std::function<void(ChildWriter&)>& child,
                 const std::function<void(ChildReply&)>& parent, std::chrono::milliseconds timeout,
                 qint64 memory);

// Long enough for any sound metafile, even in a sanitizer build.
inline constexpr std::chrono::milliseconds MetafileTimeout{15000};

// Decodes a picture in a child process straight into memory the child shares with the parent:
// the pixels cross no pipe. `decode` runs in the child on an uninitialised image of `size` and
// `format` (a 32-bit one) and fills it, or throws an Error; the parent gets the image only when
// the child finished it. Fails as runIsolated() does, and with Error 7 when there is no memory
// for the image.
QImage decodeIsolated(QSize size, QImage::Format format, const std::function<void(QImage&)>& decode,
                      std::chrono::milliseconds timeout, qint64 memory);

// Long enough for a sound photo of the largest size the budget allows, in a sanitizer build.
inline constexpr std::chrono::milliseconds DecoderTimeout{30000};

} // namespace lumorra::picture
