// The AVIF sequence reader called directly on the bytes, as a decoder worker plays them: every
// frame up to a few passes. Reading must fail with an Error only, or end, and each frame must
// be an image of the display formats.

#include "FuzzSupport.h"
#include "picture/formats/AnimationFrames.h"
#include "platform/Error.h"

namespace {

// A budget that keeps each decode quick: larger frames fail with Error 7.
constexpr qint64 Budget = qint64(2048) * 2048 * 4;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lumorra::fuzz::startApplication();
    lumorra::picture::loadAvifLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = lumorra::fuzz::bytes(data, size);
    try {
        const auto reader = lumorra::picture::avifFrames(bytes, Budget);
        for (int pass = 0; pass < 2; ++pass) {
            lumorra::picture::Frame frame;
            for (int i = 0; i < 64 && reader->next(frame); ++i) {
                if (frame.image.format() != QImage::Format_ARGB32 &&
                    frame.image.format() != QImage::Format_RGB32)
                    __builtin_trap();
            }
            reader->rewind();
        }
    } catch (const lumorra::Error&) {
    }
    return 0;
}
