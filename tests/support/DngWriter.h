#pragma once

// DNG files written byte by byte (a TIFF with the DNG tags), for the camera RAW tests and
// benchmarks: sensor data behind an RGGB filter, and an optional JPEG preview.

#include <QByteArray>
#include <QSize>
#include <QtEndian>

#include <cmath>
#include <vector>

namespace lumorra::test {

// A TIFF file's directory entries, written little-endian with their data after the directories.
class TiffWriter {
public:
    enum Type : quint16 { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SRational = 10 };
    struct Entry {
        quint16 tag;
        Type type;
        quint32 count;
        QByteArray data;
    };
    static Entry shorts(quint16 tag, std::vector<quint16> v) {
        return {tag, Short, quint32(v.size()), pack(v)};
    }
    static Entry longs(quint16 tag, std::vector<quint32> v) {
        return {tag, Long, quint32(v.size()), pack(v)};
    }
    static Entry bytes(quint16 tag, QByteArray v) { return {tag, Byte, quint32(v.size()), v}; }
    static Entry text(quint16 tag, QByteArray v) {
        v.append('\0');
        return {tag, Ascii, quint32(v.size()), v};
    }
    // Rationals over 10000.
    static Entry rationals(quint16 tag, std::vector<double> v, bool sign = false) {
        std::vector<qint32> parts;
        for (double d : v)
            parts.insert(parts.end(), {qint32(std::lround(d * 10000)), 10000});
        return {tag, sign ? SRational : Rational, quint32(v.size()), pack(parts)};
    }
    // Two directories at most: the first, and one its SubIFDs entry (330) points to. A strip
    // offset (273) of 0 is replaced by where `strip` lands.
    static QByteArray file(std::vector<Entry> first, QByteArray firstStrip,
                           std::vector<Entry> sub = {}, QByteArray subStrip = {}) {
        QByteArray out("II*\0\x08\0\0\0", 8);
        const quint32 firstSize = 2 + 12 * quint32(first.size()) + 4;
        const quint32 subAt = 8 + firstSize;
        const quint32 dataAt = subAt + (sub.empty() ? 0 : 2 + 12 * quint32(sub.size()) + 4);
        QByteArray data;
        const auto directory = [&](std::vector<Entry>& entries, quint32 stripAt) {
            QByteArray d = pack(std::vector<quint16>{quint16(entries.size())});
            for (Entry& e : entries) {
                if (e.tag == 273)
                    e.data = pack(std::vector<quint32>{stripAt});
                if (e.tag == 330)
                    e.data = pack(std::vector<quint32>{subAt});
                d +=
                    pack(std::vector<quint16>{e.tag, e.type}) + pack(std::vector<quint32>{e.count});
                if (e.data.size() <= 4) {
                    d += e.data.leftJustified(4, '\0');
                } else {
                    d += pack(std::vector<quint32>{dataAt + quint32(data.size())});
                    data += e.data;
                    if (data.size() % 2)
                        data += '\0';
                }
            }
            return d + QByteArray(4, '\0');
        };
        // The strips go after all the data; their offsets are known once the data is.
        const auto dataSize = [&] {
            qsizetype n = 0;
            for (const auto* list : {&first, &sub})
                for (const Entry& e : *list)
                    n += e.data.size() > 4 ? e.data.size() + e.data.size() % 2 : 0;
            return quint32(n);
        }();
        const quint32 firstStripAt = dataAt + dataSize;
        out += directory(first, firstStripAt);
        out += directory(sub, firstStripAt + quint32(firstStrip.size()));
        if (sub.empty())
            out.chop(6); // no second directory after all
        return out + data + firstStrip + subStrip;
    }

private:
    template <class T> static QByteArray pack(const std::vector<T>& v) {
        QByteArray b(qsizetype(v.size() * sizeof(T)), '\0');
        for (std::size_t i = 0; i < v.size(); ++i)
            qToLittleEndian<T>(v[i], b.data() + i * sizeof(T));
        return b;
    }
};

// A DNG's parts: 16-bit sensor data (little-endian, rows of `size`, red at the top left of each
// 2 x 2 block, blue at its bottom right) of a camera whose colours are sRGB's, white balanced as
// neutral; the EXIF `orientation`; a header claiming `claimed` where that is given; an optional
// JPEG preview of `previewSize`, in a directory of its own.
struct DngParts {
    QSize size;
    QByteArray data;
    int orientation = 1;
    QSize claimed;
    QByteArray preview;
    QSize previewSize;
};
QByteArray dngFile(const DngParts& parts);

// The 16-bit sensor value of a channel's 8-bit sRGB value.
quint16 sensorValue(int srgb);

} // namespace lumorra::test
