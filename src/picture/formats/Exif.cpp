// The EXIF orientation of PNG and WebP files, which Qt's readers of those formats leave unread.

#include "Support.h"

namespace lumorra::formats {

int exifOrientation(QByteArrayView exif) {
    if (exif.startsWith(QByteArrayView("Exif\0\0", 6)))
        exif = exif.sliced(6);
    const bool little = exif.startsWith("II");
    if (!little && !exif.startsWith("MM"))
        return 1;
    const auto u16 = [&](qsizetype at) {
        return little ? le<quint16>(exif, at) : be<quint16>(exif, at);
    };
    const auto u32 = [&](qsizetype at) {
        return little ? le<quint32>(exif, at) : be<quint32>(exif, at);
    };
    if (u16(2) != 42)
        return 1;
    const qint64 ifd = u32(4);
    if (ifd < 8 || ifd + 2 > exif.size())
        return 1;
    const int count = u16(ifd);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = ifd + 2 + qint64(i) * 12;
        if (entry + 12 > exif.size())
            break;
        // Orientation, a SHORT with one value.
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
            const int value = u16(entry + 8);
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

namespace {

// EXIF blocks are small; one larger than this is damage.
constexpr qint64 MaxExif = qint64(1) << 20;

int pngOrientation(const ReadAt& read) {
    qint64 at = 8;
    // Chunks: length, type, data, CRC. The eXIf chunk may come before or after the image data;
    // a walk reads only the chunk headers.
    for (int chunks = 0; chunks < 100000; ++chunks) {
        const QByteArray head = read(at, 8);
        if (head.size() < 8)
            return 1;
        const quint32 length = be<quint32>(head, 0);
        const QByteArrayView type = QByteArrayView(head).sliced(4, 4);
        if (type == "eXIf")
            return length <= MaxExif ? exifOrientation(read(at + 8, length)) : 1;
        if (type == "IEND")
            return 1;
        at += 12 + qint64(length);
    }
    return 1;
}

int webpOrientation(const ReadAt& read) {
    // RIFF chunks after "RIFF", size, "WEBP": fourcc, size, data padded to even length. Only the
    // extended format (VP8X first) carries EXIF.
    qint64 at = 12;
    for (int chunks = 0; chunks < 100000; ++chunks) {
        const QByteArray head = read(at, 8);
        if (head.size() < 8)
            return 1;
        const quint32 length = le<quint32>(head, 4);
        const QByteArrayView type = QByteArrayView(head).first(4);
        if (chunks == 0 && type != "VP8X")
            return 1;
        if (type == "EXIF")
            return length <= MaxExif ? exifOrientation(read(at + 8, length)) : 1;
        at += 8 + qint64(length) + (length & 1);
    }
    return 1;
}

} // namespace

int containerOrientation(QByteArrayView format, const ReadAt& read) {
    if (format == "png")
        return pngOrientation(read);
    if (format == "webp")
        return webpOrientation(read);
    return 1;
}

int containerOrientation(QByteArrayView format, QByteArrayView bytes) {
    return containerOrientation(format, [bytes](qint64 at, qint64 length) {
        if (at < 0 || at >= bytes.size() || length <= 0)
            return QByteArray();
        return bytes.sliced(at, qMin(length, bytes.size() - at)).toByteArray();
    });
}

} // namespace lumorra::formats
