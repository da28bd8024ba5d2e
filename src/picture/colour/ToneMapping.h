#pragma once

// Showing HDR pictures (the PQ and HLG transfer functions of ITU-R BT.2100) on an SDR screen.
// The decoders map a picture's deep samples with this to SDR pixels encoded with the sRGB
// curve, in the picture's own primaries; the screen's colour transform takes them from there.

#include <QRgb>
#include <QtGlobal>

#include <vector>

namespace lumorra {

enum class HdrTransfer { None, Pq, Hlg };

// The transfer of a CICP code point: 16 is PQ, 18 HLG; anything else is no HDR curve.
HdrTransfer hdrTransferOf(int cicpTransfer);

// The brightest light of the HDR pictures mapped, in cd/m2: the grade PQ pictures are taken to
// have (signals brighter than this are shown as it), and the nominal display HLG is rendered
// for.
inline constexpr double HdrPeak = 1000;
// The light shown as the screen's white, in cd/m2: the reference white of HDR pictures.
inline constexpr double SdrWhite = 203;
// The CICP transfer of the mapped pixels: the sRGB curve.
inline constexpr int MappedTransfer = 13;

// The curves, for one grey (all channels equal). BT.2390's EETF: display light in cd/m2
// (0..HdrPeak) to the light shown, relative to the screen's white (0..1).
double eetf(double nits);
// The light shown for a grey signal (0..1) of `transfer`, relative to the screen's white.
double shownGrey(HdrTransfer transfer, double signal);

// Maps rows of 16-bit samples (0..65535, R G B or R G B A, alpha not premultiplied) to 8-bit
// pixels with the sRGB curve.
class ToneMapper {
public:
    explicit ToneMapper(HdrTransfer transfer);
    void mapRow(const quint16* samples, int channels, int count, QRgb* out) const;

private:
    HdrTransfer transfer_;
    std::vector<float> light_;    // signal -> PQ: display light, HLG: scene light; 0..1
    std::vector<float> ootf_;     // HLG: sqrt(luminance) -> luminance^(gamma - 1)
    std::vector<quint8> encoded_; // sqrt(display light / HdrPeak) -> the shown 8-bit value
};

} // namespace lumorra
