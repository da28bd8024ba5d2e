// The program's own decoders, called directly on the bytes: the first byte picks the format
// (TGA, BMP, TIFF, PBM/PGM/PPM, ICO), the rest is the file. Header and decode must fail with an
// Error only, and a decoded picture must be of the size its header gave.

#include "FuzzSupport.h"
#include "picture/formats/Formats.h"
#include "platform/Error.h"

namespace {

// A budget that keeps each decode quick: claims beyond it fail with Error 7.
constexpr qint64 Budget = qint64(4096) * 4096 * 4;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lumorra::fuzz::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const formats[] = {"tga", "bmp", "tiff", "pnm", "ico"};
    if (size < 1)
        return -1;
    const QByteArrayView format(formats[data[0] % 5]);
    const QByteArray bytes = lumorra::fuzz::bytes(data + 1, size - 1);
    QSize size0;
    try {
        size0 = lumorra::formats::readHeader(format, bytes).size;
    } catch (const lumorra::Error&) {
    }
    try {
        const QImage image = lumorra::formats::decode(format, bytes, Budget).image;
        if (format != "ico" && !image.isNull() && image.size() != size0)
            __builtin_trap();
    } catch (const lumorra::Error&) {
    }
    return 0;
}
