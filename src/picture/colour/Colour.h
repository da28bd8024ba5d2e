#pragma once

#include <QByteArray>
#include <QImage>

#include <memory>

namespace lumorra {

// How a decoded picture's pixels are meant: the ICC profile the file carries, or the CICP colour
// description (ITU-T H.273 code points, as HEIF and AVIF files give it) where it has none. A
// picture with neither is sRGB.
struct ColourSource {
    QByteArray icc;        // the embedded ICC profile, empty when none
    int cicpPrimaries = 0; // 0: none given (1 is BT.709/sRGB, 9 BT.2020, 12 Display P3)
    int cicpTransfer = 0;  // 0: none given (13 is sRGB, 1 BT.709, 16 PQ, 18 HLG, 8 linear)
    bool isTagged() const { return !icc.isEmpty() || cicpPrimaries != 0 || cicpTransfer != 0; }
};

// Colour transforms from a picture's colour space to the screen's, and from the screen's to sRGB
// for what leaves the program without a profile (the clipboard, a BMP). Transforms are made once
// per pair of profiles and kept. The screen's profile is sRGB until told otherwise. Safe to use
// from several threads at once (the preloader decodes on threads of its own).
class ColourTransforms {
public:
    ColourTransforms();
    ~ColourTransforms();
    ColourTransforms(const ColourTransforms&) = delete;
    ColourTransforms& operator=(const ColourTransforms&) = delete;

    // The screen's ICC profile; empty (or a profile that cannot be read) means sRGB.
    void setScreenProfile(const QByteArray& icc);
    QByteArray screenProfile() const;
    bool screenIsSrgb() const;

    // Converts an RGB32 or ARGB32 picture whose pixels are meant as `source` to the screen's
    // colour space, in place. An untagged picture on an sRGB screen is left alone, and so is one
    // whose profile cannot be read or does not describe RGB pixels (shown as it is, never
    // refused). Returns whether the pixels were changed.
    bool toScreen(QImage& image, const ColourSource& source) const;

    // Converts CMYK pixels (4 bytes a pixel, C M Y K, `inverted` as Adobe writes them: 255 is
    // no ink) to an RGB32 picture in the screen's colour space, through the picture's CMYK
    // profile where it has one and a plain conversion otherwise.
    QImage cmykToScreen(const uchar* cmyk, int width, int height, qsizetype bytesPerLine,
                        bool inverted, const QByteArray& icc) const;

    // The screen's pixels as sRGB pixels: a copy converted from the screen's profile, or the
    // picture itself when the screen is sRGB.
    QImage screenToSrgb(const QImage& image) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace lumorra
