#include "PictureReader.h"

#include "ReaderState.h"
#include "Rtf.h"
#include "picture/PictureLoader.h"

#include <QColor>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <cctype>

namespace lumorra::rtf {
namespace {

// The picture in `data` when it is one of `format`.
QImage decoded(picture::DecoderPool& pool, const QByteArray& data, QLatin1String format) {
    try {
        const Picture picture = decodePicture(pool, data, QSize(), MetafilePolicy::Refuse);
        return picture.format == format ? picture.image : QImage();
    } catch (...) {
        return QImage();
    }
}

// A device-independent bitmap (a BITMAPINFO and its bits, as \dibitmap holds it) as an image.
QImage dibImage(picture::DecoderPool& pool, const QByteArray& dib) {
    if (dib.size() < 16)
        return {};
    const auto u32 = [&](int at) {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(dib[at + i]);
        return v;
    };
    const quint32 headerSize = u32(0);
    if (headerSize < 12 || headerSize > static_cast<quint32>(dib.size()))
        return {};
    quint32 colours = 0, bits = 0, compression = 0;
    if (headerSize == 12) {
        bits = static_cast<unsigned char>(dib[10]) | (static_cast<unsigned char>(dib[11]) << 8);
        if (bits <= 8)
            colours = 1u << bits;
        colours *= 3;
    } else {
        if (dib.size() < 40)
            return {};
        bits = static_cast<unsigned char>(dib[14]) | (static_cast<unsigned char>(dib[15]) << 8);
        compression = u32(16);
        colours = u32(32);
        if (colours == 0 && bits <= 8)
            colours = 1u << bits;
        colours = std::min<quint32>(colours, 256) * 4;
        if (headerSize == 40 && (compression == 3 || compression == 6))
            colours += compression == 3 ? 12 : 16;
    }
    // A BMP file is the bitmap behind a file header that says where its bits start.
    QByteArray file("BM");
    const quint32 size = 14 + dib.size();
    const quint32 offset = 14 + headerSize + colours;
    for (quint32 v : {size, quint32(0), offset})
        for (int i = 0; i < 4; ++i)
            file += static_cast<char>((v >> (8 * i)) & 0xFF);
    file += dib;
    return decoded(pool, file, QLatin1String("bmp"));
}

// A device-dependent bitmap (\wbitmap): rows of bits, monochrome or 24 or 32 bits a pixel.
QImage wbitmapImage(const QByteArray& bits, int width, int height, int bitsPerPixel,
                    int widthBytes) {
    if (width <= 0 || height <= 0 || width > 20000 || height > 20000)
        return {};
    const qint64 least = (qint64(width) * bitsPerPixel + 15) / 16 * 2;
    const qint64 stride = widthBytes > 0 ? widthBytes : least;
    if (stride < (qint64(width) * bitsPerPixel + 7) / 8 || stride * height > bits.size())
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(bits.constData() + stride * y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            switch (bitsPerPixel) {
            case 1:
                out[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
                break;
            case 24:
                out[x] = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
                break;
            case 32:
                out[x] = qRgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
                break;
            default:
                return {};
            }
        }
    }
    return image;
}

// An empty frame, shown where a picture cannot be drawn.
QImage emptyFrame(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return image;
}

// A name of its own in the document: the pictures are the document's resources.
QString newPictureName(QTextDocument& doc) {
    const int number = doc.property("lumorraPictures").toInt() + 1;
    doc.setProperty("lumorraPictures", number);
    return QStringLiteral("lumorra-picture:%1").arg(number);
}

} // namespace

void PictureReader::word(PictureWord word, int p) {
    // The kinds \pngblip to \pmmetafile name; the numbers \picw to \wbmwidthbytes give.
    static constexpr const char* Kinds[] = {"png", "jpeg",    "emf",     "wmf",
                                            "dib", "wbitmap", "macpict", "pmmetafile"};
    static constexpr int State::*Numbers[] = {
        &State::picw,   &State::pich,   &State::goalw,        &State::goalh,
        &State::scalex, &State::scaley, &State::bitsPerPixel, &State::widthBytes};
    static_assert(std::size(Kinds) == static_cast<int>(PictureWord::Width));
    static_assert(std::size(Numbers) == static_cast<int>(PictureWord::WidthBytes) -
                                            static_cast<int>(PictureWord::Width) + 1);
    const int i = static_cast<int>(word);
    if (word >= PictureWord::Width) {
        picture_.*Numbers[i - static_cast<int>(PictureWord::Width)] = p;
        return;
    }
    picture_.type = QString::fromLatin1(Kinds[i]);
    if (word == PictureWord::Wmf)
        picture_.mapMode = p;
}

void PictureReader::text(char c) {
    if (std::isxdigit(static_cast<unsigned char>(c)))
        picture_.hex += c;
}

// The size a picture is shown at: its goal size (twips) scaled, else `natural`.
QSizeF PictureReader::shownSize(QSizeF natural) const {
    QSizeF shown = natural;
    if (picture_.goalw > 0 && picture_.goalh > 0)
        shown = QSizeF(picture_.goalw / TwipsPerPixel, picture_.goalh / TwipsPerPixel);
    if (picture_.scalex > 0 && picture_.scaley > 0)
        shown = QSizeF(shown.width() * picture_.scalex / 100.0,
                       shown.height() * picture_.scaley / 100.0);
    if (shown.width() < 1 || shown.height() < 1 || shown.width() > 20000 || shown.height() > 20000)
        shown = natural;
    return shown;
}

ReadPicture PictureReader::finish() const {
    const QString& type = picture_.type;
    const QByteArray data =
        picture_.binary.isEmpty() ? QByteArray::fromHex(picture_.hex) : picture_.binary;
    if (type == QLatin1String("wmf") || type == QLatin1String("emf"))
        return metafile(data);
    ReadPicture out;
    out.data = data;
    out.type = type;
    if (type == QLatin1String("png") || type == QLatin1String("jpeg")) {
        out.image =
            decoded(pool_, data, QLatin1String(type == QLatin1String("png") ? "png" : "jpeg"));
    } else if (type == QLatin1String("dib")) {
        out.image = dibImage(pool_, data);
        out.data.clear(); // saved as PNG
    } else if (type == QLatin1String("wbitmap")) {
        out.image = wbitmapImage(data, picture_.picw, picture_.pich, picture_.bitsPerPixel,
                                 picture_.widthBytes);
        out.data.clear();
    }
    if (out.image.isNull())
        return {}; // pictures of other kinds, and broken ones, are skipped
    if (out.data.isEmpty())
        out.type = QStringLiteral("png");
    out.shown = shownSize(out.image.size());
    return out;
}

// A metafile, drawn at the size it is shown at; an empty frame where it cannot be drawn.
ReadPicture PictureReader::metafile(const QByteArray& data) const {
    // Without a goal size the extent tells it, in hundredths of a millimetre.
    QSizeF natural(picture_.picw * 96.0 / 2540.0, picture_.pich * 96.0 / 2540.0);
    if (natural.width() < 1 || natural.height() < 1 || natural.width() > 20000 ||
        natural.height() > 20000)
        natural = QSizeF(96, 96);
    ReadPicture out;
    out.shown = shownSize(natural);
    const QSize raster = out.shown.toSize().boundedTo(QSize(4096, 4096)).expandedTo(QSize(1, 1));
    try {
        out.image = drawMetafile(pool_, data, picture_.type, raster);
    } catch (...) {
        out.image = QImage();
    }
    if (out.image.isNull())
        out.image = emptyFrame(raster);
    out.data = data;
    out.type = picture_.type;
    out.metafile = true;
    out.extent = QSize(picture_.picw, picture_.pich);
    out.mapMode = picture_.mapMode;
    return out;
}

void PictureReader::insert(QTextCursor& cursor, const ReadPicture& picture) {
    if (!picture.metafile) {
        insertPicture(cursor, picture.image, picture.data, picture.type, picture.shown);
        return;
    }
    QTextDocument& doc = *cursor.document();
    const QString name = newPictureName(doc);
    doc.addResource(QTextDocument::ImageResource, QUrl(name), picture.image);
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(picture.shown.width());
    format.setHeight(picture.shown.height());
    format.setProperty(PictureData, picture.data);
    format.setProperty(PictureType, picture.type);
    format.setProperty(PictureExtent, picture.extent);
    format.setProperty(PictureMapMode, picture.mapMode);
    cursor.insertImage(format);
}

QImage decodedPicture(picture::DecoderPool& pool, const QByteArray& bytes) {
    try {
        return decodePicture(pool, bytes, QSize(), MetafilePolicy::Refuse).image;
    } catch (...) {
        return QImage();
    }
}

void insertPicture(QTextCursor& cursor, const QImage& image, const QByteArray& encoded,
                   const QString& type, QSizeF displaySize) {
    QTextDocument* doc = cursor.document();
    if (!doc || image.isNull())
        return;
    const QString name = newPictureName(*doc);
    if (displaySize.isEmpty())
        displaySize = image.size();
    // What is shown needs no more pixels than twice the shown size (for high-density
    // screens); the encoded bytes keep the whole picture for saving.
    QImage shown = image;
    const QSize most = (displaySize * 2).toSize().expandedTo(QSize(1, 1));
    if (image.width() > most.width() || image.height() > most.height())
        shown = image.scaled(most, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    doc->addResource(QTextDocument::ImageResource, QUrl(name), shown);
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(displaySize.width());
    format.setHeight(displaySize.height());
    format.setProperty(PictureData, encoded);
    format.setProperty(PictureType, type);
    cursor.insertImage(format);
}

} // namespace lumorra::rtf
