#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace lumorra {

// Reads one extended attribute of many files through the kernel's submission queue (io_uring),
// a few hundred look-ups per system call instead of one. Where the kernel lacks the queue or
// its extended-attribute operation (older kernels, the queue switched off by the system, a
// sandbox that forbids it), open() fails and the caller reads the attributes one at a time.
class XattrQueue {
public:
    XattrQueue() = default;
    ~XattrQueue();
    XattrQueue(const XattrQueue&) = delete;
    XattrQueue& operator=(const XattrQueue&) = delete;

    // Sets the queue up; false when it is unavailable.
    bool open();

    // The value of one look-up: its number, the bytes read (or a negative errno) and the buffer.
    using Done = std::function<void(uint64_t id, int result, const char* value)>;
    // Claims the next look-up: its number and the path (relative to the working directory of
    // the calling thread, or absolute), or false when there is none left.
    using Next = std::function<bool(uint64_t& id, const char*& path)>;

    // Runs look-ups of the attribute until next() has no more, calling done() for each. A
    // look-up the queue could not take is reported with -ECANCELED; the caller reads it itself.
    // All look-ups have finished when this returns.
    void run(const char* attribute, const Next& next, const Done& done);

private:
    struct Ring;
    Ring* ring_ = nullptr;
};

} // namespace lumorra
