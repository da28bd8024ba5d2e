#include "Colour.h"

#include "GamutMapping.h"

#include <QHash>
#include <QMutex>
#include <QSysInfo>

#include <lcms2.h>
#include <memory>
#include <thread>

namespace lumorra {
namespace {

struct ProfileCloser {
    void operator()(void* p) const {
        if (p != nullptr)
            cmsCloseProfile(p);
    }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* t) const {
        if (t != nullptr)
            cmsDeleteTransform(t);
    }
};
// Shared, so that a transform in use on one thread survives a change of the screen's profile
// on another.
using Transform = std::shared_ptr<void>;

// QImage's RGB32 and ARGB32 are 0xAARRGGBB words: B G R A in memory on this machine's order.
cmsUInt32Number rgb32Type() {
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TYPE_BGRA_8 : TYPE_ARGB_8;
}

// The colour space a profile describes, as a plain number: a damaged profile may name one that
// is none of lcms2's.
cmsUInt32Number colourSpaceOf(void* profile) {
    return cmsUInt32Number(cmsGetColorSpace(profile));
}

// One grey channel in a 32-bit pixel, three bytes after it.
cmsUInt32Number grey32Type() {
    return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);
}

// Runs `rows(first, last)` on the picture's rows, split over two threads when the picture is
// large enough to be worth it. The transforms keep no state between calls (no cache), so both
// halves may use one.
template <class Rows> void forRows(int height, qint64 pixels, Rows&& rows) {
    if (pixels < 512 * 1024 || height < 2) {
        rows(0, height);
        return;
    }
    const int half = height / 2;
    std::thread other([&] { rows(half, height); });
    rows(0, half);
    other.join();
}

// A tone curve of the parametric kind ICC v4 names 4: the sRGB-like curves.
cmsToneCurve* curve(cmsContext context, const cmsFloat64Number (&params)[5]) {
    return cmsBuildParametricToneCurve(context, 4, params);
}

} // namespace

struct ColourTransforms::State {
    cmsContext context = nullptr;
    mutable QMutex mutex;
    QByteArray screenIcc;
    Profile screen;                                // null: sRGB
    Profile srgb;                                  // made once
    mutable QHash<QByteArray, Transform> toScreen; // by the source's key
    mutable QHash<QByteArray, Transform> cmyk;     // by the CMYK profile (+ "i" when inverted)
    mutable QHash<QByteArray, std::shared_ptr<const GamutMapper>> wide; // by the source's key
    mutable Transform screenToSrgb;
    mutable bool screenToSrgbMade = false;

    Profile open(const QByteArray& icc) const {
        if (icc.isEmpty())
            return {};
        return Profile(
            cmsOpenProfileFromMemTHR(context, icc.constData(), cmsUInt32Number(icc.size())));
    }

    // The profile of a CICP description; null for sRGB itself and for what has no fitting
    // profile here (the HDR curves PQ and HLG are shown as they are).
    Profile fromCicp(int primaries, int transfer) const {
        cmsCIExyY white{0.3127, 0.3290, 1.0};
        cmsCIExyYTRIPLE p;
        switch (primaries) {
        case 0:
        case 1:
        case 2:
            p = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
            break;
        case 5:
            p = {{0.64, 0.33, 1}, {0.29, 0.60, 1}, {0.15, 0.06, 1}};
            break;
        case 6:
        case 7:
            p = {{0.630, 0.340, 1}, {0.310, 0.595, 1}, {0.155, 0.070, 1}};
            break;
        case 9:
            p = {{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}};
            break;
        case 11:
        case 12:
            p = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
            if (primaries == 11)
                white = {0.314, 0.351, 1.0};
            break;
        default:
            return {};
        }
        static constexpr cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92,
                                                          0.04045};
        static constexpr cmsFloat64Number bt709Curve[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099,
                                                           1 / 4.5, 0.081};
        cmsToneCurve* tone = nullptr;
        switch (transfer) {
        case 0:
        case 2:
        case 13:
            if (primaries <= 2)
                return {}; // sRGB
            tone = curve(context, srgbCurve);
            break;
        case 1:
        case 6:
        case 14:
        case 15:
            tone = curve(context, bt709Curve);
            break;
        case 4:
            tone = cmsBuildGamma(context, 2.2);
            break;
        case 5:
            tone = cmsBuildGamma(context, 2.8);
            break;
        case 8:
            tone = cmsBuildGamma(context, 1.0);
            break;
        default:
            return {};
        }
        if (tone == nullptr)
            return {};
        cmsToneCurve* curves[3] = {tone, tone, tone};
        Profile profile(cmsCreateRGBProfileTHR(context, &white, &p, curves));
        cmsFreeToneCurve(tone);
        return profile;
    }

    Transform make(void* from, cmsUInt32Number fromType, void* to, cmsUInt32Number toType,
                   cmsUInt32Number flags = cmsFLAGS_COPY_ALPHA) const {
        if (from == nullptr || to == nullptr)
            return {};
        // No cache: the transform is then safe to run on several threads at once.
        void* t = cmsCreateTransformTHR(context, from, fromType, to, toType, INTENT_PERCEPTUAL,
                                        cmsFLAGS_NOCACHE | flags);
        return t != nullptr ? Transform(t, TransformDeleter()) : Transform();
    }

    void* screenProfile() const { return screen ? screen.get() : srgb.get(); }

    // BT.2020, which HDR pictures are mapped in, reaches far past most screens' gamuts: its
    // colours are brought into the screen's by a mapper, where both profiles are matrix-shaper
    // ones. Null otherwise, and for other sources. Called locked.
    std::shared_ptr<const GamutMapper> wideMapper(const QByteArray& key,
                                                  const ColourSource& source) const {
        if (!source.icc.isEmpty() || source.cicpPrimaries != 9)
            return {};
        auto found = wide.constFind(key);
        if (found == wide.constEnd()) {
            const Profile from = fromCicp(source.cicpPrimaries, source.cicpTransfer);
            found = wide.insert(key, GamutMapper::make(from.get(), screenProfile()));
        }
        return *found;
    }
};

namespace {

void logNothing(cmsContext, cmsUInt32Number, const char*) {}

} // namespace

ColourTransforms::ColourTransforms() : state_(std::make_unique<State>()) {
    state_->context = cmsCreateContext(nullptr, nullptr);
    // Damaged profiles are common in the wild; they are reported by the null results here, not
    // on the terminal.
    cmsSetLogErrorHandlerTHR(state_->context, logNothing);
    state_->srgb = Profile(cmsCreate_sRGBProfileTHR(state_->context));
}

ColourTransforms::~ColourTransforms() {
    state_->toScreen.clear();
    state_->cmyk.clear();
    state_->wide.clear();
    state_->screenToSrgb.reset();
    state_->screen.reset();
    state_->srgb.reset();
    if (state_->context != nullptr)
        cmsDeleteContext(state_->context);
}

void ColourTransforms::setScreenProfile(const QByteArray& icc) {
    QMutexLocker lock(&state_->mutex);
    if (icc == state_->screenIcc)
        return;
    state_->screenIcc = icc;
    state_->screen = state_->open(icc);
    // Only an RGB display profile describes a screen.
    if (state_->screen && colourSpaceOf(state_->screen.get()) != cmsSigRgbData)
        state_->screen.reset();
    state_->toScreen.clear();
    state_->cmyk.clear();
    state_->wide.clear();
    state_->screenToSrgb.reset();
    state_->screenToSrgbMade = false;
}

QByteArray ColourTransforms::screenProfile() const {
    QMutexLocker lock(&state_->mutex);
    return state_->screenIcc;
}

bool ColourTransforms::screenIsSrgb() const {
    QMutexLocker lock(&state_->mutex);
    return !state_->screen;
}

bool ColourTransforms::toScreen(QImage& image, const ColourSource& source) const {
    if (image.isNull() ||
        (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32))
        return false;
    Transform transform;
    std::shared_ptr<const GamutMapper> mapper;
    {
        QMutexLocker lock(&state_->mutex);
        if (!source.isTagged() && !state_->screen)
            return false;
        const QByteArray key = !source.icc.isEmpty()
                                   ? source.icc + (image.hasAlphaChannel() ? "a" : "")
                                   : QByteArray::number(source.cicpPrimaries) + '/' +
                                         QByteArray::number(source.cicpTransfer) +
                                         (image.hasAlphaChannel() ? "a" : "");
        mapper = state_->wideMapper(key, source);
        auto found = state_->toScreen.constFind(key);
        if (found == state_->toScreen.constEnd()) {
            Profile from;
            if (!source.icc.isEmpty())
                from = state_->open(source.icc);
            else if (source.isTagged())
                from = state_->fromCicp(source.cicpPrimaries, source.cicpTransfer);
            // An untagged picture, or a CICP description that is sRGB itself: sRGB.
            void* fromProfile = from                   ? from.get()
                                : source.icc.isEmpty() ? state_->srgb.get()
                                                       : nullptr;
            const cmsUInt32Number space = fromProfile != nullptr ? colourSpaceOf(fromProfile)
                                                                 : cmsUInt32Number(cmsSigRgbData);
            if (fromProfile == state_->srgb.get() && !state_->screen)
                transform = {}; // sRGB to sRGB: nothing to do
            else if (space == cmsSigRgbData)
                transform =
                    state_->make(fromProfile, rgb32Type(), state_->screenProfile(), rgb32Type());
            else if (space == cmsSigGrayData && !image.hasAlphaChannel())
                // A grey picture comes as RGB32 with three equal channels: read one of them.
                transform = state_->make(fromProfile, grey32Type(), state_->screenProfile(),
                                         rgb32Type(), 0);
            found = state_->toScreen.insert(key, transform);
        }
        transform = *found;
    }
    if (!transform && !mapper)
        return false;
    uchar* bits = image.bits(); // detaches a shared image first
    if (bits == nullptr)
        return false;
    const qsizetype stride = image.bytesPerLine();
    const int width = image.width();
    forRows(image.height(), qint64(width) * image.height(), [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            if (mapper)
                mapper->mapRow(reinterpret_cast<QRgb*>(bits + y * stride), width);
            else
                cmsDoTransform(transform.get(), bits + y * stride, bits + y * stride,
                               cmsUInt32Number(width));
        }
    });
    return true;
}

QImage ColourTransforms::cmykToScreen(const uchar* cmyk, int width, int height,
                                      qsizetype bytesPerLine, bool inverted,
                                      const QByteArray& icc) const {
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    Transform transform;
    {
        QMutexLocker lock(&state_->mutex);
        const QByteArray key = icc + (inverted ? "i" : "n");
        auto found = state_->cmyk.constFind(key);
        if (found == state_->cmyk.constEnd()) {
            Profile from = state_->open(icc);
            Transform made;
            if (from && colourSpaceOf(from.get()) == cmsSigCmykData)
                made = state_->make(from.get(), inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8,
                                    state_->screenProfile(), rgb32Type(), 0);
            found = state_->cmyk.insert(key, made);
        }
        transform = *found;
    }
    forRows(height, qint64(width) * height, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const uchar* in = cmyk + y * bytesPerLine;
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
            if (transform) {
                cmsDoTransform(transform.get(), in, out, cmsUInt32Number(width));
                for (int x = 0; x < width; ++x)
                    out[x] |= 0xFF000000u;
                continue;
            }
            // Without a profile: the plain conversion, ink taken off white.
            for (int x = 0; x < width; ++x, in += 4) {
                int c = in[0], m = in[1], ye = in[2], k = in[3];
                if (inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    ye = 255 - ye;
                    k = 255 - k;
                }
                const int white = 255 - k;
                out[x] = qRgb((255 - c) * white / 255, (255 - m) * white / 255,
                              (255 - ye) * white / 255);
            }
        }
    });
    return image;
}

QImage ColourTransforms::screenToSrgb(const QImage& image) const {
    Transform transform;
    {
        QMutexLocker lock(&state_->mutex);
        if (!state_->screen)
            return image;
        if (!state_->screenToSrgbMade) {
            state_->screenToSrgb =
                state_->make(state_->screen.get(), rgb32Type(), state_->srgb.get(), rgb32Type());
            state_->screenToSrgbMade = true;
        }
        transform = state_->screenToSrgb;
    }
    if (!transform || image.isNull())
        return image;
    QImage converted = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                     : QImage::Format_RGB32);
    if (converted.isNull())
        return image;
    uchar* bits = converted.bits();
    const qsizetype stride = converted.bytesPerLine();
    const int width = converted.width();
    forRows(converted.height(), qint64(width) * converted.height(), [&](int first, int last) {
        for (int y = first; y < last; ++y)
            cmsDoTransform(transform.get(), bits + y * stride, bits + y * stride,
                           cmsUInt32Number(width));
    });
    return converted;
}

} // namespace lumorra
