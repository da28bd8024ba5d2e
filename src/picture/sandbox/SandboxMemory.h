#pragma once

// The program's side of the memory a worker's pixels come back in (Sandbox.h). A memfd the
// program maps is used again when its picture is done with: it goes, still mapped here, to a
// warm worker, which clears it while it waits and decodes its picture into it. A picture then
// costs no new pages in either process (a new page of a memfd costs as much again as a page of
// ordinary memory, and there are no huge pages for them). Not part of the loader's interface.

#include <QImage>

#include <cstddef>
#include <memory>
#include <mutex>
#include <sys/types.h>

namespace lumorra::picture {

class DecoderPool;

// The pixels' memfd and its mapping in this process.
struct PixelMemory {
    int fd = -1;
    void* start = nullptr;
    std::size_t length = 0; // mapped: never more than the memfd holds
    dev_t device = 0;
    ino_t inode = 0;
};

// The largest memory kept for the next picture: a picture of 16 megapixels.
inline constexpr std::size_t KeptPixelMemory = std::size_t(64) << 20;

// Where the images of a pool give their memory back; the pool may be gone by then.
struct PixelRecycler {
    std::mutex mutex;
    DecoderPool* pool = nullptr;
};

// Unmaps and closes.
void release(PixelMemory* memory);

// Maps the first `length` bytes of `fd`, a worker's memfd, for an image. Null when the memfd
// may shrink under the mapping (the worker did not seal it) or is smaller than `length`: an
// access past its end would end the program. Takes `fd` over when it succeeds.
PixelMemory* mapPixels(int fd, std::size_t length);

// An image over `memory`: the memory goes to `recycler` with the image's last copy.
QImage imageOver(PixelMemory* memory, int width, int height, int bytesPerLine,
                 QImage::Format format, const std::shared_ptr<PixelRecycler>& recycler);

} // namespace lumorra::picture
