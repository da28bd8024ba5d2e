#include "PictureBytes.h"

#include <QBuffer>
#include <QFile>
#include <QList>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>

namespace lumorra::test {
namespace {

void put16(QByteArray& b, quint16 v) {
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}
void put32(QByteArray& b, quint32 v) {
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}
void putBe16(QByteArray& b, quint16 v) {
    char c[2];
    qToBigEndian(v, c);
    b.append(c, 2);
}
void putBe32(QByteArray& b, quint32 v) {
    char c[4];
    qToBigEndian(v, c);
    b.append(c, 4);
}
quint32 colorRef(QColor c) {
    return quint32(c.red()) | quint32(c.green()) << 8 | quint32(c.blue()) << 16;
}

quint32 crc32(const QByteArray& data) {
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

} // namespace

QByteArray encoded(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

QImage twoHalves(QSize size, QColor left, QColor right) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(QRect(0, 0, size.width() / 2, size.height()), left);
    p.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()), right);
    return image;
}

namespace {

// Colour indexes packed as LZW codes the plain way: every pixel a literal code of 9 bits, the
// table cleared before it would need 10.
QByteArray gifPixels(const QImage& image, const QList<QRgb>& palette) {
    QByteArray codes;
    quint32 buffer = 0;
    int bits = 0;
    const auto putCode = [&](quint32 code) {
        buffer |= code << bits;
        bits += 9;
        while (bits >= 8) {
            codes.append(char(buffer & 0xFF));
            buffer >>= 8;
            bits -= 8;
        }
    };
    constexpr quint32 Clear = 256, End = 257;
    int sinceClear = 0;
    putCode(Clear);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (sinceClear == 254) {
                putCode(Clear);
                sinceClear = 0;
            }
            putCode(quint32(qMax<qsizetype>(0, palette.indexOf(image.pixel(x, y) | 0xFF000000u))));
            ++sinceClear;
        }
    }
    putCode(End);
    if (bits > 0)
        codes.append(char(buffer & 0xFF));
    QByteArray blocks;
    blocks.append(char(8)); // LZW minimum code size
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray part = codes.mid(at, 255);
        blocks.append(char(part.size()));
        blocks.append(part);
    }
    blocks.append(char(0));
    return blocks;
}

QList<QRgb> gifPalette(const QImage& image) {
    QList<QRgb> palette;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xFF000000u;
            if (!palette.contains(c) && palette.size() < 256)
                palette.append(c);
        }
    while (palette.size() < 256)
        palette.append(0xFF000000u);
    return palette;
}

QByteArray colourTable(const QList<QRgb>& palette) {
    QByteArray table;
    for (QRgb c : palette) {
        table.append(char(qRed(c)));
        table.append(char(qGreen(c)));
        table.append(char(qBlue(c)));
    }
    return table;
}

} // namespace

QByteArray gifFile(const std::vector<QImage>& frames) {
    const QImage& first = frames.front();
    QByteArray gif("GIF89a");
    put16(gif, quint16(first.width()));
    put16(gif, quint16(first.height()));
    gif.append(char(0xF7)); // a global table of 256 colours
    gif.append(char(0));
    gif.append(char(0));
    const QList<QRgb> global = gifPalette(first);
    gif.append(colourTable(global));
    for (const QImage& frame : frames) {
        gif.append("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8); // 0.1 s a frame
        gif.append(char(0x2C));
        put16(gif, 0);
        put16(gif, 0);
        put16(gif, quint16(frame.width()));
        put16(gif, quint16(frame.height()));
        if (&frame == &first) {
            gif.append(char(0));
            gif.append(gifPixels(frame, global));
        } else {
            const QList<QRgb> local = gifPalette(frame);
            gif.append(char(0x87)); // a local table of 256 colours
            gif.append(colourTable(local));
            gif.append(gifPixels(frame, local));
        }
    }
    gif.append(char(0x3B));
    return gif;
}

QByteArray tgaFile(const QImage& image) {
    QByteArray tga(2, '\0');
    tga.append(char(2)); // uncompressed true colour
    tga.append(5, '\0');
    put16(tga, 0);
    put16(tga, 0);
    put16(tga, quint16(image.width()));
    put16(tga, quint16(image.height()));
    tga.append(char(24));
    tga.append(char(0x20)); // top row first
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            tga.append(char(qBlue(c)));
            tga.append(char(qGreen(c)));
            tga.append(char(qRed(c)));
        }
    put32(tga, 0);                       // no extension area
    put32(tga, 0);                       // no developer directory
    tga.append("TRUEVISION-XFILE.", 18); // with its zero byte
    return tga;
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation) {
    QByteArray tiff("MM\0*", 4);
    putBe32(tiff, 8);      // the first directory
    putBe16(tiff, 1);      // one entry:
    putBe16(tiff, 0x0112); // Orientation,
    putBe16(tiff, 3);      // SHORT,
    putBe32(tiff, 1);      // one of them,
    putBe16(tiff, quint16(orientation));
    putBe16(tiff, 0);
    putBe32(tiff, 0); // no next directory
    QByteArray app1("\xFF\xE1", 2);
    putBe16(app1, quint16(2 + 6 + tiff.size()));
    app1.append("Exif\0\0", 6);
    app1.append(tiff);
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

QByteArray checkedJpeg(QSize size, const std::vector<QRect>& patches) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(size.width());
    info.image_height = JDIMENSION(size.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(std::size_t(size.width()) * 3);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            unsigned char* p = &row[std::size_t(x) * 3];
            p[0] = 30, p[1] = 120, p[2] = 200;
        }
        for (const QRect& patch : patches) {
            if (y < patch.top() || y > patch.bottom())
                continue;
            for (int x = patch.left(); x <= patch.right(); ++x)
                std::memset(&row[std::size_t(x) * 3], (x + y) % 2 == 0 ? 255 : 0, 3);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(outSize));
    std::free(out);
    return bytes;
}

QByteArray jpegClaiming(const QByteArray& jpeg, QSize size) {
    QByteArray out = jpeg;
    qsizetype at = 2;
    while (at + 9 < out.size() && quint8(out[at]) == 0xFF) {
        const quint8 marker = quint8(out[at + 1]);
        if (marker == 0xC0 || marker == 0xC2) {
            qToBigEndian(quint16(size.height()), out.data() + at + 5);
            qToBigEndian(quint16(size.width()), out.data() + at + 7);
            return out;
        }
        at += 2 + qFromBigEndian<quint16>(out.constData() + at + 2);
    }
    return {};
}

QByteArray pngClaiming(QSize size) {
    QByteArray png("\x89PNG\r\n\x1A\n", 8);
    const auto chunk = [&](const char* type, const QByteArray& data) {
        putBe32(png, quint32(data.size()));
        const QByteArray typed = QByteArray(type) + data;
        png.append(typed);
        putBe32(png, crc32(typed));
    };
    QByteArray header;
    putBe32(header, quint32(size.width()));
    putBe32(header, quint32(size.height()));
    header.append("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA, not interlaced
    chunk("IHDR", header);
    // The start of the pixel data: a reader learns the size when it gets here.
    chunk("IDAT", QByteArray("\x78\x9C\x63\x00\x00", 5));
    return png;
}

QByteArray encodedBy(const QString& program, const QStringList& args, const QByteArray& input,
                     const QString& inName, const QString& outName) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {};
    QTemporaryDir dir;
    QFile in(dir.filePath(inName));
    if (!in.open(QIODevice::WriteOnly) || in.write(input) != input.size())
        return {};
    in.close();
    QStringList arguments;
    for (const QString& a : args)
        arguments << QString(a)
                         .replace(QLatin1String("%in"), in.fileName())
                         .replace(QLatin1String("%out"), dir.filePath(outName));
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    QFile out(dir.filePath(outName));
    return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

QByteArray heifClaiming(QByteArray heif, QSize size) {
    // The box: size, "ispe", version and flags, width, height.
    for (qsizetype at = heif.indexOf("ispe"); at >= 4 && at + 16 <= heif.size();
         at = heif.indexOf("ispe", at + 4)) {
        qToBigEndian(quint32(size.width()), heif.data() + at + 8);
        qToBigEndian(quint32(size.height()), heif.data() + at + 12);
    }
    return heif;
}

namespace {

quint64 beAt(const QByteArray& b, qsizetype at, int bytes) {
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | quint8(b[at + i]);
    return v;
}
void setBeAt(QByteArray& b, qsizetype at, int bytes, quint64 v) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        b[at + i] = char(v & 0xFF);
}

// The child box of `type` in the boxes from `at` to `end`: its start, or -1.
qsizetype childBox(const QByteArray& b, qsizetype at, qsizetype end, const char* type) {
    while (at + 8 <= end) {
        if (b.mid(at + 4, 4) == type)
            return at;
        at += qsizetype(beAt(b, at, 4));
    }
    return -1;
}

} // namespace

QByteArray withHeifQuarterTurn(const QByteArray& heif) {
    QByteArray b = heif;
    const qsizetype meta = childBox(b, 0, b.size(), "meta");
    const qsizetype metaEnd = meta + qsizetype(beAt(b, meta, 4));
    const qsizetype iprp = childBox(b, meta + 12, metaEnd, "iprp");
    const qsizetype pitm = childBox(b, meta + 12, metaEnd, "pitm");
    const qsizetype iloc = childBox(b, meta + 12, metaEnd, "iloc");
    const qsizetype ipco = childBox(b, iprp + 8, iprp + qsizetype(beAt(b, iprp, 4)), "ipco");
    const qsizetype ipma = childBox(b, iprp + 8, iprp + qsizetype(beAt(b, iprp, 4)), "ipma");
    if (meta < 0 || iprp < 0 || pitm < 0 || iloc < 0 || ipco < 0 || ipma < 0 || iloc > ipma ||
        ipco > ipma || b.indexOf("mdat") < metaEnd)
        return {};
    const quint64 primary = beAt(b, pitm + 12, b[pitm + 8] == 0 ? 2 : 4);
    // The property, last in ipco: 270 degrees anticlockwise.
    int properties = 0;
    const qsizetype ipcoEnd = ipco + qsizetype(beAt(b, ipco, 4));
    for (qsizetype at = ipco + 8; at + 8 <= ipcoEnd; at += qsizetype(beAt(b, at, 4)))
        ++properties;
    const QByteArray irot("\0\0\0\x09irot\x03", 9);
    // Its association with the primary picture, essential.
    const int version = b[ipma + 8], wide = b[ipma + 11] & 1;
    qsizetype at = ipma + 16;
    QByteArray association(wide ? 2 : 1, '\0');
    setBeAt(association, 0, wide ? 2 : 1, (wide ? 0x8000u : 0x80u) | quint64(properties + 1));
    const quint64 entries = beAt(b, ipma + 12, 4);
    qsizetype insertAt = -1;
    for (quint64 e = 0; e < entries; ++e) {
        const int idBytes = version < 1 ? 2 : 4;
        const quint64 item = beAt(b, at, idBytes);
        const int count = quint8(b[at + idBytes]);
        if (item == primary) {
            b[at + idBytes] = char(count + 1);
            insertAt = at + idBytes + 1 + count * (wide ? 2 : 1);
        }
        at += idBytes + 1 + count * (wide ? 2 : 1);
    }
    if (insertAt < 0)
        return {};
    const qsizetype grown = irot.size() + association.size();
    // The media data moves by as much: the locations of the items stored there move with it.
    const int ilocVersion = b[iloc + 8];
    const int offsetSize = quint8(b[iloc + 12]) >> 4, lengthSize = b[iloc + 12] & 0xF;
    const int baseSize = quint8(b[iloc + 13]) >> 4,
              indexSize = ilocVersion > 0 ? b[iloc + 13] & 0xF : 0;
    const int countBytes = ilocVersion < 2 ? 2 : 4;
    at = iloc + 14;
    const quint64 items = beAt(b, at, countBytes);
    at += countBytes;
    for (quint64 i = 0; i < items; ++i) {
        at += countBytes; // the item
        int method = 0;
        if (ilocVersion > 0) {
            method = b[at + 1] & 0xF;
            at += 2;
        }
        at += 2; // the data reference
        const qsizetype base = at;
        at += baseSize;
        const quint64 extents = beAt(b, at, 2);
        at += 2;
        for (quint64 x = 0; x < extents; ++x) {
            at += indexSize;
            if (method == 0 && baseSize == 0)
                setBeAt(b, at, offsetSize, beAt(b, at, offsetSize) + quint64(grown));
            at += offsetSize + lengthSize;
        }
        if (method == 0 && baseSize > 0)
            setBeAt(b, base, baseSize, beAt(b, base, baseSize) + quint64(grown));
    }
    b.insert(insertAt, association);
    b.insert(ipcoEnd, irot);
    for (const auto& [box, by] :
         {std::pair{meta, grown}, std::pair{iprp, grown}, std::pair{ipco, irot.size()},
          std::pair{ipma + irot.size(), association.size()}})
        setBeAt(b, box, 4, beAt(b, box, 4) + quint64(by));
    return b;
}

QByteArray jxlClaiming(QSize size) {
    // The codestream's fields are bits, the first in each byte's lowest bit, each field's
    // lowest bit first.
    QByteArray b("\xFF\x0A", 2);
    int used = 8;
    const auto bits = [&](quint32 value, int count) {
        for (int i = 0; i < count; ++i, ++used) {
            if (used == 8) {
                b.append('\0');
                used = 0;
            }
            if (value >> i & 1)
                b[b.size() - 1] = char(b.back() | 1 << used);
        }
    };
    bits(0, 1);                           // not a small picture: sizes of their own
    bits(3, 2);                           // the height in the 30-bit form
    bits(quint32(size.height() - 1), 30); // less one
    bits(0, 3);                           // no ratio: a width of its own
    bits(3, 2);
    bits(quint32(size.width() - 1), 30);
    bits(1, 1); // image metadata: all defaults
    bits(1, 1); // the default transform data
    return b + QByteArray("\x13\x57\x9b\xdf\x02\x46\x8a\xce", 8);
}

QByteArray iconFile(const std::vector<IconEntry>& entries) {
    QByteArray head;
    put16(head, 0);
    put16(head, 1);
    put16(head, quint16(entries.size()));
    QByteArray images;
    const quint32 firstOffset = quint32(6 + 16 * entries.size());
    for (const IconEntry& e : entries) {
        QByteArray dib;
        const int rowBytes = e.bits == 32 ? e.side * 4 : (e.side + 3) & ~3;
        const int maskRow = (e.side + 31) / 32 * 4;
        put32(dib, 40);
        put32(dib, quint32(e.side));
        put32(dib, quint32(e.side * 2)); // the colour bitmap and the mask
        put16(dib, 1);
        put16(dib, quint16(e.bits));
        put32(dib, 0);
        put32(dib, quint32((rowBytes + maskRow) * e.side));
        for (int i = 0; i < 4; ++i)
            put32(dib, 0);
        if (e.bits == 8) {
            put32(dib, e.color.rgb() & 0xFFFFFFu); // palette entry 0: blue, green, red, 0
            dib.append(255 * 4, '\0');
            dib.append(rowBytes * e.side, '\0'); // every pixel colour 0
        } else {
            for (int i = 0; i < e.side * e.side; ++i)
                put32(dib, e.color.rgba()); // BGRA in memory, as QRgb little-endian
        }
        dib.append(maskRow * e.side, '\0'); // all opaque
        const int side = e.side == 256 ? 0 : e.side;
        head.append(char(side));
        head.append(char(side));
        head.append(char(0));
        head.append(char(0));
        put16(head, 1);
        put16(head, quint16(e.bits));
        put32(head, quint32(dib.size()));
        put32(head, firstOffset + quint32(images.size()));
        images.append(dib);
    }
    return head + images;
}

WmfBuilder::WmfBuilder(QRect frame, int unitsPerInch)
    : placeable_(true), frame_(frame), unitsPerInch_(unitsPerInch) {}
WmfBuilder::WmfBuilder() = default;

void WmfBuilder::record(quint16 function, const std::vector<quint16>& params) {
    const quint32 words = quint32(3 + params.size());
    put32(records_, words);
    put16(records_, function);
    for (quint16 p : params)
        put16(records_, p);
    maxRecord_ = std::max(maxRecord_, words);
}

WmfBuilder& WmfBuilder::window(QRect r) {
    record(0x020B, {quint16(r.top()), quint16(r.left())});
    record(0x020C, {quint16(r.height()), quint16(r.width())});
    return *this;
}

WmfBuilder& WmfBuilder::solidBrush(QColor c) {
    const quint32 ref = colorRef(c);
    record(0x02FC, {0, quint16(ref), quint16(ref >> 16), 0});
    record(0x012D, {objects_++});
    return *this;
}

WmfBuilder& WmfBuilder::noPen() {
    record(0x02FA, {5, 0, 0, 0, 0}); // PS_NULL
    record(0x012D, {objects_++});
    return *this;
}

WmfBuilder& WmfBuilder::pen(QColor c, int width) {
    const quint32 ref = colorRef(c);
    record(0x02FA, {0, quint16(width), 0, quint16(ref), quint16(ref >> 16)}); // PS_SOLID
    record(0x012D, {objects_++});
    return *this;
}

WmfBuilder& WmfBuilder::line(QPoint from, QPoint to) {
    record(0x0214, {quint16(from.y()), quint16(from.x())}); // MoveTo
    record(0x0213, {quint16(to.y()), quint16(to.x())});     // LineTo
    return *this;
}

WmfBuilder& WmfBuilder::rectangle(QRect r) {
    record(0x041B,
           {quint16(r.bottom() + 1), quint16(r.right() + 1), quint16(r.top()), quint16(r.left())});
    return *this;
}

WmfBuilder& WmfBuilder::font(const QString& face, int height) {
    QByteArray logFont;
    put16(logFont, quint16(-height)); // character height
    put16(logFont, 0);
    put16(logFont, 0);
    put16(logFont, 0);
    put16(logFont, 400); // normal weight
    logFont.append(8, '\0');
    QByteArray name = face.toLatin1().left(31);
    name.append(32 - name.size(), '\0');
    logFont.append(name);
    std::vector<quint16> params;
    for (qsizetype i = 0; i < logFont.size(); i += 2)
        params.push_back(qFromLittleEndian<quint16>(logFont.constData() + i));
    record(0x02FB, params);
    record(0x012D, {objects_++});
    record(0x0102, {1}); // transparent background
    return *this;
}

WmfBuilder& WmfBuilder::text(QPoint at, const QByteArray& latin1) {
    QByteArray s = latin1;
    if (s.size() % 2 != 0)
        s.append('\0');
    std::vector<quint16> params{quint16(latin1.size())};
    for (qsizetype i = 0; i < s.size(); i += 2)
        params.push_back(qFromLittleEndian<quint16>(s.constData() + i));
    params.push_back(quint16(at.y()));
    params.push_back(quint16(at.x()));
    record(0x0521, params);
    return *this;
}

QByteArray WmfBuilder::bytes() const {
    QByteArray body = records_;
    put32(body, 3); // EOF record
    put16(body, 0);
    QByteArray out;
    if (placeable_) {
        QByteArray p;
        put32(p, 0x9AC6CDD7u);
        put16(p, 0);
        put16(p, quint16(frame_.left()));
        put16(p, quint16(frame_.top()));
        put16(p, quint16(frame_.left() + frame_.width()));
        put16(p, quint16(frame_.top() + frame_.height()));
        put16(p, quint16(unitsPerInch_));
        put32(p, 0);
        quint16 sum = 0;
        for (int i = 0; i < 20; i += 2)
            sum ^= qFromLittleEndian<quint16>(p.constData() + i);
        put16(p, sum);
        out = p;
    }
    QByteArray h;
    put16(h, 1);
    put16(h, 9);
    put16(h, 0x0300);
    put32(h, quint32((18 + body.size()) / 2));
    put16(h, objects_);
    put32(h, std::max<quint32>(maxRecord_, 3));
    put16(h, 0);
    return out + h + body;
}

EmfBuilder::EmfBuilder(QRect bounds, QRect frame, QSize devicePixels, QSize deviceMillimetres)
    : EmfBuilder(bounds.left(), bounds.top(), bounds.right(), bounds.bottom(), frame, devicePixels,
                 deviceMillimetres) {}

EmfBuilder::EmfBuilder(int left, int top, int right, int bottom, QRect frame, QSize devicePixels,
                       QSize deviceMillimetres)
    : bounds_{left, top, right, bottom}, frame_(frame), devicePixels_(devicePixels),
      deviceMillimetres_(deviceMillimetres) {}

void EmfBuilder::record(quint32 type, const std::vector<qint32>& params) {
    put32(records_, type);
    put32(records_, quint32(8 + 4 * params.size()));
    for (qint32 p : params)
        put32(records_, quint32(p));
    ++count_;
}

EmfBuilder& EmfBuilder::solidBrush(QColor c) {
    const qint32 handle = qint32(handles_++);
    record(39, {handle, 0, qint32(colorRef(c)), 0}); // EMR_CREATEBRUSHINDIRECT
    record(37, {handle});                            // EMR_SELECTOBJECT
    return *this;
}

EmfBuilder& EmfBuilder::noPen() {
    record(37, {qint32(0x80000008u)}); // the stock NULL_PEN
    return *this;
}

EmfBuilder& EmfBuilder::rectangle(QRect r) {
    record(43, {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
    return *this;
}

QByteArray EmfBuilder::bytes() const {
    QByteArray eof;
    put32(eof, 14);
    put32(eof, 20);
    put32(eof, 0);
    put32(eof, 16);
    put32(eof, 20);
    QByteArray h;
    const quint32 headerBytes = 88;
    put32(h, 1);
    put32(h, headerBytes);
    for (qint32 v : bounds_)
        put32(h, quint32(v));
    for (int v : {frame_.left(), frame_.top(), frame_.right(), frame_.bottom()})
        put32(h, quint32(v));
    put32(h, 0x464D4520u);
    put32(h, 0x10000u);
    put32(h, quint32(headerBytes + records_.size() + eof.size()));
    put32(h, count_ + 2);
    put16(h, quint16(handles_));
    put16(h, 0);
    put32(h, 0);
    put32(h, 0);
    put32(h, 0);
    put32(h, quint32(devicePixels_.width()));
    put32(h, quint32(devicePixels_.height()));
    put32(h, quint32(deviceMillimetres_.width()));
    put32(h, quint32(deviceMillimetres_.height()));
    return h + records_ + eof;
}

} // namespace lumorra::test
