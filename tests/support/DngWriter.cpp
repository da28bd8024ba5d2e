#include "DngWriter.h"

namespace lumorra::test {

quint16 sensorValue(int srgb) {
    const double v = srgb / 255.0;
    const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    return quint16(std::lround(linear * 65535));
}

QByteArray dngFile(const DngParts& parts) {
    const QSize stated = parts.claimed.isValid() ? parts.claimed : parts.size;
    using W = TiffWriter;
    std::vector<W::Entry> raw = {
        W::longs(254, {0}),
        W::longs(256, {quint32(stated.width())}),
        W::longs(257, {quint32(stated.height())}),
        W::shorts(258, {16}),
        W::shorts(259, {1}),
        W::shorts(262, {32803}),
        W::text(271, "Testmaker"),
        W::text(272, "Test camera"),
        W::longs(273, {0}),
        W::shorts(274, {quint16(parts.orientation)}),
        W::shorts(277, {1}),
        W::longs(278, {quint32(stated.height())}),
        W::longs(279, {quint32(parts.data.size())}),
        W::shorts(284, {1}),
        W::shorts(33421, {2, 2}),
        W::bytes(33422, QByteArray("\0\1\1\2", 4)),
        W::bytes(50706, QByteArray("\1\4\0\0", 4)),
        W::bytes(50707, QByteArray("\1\1\0\0", 4)),
        W::text(50708, "Testmaker Test camera"),
        W::longs(50714, {0}),
        W::longs(50717, {65535}),
        // XYZ to linear sRGB: the camera sees as sRGB does.
        W::rationals(50721,
                     {3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108, 0.0415560,
                      0.0556434, -0.2040259, 1.0572252},
                     true),
        W::rationals(50728, {1, 1, 1}),
        W::shorts(50778, {21}),
    };
    if (parts.preview.isEmpty())
        return W::file(raw, parts.data);
    raw.insert(raw.begin() + 14, W::longs(330, {0}));
    std::vector<W::Entry> sub = {
        W::longs(254, {1}),
        W::longs(256, {quint32(parts.previewSize.width())}),
        W::longs(257, {quint32(parts.previewSize.height())}),
        W::shorts(258, {8, 8, 8}),
        W::shorts(259, {7}),
        W::shorts(262, {6}),
        W::longs(273, {0}),
        W::shorts(277, {3}),
        W::longs(278, {quint32(parts.previewSize.height())}),
        W::longs(279, {quint32(parts.preview.size())}),
        W::shorts(284, {1}),
    };
    return W::file(raw, parts.data, sub, parts.preview);
}

} // namespace lumorra::test
