#include "HeifDecoder.h"

#include "HevcColour.h"
#include "picture/ImageBuffer.h"
#include "picture/colour/ToneMapping.h"

#include <libheif/heif.h>
#include <limits>
#include <memory>
#include <vector>

namespace lumorra::picture {
namespace {

// libheif refuses pictures larger than this on a side before decoding them. Only the sizes are
// read with this limit: the memory budget decides whether a picture is decoded.
constexpr int MaxSide = 1 << 18;

// libheif is used without heif_init() and heif_deinit(): its decoders are built in and ready
// from the start, and the two only load and unload plugins, which this program has none of.
// Counting uses across threads, and across the fork of a decode's child, is then no concern.

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct NclxDeleter {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};

void check(const heif_error& e) {
    if (e.code == heif_error_Ok)
        return;
    if (e.code == heif_error_Memory_allocation_error ||
        e.subcode == heif_suberror_Security_limit_exceeded)
        throw outOfMemory();
    throw invalidPicture();
}

// libheif reads the file's boxes through this when only the size is asked for. (libheif 1.15
// reads the media data box whole with the others; a reader saves holding a second copy.)
struct FileReader {
    static QIODevice& file(void* user) { return static_cast<PictureFile*>(user)->device(); }
    static int64_t position(void* user) { return file(user).pos(); }
    static int read(void* data, size_t size, void* user) {
        return file(user).read(static_cast<char*>(data), qint64(size)) == qint64(size) ? 0 : 1;
    }
    static int seek(int64_t position, void* user) { return file(user).seek(position) ? 0 : 1; }
    static heif_reader_grow_status waitForSize(int64_t size, void* user) {
        return size <= static_cast<PictureFile*>(user)->size()
                   ? heif_reader_grow_status_size_reached
                   : heif_reader_grow_status_size_beyond_eof;
    }
    static constexpr heif_reader api{1, position, read, seek, waitForSize};
};

// A file read by libheif, and its primary picture. The file, or its bytes, must outlive it.
class Primary {
public:
    explicit Primary(PictureFile& file) : context_(newContext()) {
        file.rewind();
        check(heif_context_read_from_reader(context_.get(), &FileReader::api, &file, nullptr));
        findPrimary();
    }
    explicit Primary(const QByteArray& bytes) : context_(newContext()) {
        check(heif_context_read_from_memory_without_copy(context_.get(), bytes.constData(),
                                                         size_t(bytes.size()), nullptr));
        findPrimary();
    }
    heif_image_handle* handle() const { return handle_.get(); }
    // libheif gives the size with the picture's turn and crop applied, as it decodes it.
    QSize size() const {
        return QSize(heif_image_handle_get_width(handle()), heif_image_handle_get_height(handle()));
    }
    bool hasAlpha() const { return heif_image_handle_has_alpha_channel(handle()) != 0; }
    quint32 id() const {
        heif_item_id id = 0;
        return heif_context_get_primary_image_ID(context_.get(), &id).code == heif_error_Ok ? id
                                                                                            : 0;
    }
    ColourSource colour() const;

private:
    static heif_context* newContext() {
        heif_context* context = heif_context_alloc();
        if (context == nullptr)
            throw outOfMemory();
        heif_context_set_maximum_image_size_limit(context, MaxSide);
        return context;
    }
    void findPrimary() {
        heif_image_handle* handle = nullptr;
        check(heif_context_get_primary_image_handle(context_.get(), &handle));
        handle_.reset(handle);
        if (!handle_)
            throw invalidPicture();
    }

    std::unique_ptr<heif_context, ContextDeleter> context_;
    std::unique_ptr<heif_image_handle, HandleDeleter> handle_;
};

ColourSource Primary::colour() const {
    ColourSource colour;
    switch (heif_image_handle_get_color_profile_type(handle())) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle());
        if (size == 0 || size > size_t(std::numeric_limits<int>::max()))
            break;
        colour.icc.resize(qsizetype(size));
        if (heif_image_handle_get_raw_color_profile(handle(), colour.icc.data()).code !=
            heif_error_Ok)
            colour.icc.clear();
        break;
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx* nclx = nullptr;
        const heif_error e = heif_image_handle_get_nclx_color_profile(handle(), &nclx);
        // Allocated even when libheif then reports an error.
        const std::unique_ptr<heif_color_profile_nclx, NclxDeleter> owned(nclx);
        if (e.code != heif_error_Ok || nclx == nullptr)
            break;
        // 2 is "unspecified": as good as none given.
        if (nclx->color_primaries != heif_color_primaries_unspecified)
            colour.cicpPrimaries = int(nclx->color_primaries);
        if (nclx->transfer_characteristics != heif_transfer_characteristic_unspecified)
            colour.cicpTransfer = int(nclx->transfer_characteristics);
        break;
    }
    default: // none given: sRGB
        break;
    }
    return colour;
}

// The interleaved pixels of a decoded picture, which must be `size` and of `minBits` to
// `maxBits` bits a sample.
const uint8_t* interleavedPlane(const heif_image* image, QSize size, int minBits, int maxBits,
                                int& stride) {
    if (image == nullptr)
        throw invalidPicture();
    const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int bits = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    if (pixels == nullptr || bits < minBits || bits > maxBits ||
        heif_image_get_width(image, heif_channel_interleaved) != size.width() ||
        heif_image_get_height(image, heif_channel_interleaved) != size.height())
        throw invalidPicture();
    return pixels;
}

// Decodes the primary picture into `out`, in this process: 8 bits a channel (deeper pictures
// are brought down by libheif), turned and cropped.
void decodeInto(const Primary& primary, bool alpha, QImage& out) {
    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    if (!options)
        throw outOfMemory();
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    check(heif_decode_image(primary.handle(), &decoded, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            options.get()));
    const std::unique_ptr<heif_image, ImageDeleter> image(decoded);
    int stride = 0;
    const uint8_t* pixels = interleavedPlane(image.get(), out.size(), 8, 8, stride);
    const bool premultiplied = alpha && heif_image_is_premultiplied_alpha(image.get()) != 0;
    for (int y = 0; y < out.height(); ++y) {
        const uint8_t* p = pixels + qsizetype(y) * stride;
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        if (!alpha) {
            for (int x = 0; x < out.width(); ++x, p += 3)
                row[x] = qRgb(p[0], p[1], p[2]);
        } else if (!premultiplied) {
            for (int x = 0; x < out.width(); ++x, p += 4)
                row[x] = qRgba(p[0], p[1], p[2], p[3]);
        } else {
            for (int x = 0; x < out.width(); ++x, p += 4)
                row[x] = qUnpremultiply(qRgba(p[0], p[1], p[2], p[3]));
        }
    }
}

// Decodes an HDR primary picture into `out` at its own depth (10 or 12 bits), mapped to SDR.
void decodeHdrInto(const Primary& primary, bool alpha, HdrTransfer transfer, QImage& out) {
    heif_image* decoded = nullptr;
    check(heif_decode_image(
        primary.handle(), &decoded, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE, nullptr));
    const std::unique_ptr<heif_image, ImageDeleter> image(decoded);
    int stride = 0;
    const uint8_t* pixels = interleavedPlane(image.get(), out.size(), 8, 16, stride);
    const int bits = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
    const bool premultiplied = alpha && heif_image_is_premultiplied_alpha(image.get()) != 0;
    const int channels = alpha ? 4 : 3;
    const quint32 top = (1u << bits) - 1;
    const ToneMapper mapper(transfer);
    std::vector<quint16> row(size_t(out.width()) * size_t(channels));
    for (int y = 0; y < out.height(); ++y) {
        const uint8_t* p = pixels + qsizetype(y) * stride;
        for (size_t i = 0; i < row.size(); ++i, p += 2) {
            const quint32 v = qMin<quint32>(quint32(p[0] | p[1] << 8), top);
            row[i] = quint16((v * 65535 + top / 2) / top);
        }
        if (premultiplied)
            for (size_t i = 0; i < row.size(); i += 4)
                for (size_t c = 0; c < 3 && row[i + 3] != 0; ++c)
                    row[i + c] = quint16(qMin<quint32>(65535, row[i + c] * 65535u / row[i + 3]));
        mapper.mapRow(row.data(), channels, out.width(), reinterpret_cast<QRgb*>(out.scanLine(y)));
    }
}

} // namespace

QSize heifSize(PictureFile& file) {
    const QSize size = Primary(file).size();
    if (size.isEmpty())
        throw invalidPicture();
    return size;
}

DecodedPicture decodeHeif(PictureFile& file, qint64 budget) {
    // libheif reads the whole file to find its boxes (the media data too): it is read once, here.
    // libheif decodes in full only: the view scales the picture.
    // A compressed picture is smaller than its pixels.
    const QByteArray bytes = file.readAll(budget);
    const Primary primary(bytes);
    DecodedPicture picture;
    picture.naturalSize = primary.size();
    picture.colour = primary.colour();
    // Where the container tells no transfer, the HEVC stream may: an HDR picture is mapped as
    // its stream says, in the stream's primaries where the container names none.
    if (picture.colour.icc.isEmpty() && picture.colour.cicpTransfer == 0) {
        const StreamColour stream = heifStreamColour(bytes, primary.id());
        if (hdrTransferOf(stream.transfer) != HdrTransfer::None) {
            picture.colour.cicpTransfer = stream.transfer;
            if (picture.colour.cicpPrimaries == 0)
                picture.colour.cicpPrimaries = stream.primaries;
        }
    }
    const bool alpha = primary.hasAlpha();
    requireMemoryFor(picture.naturalSize, budget);
    picture.image =
        newImage(picture.naturalSize, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (picture.image.isNull())
        throw outOfMemory();
    // PQ and HLG pictures are mapped to the screen's range here; their pixels then have the
    // sRGB curve, in the picture's primaries (BT.2020 where it names none).
    const HdrTransfer transfer = hdrTransferOf(picture.colour.cicpTransfer);
    if (transfer == HdrTransfer::None) {
        decodeInto(primary, alpha, picture.image);
        return picture;
    }
    decodeHdrInto(primary, alpha, transfer, picture.image);
    picture.colour.cicpTransfer = MappedTransfer;
    if (picture.colour.cicpPrimaries == 0)
        picture.colour.cicpPrimaries = 9;
    return picture;
}

} // namespace lumorra::picture
