#include "EmbeddedProfile.h"

#include "picture/Decoding.h"

#include <QtEndian>

#include <map>
#include <zlib.h>

namespace lumorra::picture {
namespace {

quint16 be16(const uchar* p) {
    return qFromBigEndian<quint16>(p);
}
quint32 be32(const uchar* p) {
    return qFromBigEndian<quint32>(p);
}

bool readAt(QIODevice& file, qint64 at, qint64 length, QByteArray& into) {
    if (at < 0 || length < 0 || length > ProfileByteCap || !file.seek(at))
        return false;
    into = file.read(length);
    return into.size() == length;
}

// JPEG: the profile is split over APP2 segments "ICC_PROFILE\0", sequence number, count; they
// stand among the markers before the first scan.
QByteArray jpegProfile(QIODevice& file, int* components) {
    std::map<int, QByteArray> parts;
    int count = 0;
    qint64 at = 2;
    qint64 total = 0;
    QByteArray marker;
    for (int segments = 0; segments < 1000 && readAt(file, at, 4, marker); ++segments) {
        const auto* m = reinterpret_cast<const uchar*>(marker.constData());
        if (m[0] != 0xFF)
            break;
        const int type = m[1];
        if (type == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (type == 0xDA || type == 0xD9) // start of scan, end of image
            break;
        const int length = be16(m + 2);
        if (length < 2)
            break;
        // Start of frame (not DHT, JPG, DAC): the number of components follows precision,
        // height and width.
        const bool frame =
            type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC;
        QByteArray frameHeader;
        if (frame && components != nullptr && length >= 8 && readAt(file, at + 4, 6, frameHeader))
            *components = uchar(frameHeader[5]);
        if (type == 0xE2 && length >= 16) {
            QByteArray body;
            if (!readAt(file, at + 4, length - 2, body))
                break;
            if (body.startsWith(QByteArrayView("ICC_PROFILE\0", 12))) {
                const int sequence = uchar(body[12]);
                count = uchar(body[13]);
                total += body.size() - 14;
                if (total > ProfileByteCap)
                    return {};
                parts[sequence] = body.mid(14);
            }
        }
        at += 2 + length;
    }
    if (parts.empty() || count == 0 || int(parts.size()) != count)
        return {};
    QByteArray profile;
    int expected = 1;
    for (const auto& [sequence, bytes] : parts) {
        if (sequence != expected++)
            return {};
        profile += bytes;
    }
    return profile;
}

// A zlib stream inflated, at most ProfileByteCap bytes of it; empty when damaged or larger.
QByteArray inflated(QByteArrayView stream) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = uInt(stream.size());
    int result = Z_OK;
    while (result == Z_OK && out.size() < ProfileByteCap) {
        const qsizetype done = out.size();
        out.resize(qMin<qsizetype>(ProfileByteCap, done + 64 * 1024));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + done);
        z.avail_out = uInt(out.size() - done);
        result = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
    }
    inflateEnd(&z);
    return result == Z_STREAM_END ? out : QByteArray();
}

// PNG: the iCCP chunk (name, zero, method 0, deflated profile) before the first IDAT.
QByteArray pngProfile(QIODevice& file) {
    qint64 at = 8;
    QByteArray head;
    for (int chunks = 0; chunks < 1000 && readAt(file, at, 8, head); ++chunks) {
        const auto* h = reinterpret_cast<const uchar*>(head.constData());
        const quint32 length = be32(h);
        const QByteArray type = head.mid(4, 4);
        if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFFu)
            break;
        if (type == "iCCP") {
            QByteArray body;
            if (!readAt(file, at + 8, length, body))
                return {};
            const qsizetype zero = body.indexOf('\0');
            if (zero < 1 || zero > 79 || body.size() < zero + 3 || body[zero + 1] != 0)
                return {};
            return inflated(QByteArrayView(body).sliced(zero + 2));
        }
        at += 12 + qint64(length);
    }
    return {};
}

// WebP: an ICCP chunk in the RIFF container (extended format, after VP8X).
QByteArray webpProfile(QIODevice& file) {
    qint64 at = 12;
    QByteArray head;
    for (int chunks = 0; chunks < 100 && readAt(file, at, 8, head); ++chunks) {
        const quint32 length = littleEndian<quint32>(head, 4);
        const QByteArray type = head.left(4);
        if (type == "ICCP") {
            QByteArray body;
            return readAt(file, at + 8, length, body) ? body : QByteArray();
        }
        if (type != "VP8X") // the profile comes right after VP8X when there is one
            break;
        at += 8 + qint64(length) + (length & 1);
    }
    return {};
}

// TIFF: tag 34675 of the first directory.
QByteArray tiffProfile(QIODevice& file) {
    QByteArray header;
    if (!readAt(file, 0, 8, header))
        return {};
    const bool little = header.startsWith("II");
    const auto u16 = [&](const QByteArray& b, int at) {
        const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
        return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    };
    const auto u32 = [&](const QByteArray& b, int at) {
        const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
        return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
    };
    const qint64 directory = u32(header, 4);
    QByteArray countBytes;
    if (!readAt(file, directory, 2, countBytes))
        return {};
    const int entries = u16(countBytes, 0);
    QByteArray table;
    if (!readAt(file, directory + 2, qint64(entries) * 12, table))
        return {};
    for (int i = 0; i < entries; ++i) {
        const int at = i * 12;
        if (u16(table, at) != 34675)
            continue;
        const quint32 count = u32(table, at + 4); // type UNDEFINED: bytes
        if (count <= 4)
            return {};
        QByteArray body;
        return readAt(file, u32(table, at + 8), count, body) ? body : QByteArray();
    }
    return {};
}

} // namespace

QByteArray embeddedProfile(QIODevice& file, const QByteArray& format, int* jpegComponents) {
    QByteArray profile;
    if (format == "jpeg")
        profile = jpegProfile(file, jpegComponents);
    else if (format == "png")
        profile = pngProfile(file);
    else if (format == "webp")
        profile = webpProfile(file);
    else if (format == "tiff")
        profile = tiffProfile(file);
    // Every ICC profile begins with its own size and has "acsp" at byte 36.
    if (profile.size() < 128 || profile.mid(36, 4) != "acsp")
        return {};
    return profile;
}

} // namespace lumorra::picture
