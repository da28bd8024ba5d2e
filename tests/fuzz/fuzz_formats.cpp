// The program's own decoders, called directly on the bytes: the first byte picks the format
// (TGA, BMP, TIFF, PBM/PGM/PPM, ICO), the rest is the file. Header and decode must fail with an
// Error only, and a decoded picture must be of the size its header gave.

#include "FuzzSupport.h"
#include "picture/formats/Formats.h"
#include "platform/Error.h"

#include <new>

namespace {

// A budget that keeps each decode quick: claims beyond it fail with Error 7.
constexpr qint64 Budget = qint64(4096) * 4096 * 4;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lumorra::fuzz::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace f = lumorra::formats;
    struct Decoder {
        const char* name;
        f::Header (*header)(QByteArrayView);
        f::Decoded (*decode)(QByteArrayView, qint64);
    };
    static const Decoder decoders[] = {{"tga", f::tgaHeader, f::decodeTga},
                                       {"bmp", f::bmpHeader, f::decodeBmp},
                                       {"tiff", f::tiffHeader, f::decodeTiff},
                                       {"pnm", f::pnmHeader, f::decodePnm},
                                       {"ico", f::iconHeader, f::decodeIcon}};
    if (size < 1)
        return -1;
    const Decoder& decoder = decoders[data[0] % 5];
    const QByteArray bytes = lumorra::fuzz::bytes(data + 1, size - 1);
    QSize size0;
    try {
        size0 = decoder.header(bytes).size;
    } catch (const lumorra::Error&) {
    } catch (const std::bad_alloc&) {
    }
    try {
        const QImage image = decoder.decode(bytes, Budget).image;
        if (QByteArrayView(decoder.name) != "ico" && !image.isNull() && image.size() != size0)
            __builtin_trap();
    } catch (const lumorra::Error&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
