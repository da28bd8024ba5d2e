#include "ToneMapping.h"

#include <algorithm>
#include <cmath>

namespace lumorra {
namespace {

constexpr int Steps = 65536;
constexpr double Top = Steps - 1;

// SMPTE ST 2084 (PQ): signal from absolute light, and back.
constexpr double M1 = 2610.0 / 16384, M2 = 2523.0 / 4096 * 128;
constexpr double C1 = 3424.0 / 4096, C2 = 2413.0 / 4096 * 32, C3 = 2392.0 / 4096 * 32;

double pqSignal(double nits) {
    const double y = std::pow(std::clamp(nits / 10000, 0.0, 1.0), M1);
    return std::pow((C1 + C2 * y) / (1 + C3 * y), M2);
}

double pqNits(double signal) {
    const double e = std::pow(std::clamp(signal, 0.0, 1.0), 1 / M2);
    return 10000 * std::pow(std::max(e - C1, 0.0) / (C2 - C3 * e), 1 / M1);
}

// The inverse of HLG's OETF: scene light (0..1) from the signal.
double hlgScene(double signal) {
    constexpr double A = 0.17883277, B = 1 - 4 * A;
    static const double C = 0.5 - A * std::log(4 * A);
    const double s = std::clamp(signal, 0.0, 1.0);
    return s <= 0.5 ? s * s / 3 : (std::exp((s - C) / A) + B) / 12;
}

// HLG's system gamma for a display of HdrPeak: 1.2 + 0.42 log10(peak / 1000).
const double HlgGamma = 1.2 + 0.42 * std::log10(HdrPeak / 1000);

double srgbEncoded(double linear) {
    const double l = std::clamp(linear, 0.0, 1.0);
    return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

} // namespace

HdrTransfer hdrTransferOf(int cicpTransfer) {
    return cicpTransfer == 16   ? HdrTransfer::Pq
           : cicpTransfer == 18 ? HdrTransfer::Hlg
                                : HdrTransfer::None;
}

// ITU-R BT.2390, 5.4.1, with no black level on either side: in the PQ domain, normalised to the
// source's range, signals below the knee start KS pass unchanged, those above are bent by a
// Hermite spline onto the target's top maxLum.
double eetf(double nits) {
    const double sourceTop = pqSignal(HdrPeak);
    const double e1 = std::clamp(pqSignal(nits) / sourceTop, 0.0, 1.0);
    const double maxLum = pqSignal(SdrWhite) / sourceTop;
    const double ks = 1.5 * maxLum - 0.5;
    double e2 = e1;
    if (e1 > ks) {
        const double t = (e1 - ks) / (1 - ks), t2 = t * t, t3 = t2 * t;
        e2 =
            (2 * t3 - 3 * t2 + 1) * ks + (t3 - 2 * t2 + t) * (1 - ks) + (-2 * t3 + 3 * t2) * maxLum;
    }
    return std::clamp(pqNits(e2 * sourceTop) / SdrWhite, 0.0, 1.0);
}

double shownGrey(HdrTransfer transfer, double signal) {
    switch (transfer) {
    case HdrTransfer::Pq:
        return eetf(pqNits(signal));
    case HdrTransfer::Hlg: {
        // BT.2100's OOTF: Fd = peak * Ys^(gamma - 1) * E; for a grey Ys = E.
        const double e = hlgScene(signal);
        return eetf(HdrPeak * std::pow(e, HlgGamma));
    }
    case HdrTransfer::None:
        break;
    }
    return std::clamp(signal, 0.0, 1.0);
}

ToneMapper::ToneMapper(HdrTransfer transfer) : transfer_(transfer), light_(Steps), encoded_(Steps) {
    for (int i = 0; i < Steps; ++i) {
        const double s = i / Top;
        light_[size_t(i)] =
            float(transfer == HdrTransfer::Hlg ? hlgScene(s) : std::min(pqNits(s) / HdrPeak, 1.0));
        encoded_[size_t(i)] = quint8(std::lround(255 * srgbEncoded(eetf(HdrPeak * s * s))));
    }
    if (transfer == HdrTransfer::Hlg) {
        ootf_.resize(Steps);
        for (int i = 0; i < Steps; ++i)
            ootf_[size_t(i)] = float(std::pow(i / Top, 2 * (HlgGamma - 1)));
    }
}

void ToneMapper::mapRow(const quint16* samples, int channels, int count, QRgb* out) const {
    const auto shown = [&](float light) {
        return int(encoded_[size_t(std::lround(std::sqrt(std::clamp(light, 0.f, 1.f)) * Top))]);
    };
    for (int x = 0; x < count; ++x, samples += channels) {
        float r = light_[samples[0]], g = light_[samples[1]], b = light_[samples[2]];
        if (transfer_ == HdrTransfer::Hlg) {
            // The OOTF scales each channel by the scene's luminance (BT.2020 weights).
            const float y = 0.2627f * r + 0.6780f * g + 0.0593f * b;
            const float scale =
                ootf_[size_t(std::lround(std::sqrt(std::clamp(y, 0.f, 1.f)) * Top))];
            r *= scale;
            g *= scale;
            b *= scale;
        }
        const int alpha = channels == 4 ? (samples[3] * 255 + 32767) / 65535 : 255;
        out[x] = qRgba(shown(r), shown(g), shown(b), alpha);
    }
}

} // namespace lumorra
