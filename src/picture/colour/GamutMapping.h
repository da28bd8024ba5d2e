#pragma once

// Showing a picture of a wider gamut than the screen's (BT.2020, as HDR pictures are mapped
// into) without the hue shifts of clipping each channel: a colour the screen cannot show is
// moved toward the grey of its own luminance until it fits. Hue and luminance are kept, only
// saturation is given up; colours the screen can show are converted exactly.

#include <QRgb>

#include <memory>
#include <vector>

namespace lumorra {

class GamutMapper {
public:
    // From and to lcms2 profiles that are both matrix-shaper RGB profiles (a colorant matrix
    // and a tone curve a channel); null when either is not.
    static std::shared_ptr<const GamutMapper> make(void* from, void* to);
    // Converts RGB32 or ARGB32 pixels in place; alpha is kept.
    void mapRow(QRgb* row, int count) const;

private:
    float matrix_[9] = {}; // linear source RGB -> linear screen RGB
    float luminance_[3] = {};
    std::vector<float> decoded_[3];  // 8-bit source value -> linear light
    std::vector<quint8> encoded_[3]; // sqrt(linear screen light) in steps -> 8-bit screen value
};

} // namespace lumorra
