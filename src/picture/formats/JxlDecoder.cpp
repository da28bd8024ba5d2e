#include "JxlDecoder.h"

#include "AnimationFrames.h"
#include "picture/ImageBuffer.h"
#include "picture/colour/ToneMapping.h"

#include <QThread>

#include <climits>
#include <jxl/decode.h>
#include <jxl/encode.h> // JxlColorEncodingSetToSRGB()
#include <jxl/thread_parallel_runner.h>
#include <memory>
#include <optional>

namespace lumorra::picture {
namespace {

// The header is read from the file a piece at a time; it is a few bytes, and an ICC profile.
constexpr qint64 ChunkBytes = 64 << 10;
// No sound header with its ICC profile, nor the boxes before the codestream, come near this.
constexpr qint64 MaxHeaderBytes = qint64(64) << 20;

struct DecoderDeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct RunnerDeleter {
    void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};
using Decoder = std::unique_ptr<JxlDecoder, DecoderDeleter>;

Decoder newDecoder(int events) {
    Decoder decoder(JxlDecoderCreate(nullptr));
    if (!decoder)
        throw outOfMemory();
    if (JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS)
        throw invalidPicture();
    // libjxl turns the picture as its orientation says unless told to keep it
    // (JxlDecoderSetKeepOrientation), and gives alpha as stored unless told otherwise.
    JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE);
    return decoder;
}

// The decoder's input: the whole file in memory, or the file read a piece at a time as the
// decoder asks for more.
class Input {
public:
    Input(JxlDecoder* decoder, const QByteArray& whole) : decoder_(decoder) { give(whole, true); }
    Input(JxlDecoder* decoder, PictureFile& file) : decoder_(decoder), file_(&file) {
        file.rewind();
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // The decoder's next event.
    JxlDecoderStatus next() {
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(decoder_);
            if (status != JXL_DEC_NEED_MORE_INPUT)
                return status;
            if (!more())
                throw invalidPicture();
        }
    }

private:
    void give(const QByteArray& bytes, bool last) {
        if (JxlDecoderSetInput(decoder_, reinterpret_cast<const uint8_t*>(bytes.constData()),
                               size_t(bytes.size())) != JXL_DEC_SUCCESS)
            throw invalidPicture();
        if (last)
            JxlDecoderCloseInput(decoder_);
    }
    bool more() {
        if (file_ == nullptr || file_->device().atEnd() || read_ >= MaxHeaderBytes)
            return false;
        // What the decoder has not used yet, and the next piece.
        const size_t unused = buffer_.isEmpty() ? 0 : JxlDecoderReleaseInput(decoder_);
        const QByteArray piece = file_->device().read(ChunkBytes);
        if (piece.isEmpty())
            return false;
        read_ += piece.size();
        buffer_ = buffer_.right(qsizetype(unused)) + piece;
        give(buffer_, file_->device().atEnd());
        return true;
    }

    JxlDecoder* decoder_;
    PictureFile* file_ = nullptr;
    QByteArray buffer_;
    qint64 read_ = 0;
};

struct Header {
    QSize natural;
    bool alpha = false;
    bool xyb = false; // stored in libjxl's own colour space, not the original's
    bool grey = false;
    HdrTransfer hdr = HdrTransfer::None; // PQ or HLG pixels, mapped to SDR as they are decoded
    bool animated = false;
    int loops = 0;       // the times it plays, 0 for ever
    double tickMs = 0.0; // an animation's time unit
    ColourSource colour;
};

void readBasicInfo(JxlDecoder* decoder, Header& h) {
    JxlBasicInfo info{};
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS || info.xsize == 0 ||
        info.ysize == 0 || info.xsize > INT_MAX || info.ysize > INT_MAX)
        throw invalidPicture();
    const QSize stored(int(info.xsize), int(info.ysize));
    // Orientations 5 to 8 turn the picture by a quarter.
    h.natural = info.orientation >= JXL_ORIENT_TRANSPOSE ? stored.transposed() : stored;
    h.alpha = info.alpha_bits > 0;
    h.xyb = !info.uses_original_profile;
    h.grey = info.num_color_channels == 1;
    h.animated = info.have_animation != JXL_FALSE;
    h.loops = int(qMin<uint32_t>(info.animation.num_loops, 1 << 20));
    if (h.animated && info.animation.tps_numerator > 0)
        h.tickMs = 1000.0 * info.animation.tps_denominator / info.animation.tps_numerator;
}

bool isSrgb(const JxlColorEncoding& c) {
    return (c.color_space == JXL_COLOR_SPACE_GRAY ||
            (c.color_space == JXL_COLOR_SPACE_RGB && c.primaries == JXL_PRIMARIES_SRGB)) &&
           c.white_point == JXL_WHITE_POINT_D65 &&
           c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// The CICP primaries of a colour encoding; BT.2020 for those of its own.
int cicpPrimaries(const JxlColorEncoding& c) {
    switch (c.primaries) {
    case JXL_PRIMARIES_SRGB:
        return 1;
    case JXL_PRIMARIES_P3:
        return c.white_point == JXL_WHITE_POINT_DCI ? 11 : 12;
    default:
        return 9;
    }
}

// Chooses the colour space of the decoded pixels, and tells it.
void readColour(JxlDecoder* decoder, Header& h) {
    // A picture stored in XYB is turned into a colour space of libjxl's choice: the original's
    // where that is one of the spaces it names (sRGB, Display P3, ...), linear sRGB where the
    // original was an ICC profile. Eight bits of linear light band badly: sRGB then. libjxl
    // converts to no ICC profile; the original's stays in the file.
    JxlColorEncoding original{};
    if (h.xyb &&
        JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                           &original) != JXL_DEC_SUCCESS) {
        JxlColorEncoding srgb{};
        JxlColorEncodingSetToSRGB(&srgb, h.grey ? JXL_TRUE : JXL_FALSE);
        JxlDecoderSetPreferredColorProfile(decoder, &srgb);
    }
    // sRGB pixels need no profile; any others are described by libjxl's ICC profile of them
    // (the file's own for a picture stored in the original's colour space).
    JxlColorEncoding data{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &data) == JXL_DEC_SUCCESS) {
        if (isSrgb(data))
            return;
        // PQ and HLG pixels are mapped to the screen's range as they are decoded; they then
        // have the sRGB curve, in their own primaries.
        h.hdr = data.transfer_function == JXL_TRANSFER_FUNCTION_PQ    ? HdrTransfer::Pq
                : data.transfer_function == JXL_TRANSFER_FUNCTION_HLG ? HdrTransfer::Hlg
                                                                      : HdrTransfer::None;
        if (h.hdr != HdrTransfer::None) {
            h.colour.cicpPrimaries = cicpPrimaries(data);
            h.colour.cicpTransfer = MappedTransfer;
            return;
        }
    }
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0 || size > size_t(MaxHeaderBytes))
        return;
    h.colour.icc.resize(qsizetype(size));
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(h.colour.icc.data()),
                                       size) != JXL_DEC_SUCCESS)
        h.colour.icc.clear();
}

// Runs the decoder through the basic info, and the colour encoding where `colour`. The decoder
// must have subscribed to those events. A picture larger than `budget` allows, when given, is
// refused as soon as its size is known.
Header readHeader(JxlDecoder* decoder, Input& input, bool colour, qint64 budget = 0) {
    Header h;
    if (input.next() != JXL_DEC_BASIC_INFO)
        throw invalidPicture();
    readBasicInfo(decoder, h);
    if (budget > 0)
        requireMemoryFor(h.natural, budget);
    if (colour) {
        if (input.next() != JXL_DEC_COLOR_ENCODING)
            throw invalidPicture();
        readColour(decoder, h);
    }
    return h;
}

// Where libjxl's rows go: RGBA, 8 bits a channel, or 16 bits for `mapper` to map.
struct Target {
    uchar* bits;
    qsizetype bytesPerLine;
    size_t width, height;
    bool alpha;
    const ToneMapper* mapper = nullptr;
};

// Called by libjxl's threads, each with pixels of its own.
void writePixels(void* opaque, size_t x, size_t y, size_t count, const void* pixels) {
    const auto* t = static_cast<const Target*>(opaque);
    if (y >= t->height || x >= t->width || count > t->width - x)
        return;
    auto* row = reinterpret_cast<QRgb*>(t->bits + qsizetype(y) * t->bytesPerLine) + x;
    if (t->mapper != nullptr) {
        t->mapper->mapRow(static_cast<const quint16*>(pixels), 4, int(count), row);
        if (!t->alpha)
            for (size_t i = 0; i < count; ++i)
                row[i] |= 0xFF000000u;
        return;
    }
    const auto* p = static_cast<const uint8_t*>(pixels);
    if (t->alpha) {
        for (size_t i = 0; i < count; ++i, p += 4)
            row[i] = qRgba(p[0], p[1], p[2], p[3]);
    } else {
        for (size_t i = 0; i < count; ++i, p += 4)
            row[i] = qRgb(p[0], p[1], p[2]);
    }
}

// Decodes the first frame into `out`, in this process.
void decodeInto(const QByteArray& bytes, const Header& expected, QImage& out) {
    const std::unique_ptr<void, RunnerDeleter> runner(
        JxlThreadParallelRunnerCreate(nullptr, size_t(qMax(1, QThread::idealThreadCount()))));
    const Decoder decoder =
        newDecoder(JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE);
    if (runner && JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner,
                                              runner.get()) != JXL_DEC_SUCCESS)
        throw invalidPicture();
    Input input(decoder.get(), bytes);
    const Header h = readHeader(decoder.get(), input, true);
    if (h.natural != out.size() || h.alpha != expected.alpha)
        throw invalidPicture();
    std::optional<ToneMapper> mapper;
    if (h.hdr != HdrTransfer::None)
        mapper.emplace(h.hdr);
    Target target{out.bits(), out.bytesPerLine(),         size_t(out.width()), size_t(out.height()),
                  h.alpha,    mapper ? &*mapper : nullptr};
    for (;;) {
        switch (input.next()) {
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            const JxlPixelFormat format{4, mapper ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8,
                                        JXL_NATIVE_ENDIAN, 0};
            if (JxlDecoderSetImageOutCallback(decoder.get(), &format, writePixels, &target) !=
                JXL_DEC_SUCCESS)
                throw invalidPicture();
            break;
        }
        case JXL_DEC_FULL_IMAGE: // the first frame: an animation shows it
            return;
        default:
            throw invalidPicture();
        }
    }
}

} // namespace

QSize jxlSize(PictureFile& file) {
    const Decoder decoder = newDecoder(JXL_DEC_BASIC_INFO);
    Input input(decoder.get(), file);
    const QSize size = readHeader(decoder.get(), input, false).natural;
    file.rewind();
    return size;
}

DecodedPicture decodeJxl(PictureFile& file, qint64 budget) {
    // libjxl has no reduced decode: the picture is decoded in full and the view scales it.
    Header h;
    {
        const Decoder decoder = newDecoder(JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING);
        Input input(decoder.get(), file);
        h = readHeader(decoder.get(), input, true, budget);
    }
    const QByteArray bytes = file.readAll(budget);
    DecodedPicture picture;
    picture.naturalSize = h.natural;
    picture.colour = h.colour;
    picture.image = newImage(h.natural, h.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (picture.image.isNull())
        throw outOfMemory();
    decodeInto(bytes, h, picture.image);
    picture.animated = h.animated;
    return picture;
}

namespace {

// The frames one after the other, each coalesced by libjxl into the whole picture.
class JxlFrames final : public FrameReader {
public:
    JxlFrames(const QByteArray& bytes, qint64 budget)
        : bytes_(bytes), budget_(budget),
          runner_(JxlThreadParallelRunnerCreate(nullptr,
                                                size_t(qMax(1, QThread::idealThreadCount())))) {
        start();
        loops = h_.loops == 0 ? -1 : h_.loops - 1;
        colour = h_.colour;
    }

    bool next(Frame& frame) override {
        QImage out;
        int delay = 0;
        for (;;) {
            switch (input_->next()) {
            case JXL_DEC_FRAME: {
                JxlFrameHeader header{};
                if (JxlDecoderGetFrameHeader(decoder_.get(), &header) != JXL_DEC_SUCCESS)
                    return false;
                delay = int(qBound(0.0, header.duration * h_.tickMs + 0.5, 600000.0));
                out = newImage(h_.natural, h_.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
                if (out.isNull())
                    throw outOfMemory();
                target_ = Target{out.bits(), out.bytesPerLine(), size_t(out.width()),
                                 size_t(out.height()), h_.alpha};
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
                if (out.isNull() ||
                    JxlDecoderSetImageOutCallback(decoder_.get(), &format, writePixels, &target_) !=
                        JXL_DEC_SUCCESS)
                    return false;
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                frame.image = out;
                frame.delay = delay;
                return !out.isNull();
            default: // the last frame was the one before, or the file is damaged here
                return false;
            }
        }
    }

    void rewind() override { start(); }

private:
    void start() {
        input_.reset();
        decoder_ = newDecoder(JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME |
                              JXL_DEC_FULL_IMAGE);
        if (runner_ && JxlDecoderSetParallelRunner(decoder_.get(), JxlThreadParallelRunner,
                                                   runner_.get()) != JXL_DEC_SUCCESS)
            throw invalidPicture();
        input_ = std::make_unique<Input>(decoder_.get(), bytes_);
        h_ = readHeader(decoder_.get(), *input_, true, budget_);
    }

    QByteArray bytes_;
    qint64 budget_;
    std::unique_ptr<void, RunnerDeleter> runner_;
    Decoder decoder_;
    std::unique_ptr<Input> input_;
    Header h_;
    Target target_{};
};

} // namespace

std::unique_ptr<FrameReader> jxlFrames(const QByteArray& bytes, qint64 budget) {
    return std::make_unique<JxlFrames>(bytes, budget);
}

} // namespace lumorra::picture
