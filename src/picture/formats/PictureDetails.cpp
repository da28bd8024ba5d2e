#include "PictureDetails.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cmath>
#include <cstdlib>
#include <ctime>

// libexiv2 0.27 hands out its pictures in std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace lumorra::picture {
namespace {

// A field's longest text: what a file claims beyond that is cut.
constexpr int FieldChars = 120;

// The text of a value, as one line of printable characters.
QString clean(const std::string& text) {
    QString s = QString::fromUtf8(text.data(), qsizetype(text.size())).left(FieldChars);
    for (QChar& c : s)
        if (!c.isPrint())
            c = QLatin1Char(' ');
    return s.simplified();
}

const Exiv2::Exifdatum* find(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() || it->count() == 0 ? nullptr : &*it;
}

QString text(const Exiv2::ExifData& exif, const char* key) {
    const Exiv2::Exifdatum* d = find(exif, key);
    return d != nullptr ? clean(d->toString()) : QString();
}

// The rational value `n` of a key; NaN where there is none or it divides by 0.
double number(const Exiv2::ExifData& exif, const char* key, long n = 0) {
    const Exiv2::Exifdatum* d = find(exif, key);
    if (d == nullptr || d->count() <= n)
        return std::nan("");
    const Exiv2::Rational r = d->toRational(n);
    return r.second != 0 ? double(r.first) / r.second : std::nan("");
}

QString decimal(double value, int decimals) {
    QString s = QString::number(value, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s;
}

QString camera(const Exiv2::ExifData& exif) {
    const QString make = text(exif, "Exif.Image.Make"), model = text(exif, "Exif.Image.Model");
    if (make.isEmpty() || model.startsWith(make, Qt::CaseInsensitive))
        return model;
    return model.isEmpty() ? make : make + QLatin1Char(' ') + model;
}

QString exposure(double seconds) {
    if (!(seconds > 0) || seconds > 1e6)
        return {};
    if (seconds < 1)
        return QStringLiteral("1/%1 s").arg(decimal(1 / seconds, 1 / seconds < 10 ? 1 : 0));
    return decimal(seconds, 1) + QStringLiteral(" s");
}

QString aperture(const Exiv2::ExifData& exif) {
    double f = number(exif, "Exif.Photo.FNumber");
    if (!(f > 0))
        f = std::pow(2, number(exif, "Exif.Photo.ApertureValue") / 2); // APEX
    return f > 0 && f < 1e4 ? QStringLiteral("f/") + decimal(f, 1) : QString();
}

QString iso(const Exiv2::ExifData& exif) {
    const Exiv2::Exifdatum* d = find(exif, "Exif.Photo.ISOSpeedRatings");
    const long value = d != nullptr ? d->toLong(0) : 0;
    return value > 0 ? QString::number(value) : QString();
}

// The date and time as told, "yyyy-MM-ddTHH:mm:ss", in no time zone (the worker reads none).
QString taken(const Exiv2::ExifData& exif) {
    const QString t = text(exif, "Exif.Photo.DateTimeOriginal");
    const QDate date = QDate::fromString(t.left(10), QStringLiteral("yyyy:MM:dd"));
    const QTime time = QTime::fromString(t.mid(11, 8), QStringLiteral("HH:mm:ss"));
    return date.isValid() && time.isValid()
               ? date.toString(Qt::ISODate) + QLatin1Char('T') + time.toString(Qt::ISODate)
               : QString();
}

// One coordinate in degrees, from degrees, minutes and seconds; NaN where there is none.
double degrees(const Exiv2::ExifData& exif, const char* key) {
    double sum = 0;
    for (long i = 0; i < 3; ++i) {
        const double part = number(exif, key, i);
        if (std::isnan(part))
            return i == 0 ? part : sum; // some writers give degrees alone
        sum += part / std::pow(60, double(i));
    }
    return sum;
}

QString position(const Exiv2::ExifData& exif) {
    const double lat = degrees(exif, "Exif.GPSInfo.GPSLatitude");
    const double lon = degrees(exif, "Exif.GPSInfo.GPSLongitude");
    if (!(lat >= 0 && lat <= 90 && lon >= 0 && lon <= 180))
        return {};
    const QString ns = text(exif, "Exif.GPSInfo.GPSLatitudeRef").startsWith(QLatin1Char('S'))
                           ? QStringLiteral("S")
                           : QStringLiteral("N");
    const QString ew = text(exif, "Exif.GPSInfo.GPSLongitudeRef").startsWith(QLatin1Char('W'))
                           ? QStringLiteral("W")
                           : QStringLiteral("E");
    return QStringLiteral("%1\u00B0 %2, %3\u00B0 %4")
        .arg(QString::number(lat, 'f', 5), ns, QString::number(lon, 'f', 5), ew);
}

} // namespace

void prepareDetailsReading() {
    // Without TZ, glibc looks at /etc/localtime again at each localtime(); with TZ naming it,
    // it reads the zone once, here, and later calls find it read.
    ::setenv("TZ", ":/etc/localtime", 0);
    ::tzset();
}

QByteArray readPictureDetails(const QByteArray& bytes) {
    try {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::enableBMFF(true); // HEIF, AVIF, CR3
        const Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
        if (image.get() == nullptr)
            return {};
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        if (exif.empty())
            return {};
        const double focal = number(exif, "Exif.Photo.FocalLength");
        const QStringList fields{
            camera(exif),
            text(exif, "Exif.Photo.LensModel"),
            focal > 0 && focal < 1e5 ? decimal(focal, 1) + QStringLiteral(" mm") : QString(),
            exposure(number(exif, "Exif.Photo.ExposureTime")),
            aperture(exif),
            iso(exif),
            taken(exif),
            position(exif),
        };
        for (const QString& f : fields)
            if (!f.isEmpty())
                return fields.join(QLatin1Char('\n')).toUtf8();
        return {};
    } catch (...) {
        // A damaged or unknown file: no details.
        return {};
    }
}

} // namespace lumorra::picture

#pragma GCC diagnostic pop
