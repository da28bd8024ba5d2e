#include "GamutMapping.h"

#include <algorithm>
#include <cmath>
#include <lcms2.h>

namespace lumorra {
namespace {

constexpr int Steps = 4096;

// A profile's colorants (PCS XYZ, columns red, green, blue) as a row-major matrix.
bool colorants(void* profile, double (&m)[9]) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (xyz == nullptr)
            return false;
        m[c] = xyz->X, m[3 + c] = xyz->Y, m[6 + c] = xyz->Z;
    }
    return true;
}

bool inverted(const double (&m)[9], double (&out)[9]) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (std::abs(det) < 1e-9)
        return false;
    out[0] = (m[4] * m[8] - m[5] * m[7]) / det;
    out[1] = (m[2] * m[7] - m[1] * m[8]) / det;
    out[2] = (m[1] * m[5] - m[2] * m[4]) / det;
    out[3] = (m[5] * m[6] - m[3] * m[8]) / det;
    out[4] = (m[0] * m[8] - m[2] * m[6]) / det;
    out[5] = (m[2] * m[3] - m[0] * m[5]) / det;
    out[6] = (m[3] * m[7] - m[4] * m[6]) / det;
    out[7] = (m[1] * m[6] - m[0] * m[7]) / det;
    out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
    return true;
}

const cmsToneCurve* trc(void* profile, int channel) {
    const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    return static_cast<const cmsToneCurve*>(cmsReadTag(profile, tags[channel]));
}

} // namespace

std::shared_ptr<const GamutMapper> GamutMapper::make(void* from, void* to) {
    if (from == nullptr || to == nullptr || !cmsIsMatrixShaper(from) || !cmsIsMatrixShaper(to) ||
        cmsGetColorSpace(from) != cmsSigRgbData || cmsGetColorSpace(to) != cmsSigRgbData)
        return {};
    double source[9], screen[9], toScreen[9];
    if (!colorants(from, source) || !colorants(to, screen) || !inverted(screen, toScreen))
        return {};
    auto m = std::make_shared<GamutMapper>();
    for (int r = 0; r < 3; ++r) {
        m->luminance_[r] = float(source[3 + r]);
        for (int c = 0; c < 3; ++c) {
            double v = 0;
            for (int k = 0; k < 3; ++k)
                v += toScreen[r * 3 + k] * source[k * 3 + c];
            m->matrix_[r * 3 + c] = float(v);
        }
    }
    for (int c = 0; c < 3; ++c) {
        const cmsToneCurve* in = trc(from, c);
        cmsToneCurve* out = trc(to, c) ? cmsReverseToneCurve(trc(to, c)) : nullptr;
        if (in == nullptr || out == nullptr) {
            if (out != nullptr)
                cmsFreeToneCurve(out);
            return {};
        }
        m->decoded_[c].resize(256);
        for (int i = 0; i < 256; ++i)
            m->decoded_[c][size_t(i)] = cmsEvalToneCurveFloat(in, float(i / 255.0));
        m->encoded_[c].resize(Steps);
        for (int i = 0; i < Steps; ++i) {
            const float s = float(i) / (Steps - 1);
            const float v = std::clamp(cmsEvalToneCurveFloat(out, s * s), 0.f, 1.f);
            m->encoded_[c][size_t(i)] = quint8(std::lround(v * 255));
        }
        cmsFreeToneCurve(out);
    }
    return m;
}

void GamutMapper::mapRow(QRgb* row, int count) const {
    const float* m = matrix_;
    for (int x = 0; x < count; ++x) {
        const QRgb p = row[x];
        const float r = decoded_[0][qRed(p)], g = decoded_[1][qGreen(p)], b = decoded_[2][qBlue(p)];
        float c[3] = {m[0] * r + m[1] * g + m[2] * b, m[3] * r + m[4] * g + m[5] * b,
                      m[6] * r + m[7] * g + m[8] * b};
        // Toward the grey of the colour's luminance (the screen's white has the source's), as far
        // as the channel furthest out of range needs.
        const float y =
            std::clamp(luminance_[0] * r + luminance_[1] * g + luminance_[2] * b, 0.f, 1.f);
        const float low = std::min({c[0], c[1], c[2]}), high = std::max({c[0], c[1], c[2]});
        float t = 1;
        if (low < 0)
            t = std::min(t, y / (y - low));
        if (high > 1)
            t = std::min(t, (1 - y) / (high - y));
        int shown[3];
        for (int i = 0; i < 3; ++i) {
            const float v = std::clamp(y + (c[i] - y) * t, 0.f, 1.f);
            shown[i] = encoded_[i][size_t(std::sqrt(v) * (Steps - 1) + 0.5f)];
        }
        row[x] = qRgba(shown[0], shown[1], shown[2], qAlpha(p));
    }
}

} // namespace lumorra
