// AVIF image sequences, read with libavif. Its still pictures go through libheif (HeifDecoder):
// libavif plays the frames of a sequence. libavif is loaded when first needed, not when the
// program starts.

#include "AnimationFrames.h"
#include "picture/Decoding.h"
#include "picture/ImageBuffer.h"

#include <avif/avif.h>
#include <dlfcn.h>

namespace lumorra::picture {
namespace {

#define LUMORRA_AVIF_FUNCTIONS(X)                                                                  \
    X(avifDecoderCreate)                                                                           \
    X(avifDecoderDestroy)                                                                          \
    X(avifDecoderSetIOMemory)                                                                      \
    X(avifDecoderParse)                                                                            \
    X(avifDecoderNextImage)                                                                        \
    X(avifDecoderReset)                                                                            \
    X(avifRGBImageSetDefaults)                                                                     \
    X(avifImageYUVToRGB)

// The library stays loaded for the rest of the run.
struct Avif {
#define LUMORRA_AVIF_MEMBER(name) decltype(&::name) name = nullptr;
    LUMORRA_AVIF_FUNCTIONS(LUMORRA_AVIF_MEMBER)
    bool loaded = false;
    Avif() {
        void* handle = ::dlopen("libavif.so.15", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return;
        loaded = true;
#define LUMORRA_AVIF_RESOLVE(name)                                                                 \
    name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                            \
    loaded = loaded && name != nullptr;
        LUMORRA_AVIF_FUNCTIONS(LUMORRA_AVIF_RESOLVE)
    }
};

const Avif& avif() {
    static const Avif library;
    return library;
}

// A decoder over the bytes, parsed; null where the library is missing or the bytes are no AVIF.
struct Parsed {
    avifDecoder* decoder = nullptr;
    explicit Parsed(const QByteArray& bytes) {
        const Avif& a = avif();
        if (!a.loaded || bytes.isEmpty() || (decoder = a.avifDecoderCreate()) == nullptr)
            return;
        // One thread: the worker decodes one frame ahead of the one shown, no more.
        decoder->maxThreads = 1;
        decoder->ignoreExif = AVIF_TRUE;
        decoder->ignoreXMP = AVIF_TRUE;
        decoder->requestedSource = AVIF_DECODER_SOURCE_AUTO;
        if (a.avifDecoderSetIOMemory(decoder, reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     size_t(bytes.size())) != AVIF_RESULT_OK ||
            a.avifDecoderParse(decoder) != AVIF_RESULT_OK) {
            a.avifDecoderDestroy(decoder);
            decoder = nullptr;
        }
    }
    ~Parsed() {
        if (decoder != nullptr)
            avif().avifDecoderDestroy(decoder);
    }
    Parsed(const Parsed&) = delete;
    Parsed& operator=(const Parsed&) = delete;
};

class AvifFrames final : public FrameReader {
public:
    AvifFrames(const QByteArray& bytes, qint64 budget)
        : bytes_(bytes), parsed_(bytes_), budget_(budget) {
        if (parsed_.decoder == nullptr || parsed_.decoder->imageCount < 1)
            throw invalidPicture();
        const avifImage* image = parsed_.decoder->image;
        if (image->icc.size > 0 && image->icc.size <= size_t(4 << 20))
            colour.icc = QByteArray(reinterpret_cast<const char*>(image->icc.data),
                                    qsizetype(image->icc.size));
        else if (image->colorPrimaries != AVIF_COLOR_PRIMARIES_UNSPECIFIED)
            colour = {{}, int(image->colorPrimaries), int(image->transferCharacteristics)};
        // libavif of this version reads no repetition count: a sequence plays for ever, as
        // browsers play it.
        loops = -1;
    }

    bool next(Frame& frame) override {
        const Avif& a = avif();
        avifDecoder* d = parsed_.decoder;
        if (a.avifDecoderNextImage(d) != AVIF_RESULT_OK)
            return false;
        const avifImage* image = d->image;
        const QSize size(int(qMin<uint32_t>(image->width, 1 << 20)),
                         int(qMin<uint32_t>(image->height, 1 << 20)));
        if (size.isEmpty())
            return false;
        requireMemoryFor(size, budget_);
        const bool alpha = image->alphaPlane != nullptr;
        QImage out = newImage(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (out.isNull())
            throw outOfMemory();
        avifRGBImage rgb;
        a.avifRGBImageSetDefaults(&rgb, image);
        rgb.depth = 8;
        rgb.format = AVIF_RGB_FORMAT_BGRA; // ARGB32 in memory, on the little-endian machines here
        rgb.ignoreAlpha = alpha ? AVIF_FALSE : AVIF_TRUE;
        rgb.pixels = out.bits();
        rgb.rowBytes = uint32_t(out.bytesPerLine());
        if (a.avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK)
            return false;
        if (!alpha) {
            // RGB32 asks for opaque pixels; libavif leaves the fourth byte as it was.
            for (int y = 0; y < out.height(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
                for (int x = 0; x < out.width(); ++x)
                    row[x] |= 0xFF000000u;
            }
        }
        frame.image = out;
        frame.delay = int(qBound(0.0, d->imageTiming.duration * 1000.0 + 0.5, 600000.0));
        return true;
    }

    void rewind() override {
        if (avif().avifDecoderReset(parsed_.decoder) != AVIF_RESULT_OK)
            throw invalidPicture();
    }

private:
    QByteArray bytes_;
    Parsed parsed_;
    qint64 budget_;
};

} // namespace

void loadAvifLibrary() {
    (void)avif();
}

bool isAvifSequence(const QByteArray& bytes) {
    const Parsed parsed(bytes);
    return parsed.decoder != nullptr && parsed.decoder->imageCount > 1;
}

std::unique_ptr<FrameReader> avifFrames(const QByteArray& bytes, qint64 budget) {
    return std::make_unique<AvifFrames>(bytes, budget);
}

} // namespace lumorra::picture
