#include "WmfReader.h"

#include "FormatLibraries.h"
#include "picture/ImageBuffer.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <vector>

namespace lumorra::picture {
namespace {

constexpr double ScreenDpi = 96.0;
// libwmf measures its drawing box in points.
constexpr double LibwmfUnitsPerInch = 72.0;
// Larger than any WMF's 16-bit extent can mean at 96 dpi, drawn one unit per inch.
constexpr unsigned MaxNaturalSide = 65536u * 96u;

// The directory of the URW base 35 Type 1 fonts libwmf draws text with, empty when none is
// installed (libwmf then falls back to its built-in places).
QByteArray fontDirectory() {
    QStringList candidates;
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        candidates << data + QStringLiteral("/fonts/type1/urw-base35")
                   << data + QStringLiteral("/fonts/urw-base35");
    candidates << QStringLiteral("/usr/share/fonts/type1/urw-base35")
               << QStringLiteral("/usr/share/fonts/type1/gsfonts");
    for (const QString& dir : candidates) {
        if (QFileInfo::exists(dir + QStringLiteral("/NimbusSans-Regular.t1")) ||
            QFileInfo::exists(dir + QStringLiteral("/n019003l.pfb")))
            return QFile::encodeName(dir);
    }
    return {};
}

Error errorFor(wmf_error_t e) {
    return e == wmf_E_InsMem ? outOfMemory() : invalidPicture();
}

// libwmf's calls of wmf_free() must reach its own (MetafileLibraries.cpp).
void requireLibwmfAllocator() {
    if (!libwmfAllocatorFirst())
        throw Error{errc::Internal,
                    QStringLiteral("WMF pictures cannot be read: wmf_free() is not libwmf's")};
}

constexpr quint16 MetaSetWindowExt = 0x020C;
constexpr quint16 MetaCreatePenIndirect = 0x02FA;

// libwmf's renderer draws a wide line pixel by pixel across its width: a pen tens of thousands
// of units wide, or one of negative width (taken as 65535), keeps it busy for many seconds. No
// pen need be wider than the drawing: wider ones are narrowed to that, negative ones made the
// thinnest. Everything else is played as recorded.
QByteArray withSanePens(QByteArray data) {
    qsizetype at = 0;
    int extent = 0; // the largest side of the frame or a window so far, in logical units
    if (littleEndian<quint32>(data, 0) == 0x9AC6CDD7u) {
        const auto side = [&](int a, int b) {
            return qAbs(int(littleEndian<qint16>(data, a)) - littleEndian<qint16>(data, b));
        };
        extent = qMax(side(10, 6), side(12, 8));
        at = 22;
    }
    at += qsizetype(littleEndian<quint16>(data, at + 2)) * 2; // the header, its size in words
    while (at + 6 <= data.size()) {
        const quint32 words = littleEndian<quint32>(data, at);
        const quint16 function = littleEndian<quint16>(data, at + 4);
        if (words < 3 || qint64(words) * 2 > data.size() - at || function == 0)
            break; // libwmf stops here too
        if (function == MetaSetWindowExt && words >= 5)
            extent = std::max({extent, qAbs(int(littleEndian<qint16>(data, at + 6))),
                               qAbs(int(littleEndian<qint16>(data, at + 8)))});
        if (function == MetaCreatePenIndirect && words >= 5) {
            const qint16 width = littleEndian<qint16>(data, at + 8);
            const qint16 sane = width < 0 ? 0 : qint16(qMin<int>(width, qMax(extent, 1)));
            if (sane != width)
                qToLittleEndian(sane, data.data() + at + 8);
        }
        at += qsizetype(words) * 2;
    }
    return data;
}

// One metafile opened in libwmf with the raster renderer, scanned and ready to play.
class Session {
public:
    // `fonts` is the directory of the fonts libwmf draws text with.
    Session(const QByteArray& data, QByteArray fonts) : bytes_(data.begin(), data.end()) {
        wmfAPI_Options options{};
        unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        options.function = wmf_gd_function;
        char* fontDirs[] = {fonts.data(), nullptr};
        if (!fonts.isEmpty()) {
            flags |= WMF_OPT_FONTDIRS;
            options.fontdirs = fontDirs;
        }
        const wmf_error_t created = wmf_api_create(&api_, flags, &options);
        if (created != wmf_E_None) {
            if (api_ != nullptr)
                wmf_api_destroy(api_);
            api_ = nullptr;
            throw errorFor(created);
        }
        check(wmf_mem_open(api_, bytes_.data(), long(bytes_.size())));
        check(wmf_scan(api_, 0, &scanned_));
    }
    ~Session() {
        if (api_ != nullptr)
            wmf_api_destroy(api_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    QSize naturalSize() {
        unsigned width = 0, height = 0;
        check(wmf_display_size(api_, &width, &height, ScreenDpi, ScreenDpi));
        if (width == 0 || height == 0 || width > MaxNaturalSide || height > MaxNaturalSide)
            throw invalidPicture();
        return QSize(int(width), int(height));
    }

    // The drawing box: the frame the placeable header gives, or what the scan found.
    wmfD_Rect box() const {
        if (api_->File->placeable == 0 || api_->File->pmh == nullptr)
            return scanned_;
        const wmfPlaceableMetaHeader& p = *api_->File->pmh;
        if (p.Inch == 0 || p.Right == p.Left || p.Bottom == p.Top)
            return scanned_;
        const float scale = float(LibwmfUnitsPerInch / p.Inch);
        wmfD_Rect r{};
        r.TL.x = float(std::min(p.Left, p.Right)) * scale;
        r.TL.y = float(std::min(p.Top, p.Bottom)) * scale;
        r.BR.x = float(std::max(p.Left, p.Right)) * scale;
        r.BR.y = float(std::max(p.Top, p.Bottom)) * scale;
        return r;
    }

    // Draws the metafile into a raster of `size` and converts it in place to ARGB32; the pixels
    // live as long as the session.
    const QRgb* play(QSize size) {
        wmf_gd_t* device = WMF_GD_GetData(api_);
        device->type = wmf_gd_image;
        device->width = unsigned(size.width());
        device->height = unsigned(size.height());
        device->bbox = box();
        wmfD_Rect box = device->bbox;
        check(wmf_play(api_, 0, &box));
        if (device->gd_image == nullptr)
            throw invalidPicture();
        int* pixels = wmf_gd_image_pixels(device->gd_image);
        if (pixels == nullptr)
            throw invalidPicture();
        // gd's true-colour pixels: 7-bit alpha (0 opaque, 127 clear) above 8-bit red, green, blue.
        auto* out = reinterpret_cast<QRgb*>(pixels);
        const qsizetype count = qsizetype(size.width()) * size.height();
        for (qsizetype i = 0; i < count; ++i) {
            const unsigned p = unsigned(pixels[i]);
            const unsigned alpha = (127u - ((p >> 24) & 0x7Fu)) * 255u / 127u;
            out[i] = (alpha << 24) | (p & 0xFFFFFFu);
        }
        return out;
    }

private:
    void check(wmf_error_t e) {
        if (e != wmf_E_None)
            throw errorFor(e);
        if (api_->err != wmf_E_None)
            throw errorFor(api_->err);
    }

    std::vector<unsigned char> bytes_;
    wmfAPI* api_ = nullptr;
    wmfD_Rect scanned_{};
};

} // namespace

QSize wmfNaturalSize(const QByteArray& recorded) {
    requireLibwmfAllocator();
    Session session(withSanePens(recorded), fontDirectory());
    return session.naturalSize();
}

MetafileDrawing drawWmf(const QByteArray& recorded, QSize size) {
    requireLibwmfAllocator();
    Session session(withSanePens(recorded), fontDirectory());
    const QSize natural = session.naturalSize();
    const QSize raster = size.isEmpty() ? metafileRaster(natural) : size;
    requireMemoryFor(raster);
    const QRgb* pixels = session.play(raster);
    QImage image = newImage(raster, QImage::Format_ARGB32);
    if (image.isNull())
        throw outOfMemory();
    for (int y = 0; y < raster.height(); ++y)
        std::memcpy(image.scanLine(y), pixels + qsizetype(y) * raster.width(),
                    std::size_t(raster.width()) * 4);
    return {natural, image};
}

} // namespace lumorra::picture
