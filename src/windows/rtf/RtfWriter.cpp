#include "CodePage.h"
#include "Rtf.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontInfo>
#include <QImage>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>

#include <cmath>

namespace lumorra::rtf {
namespace {

constexpr double TwipsPerPixel = 15.0; // 1440 twips per inch at 96 pixels per inch

int twips(double pixels) {
    return static_cast<int>(std::lround(pixels * TwipsPerPixel));
}

void appendNumber(QByteArray& out, const char* word, long long value) {
    out += '\\';
    out += word;
    out += QByteArray::number(value);
}

// Text as RTF: control characters escaped, everything beyond ASCII as \uN with a code page
// 1252 byte (or "?") for readers that know no Unicode (the document says \uc1).
void appendText(QByteArray& out, QStringView text) {
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        switch (c) {
        case u'\\':
            out += "\\\\";
            continue;
        case u'{':
            out += "\\{";
            continue;
        case u'}':
            out += "\\}";
            continue;
        case u'\t':
            out += "\\tab ";
            continue;
        case 0x2028:
            out += "\\line ";
            continue;
        case 0x00A0:
            out += "\\~";
            continue;
        case 0x00AD:
            out += "\\-";
            continue;
        case 0x2011:
            out += "\\_";
            continue;
        case 0xFFFC:
            continue; // an object without a picture
        default:
            break;
        }
        if (c < 0x20 || c == 0x2029)
            continue;
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        appendNumber(out, "u", static_cast<short>(c));
        const int byte = cp1252Byte(c);
        if (byte >= 0) {
            static const char hex[] = "0123456789abcdef";
            out += "\\'";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += '?';
        }
    }
}

class Writer {
public:
    explicit Writer(const QTextDocument& document) : doc_(document) {
        defaultFont_ = doc_.defaultFont();
        fontIndex(defaultFont_.family(), QFontInfo(defaultFont_).fixedPitch());
    }

    QByteArray run() {
        for (QTextBlock block = doc_.begin(); block.isValid(); block = block.next())
            writeBlock(block);
        QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (int i = 0; i < fonts_.size(); ++i) {
            out += "{\\f" + QByteArray::number(i) + (fixed_[i] ? "\\fmodern" : "\\fswiss") +
                   "\\fcharset0 ";
            // A ";" ends the name in the table.
            appendText(out, QString(fonts_[i]).remove(QLatin1Char(';')));
            out += ";}";
        }
        out += "}\n{\\colortbl ;";
        for (const QColor& c : colors_) {
            out += "\\red" + QByteArray::number(c.red()) + "\\green" +
                   QByteArray::number(c.green()) + "\\blue" + QByteArray::number(c.blue()) + ';';
        }
        out += "}\n{\\*\\generator ";
        QString generator = QCoreApplication::applicationName();
        if (!QCoreApplication::applicationVersion().isEmpty())
            generator += QLatin1Char(' ') + QCoreApplication::applicationVersion();
        appendText(out, generator);
        out += ";}\n\\viewkind4\n";
        out += body_;
        out += "}\n";
        return out;
    }

private:
    int fontIndex(const QString& family, bool fixed) {
        const QString name = family.isEmpty() ? defaultFont_.family() : family;
        qsizetype i = fonts_.indexOf(name);
        if (i < 0) {
            fonts_.push_back(name);
            fixed_.push_back(fixed);
            i = fonts_.size() - 1;
        }
        return static_cast<int>(i);
    }

    int colorIndex(const QColor& color) {
        const QColor c = color.toRgb();
        for (int i = 0; i < colors_.size(); ++i) {
            if (colors_[i].rgb() == c.rgb())
                return i + 1;
        }
        colors_.push_back(c);
        return static_cast<int>(colors_.size());
    }

    // The character properties of a format, each written (nothing is left to the reader's
    // defaults except the colours' "automatic").
    QByteArray characterProperties(const QTextCharFormat& format) {
        const QFont font = format.font().resolve(defaultFont_);
        QByteArray out;
        appendNumber(out, "f", fontIndex(font.family(), QFontInfo(font).fixedPitch()));
        double points = font.pointSizeF();
        if (points <= 0 && font.pixelSize() > 0)
            points = font.pixelSize() * 72.0 / 96.0;
        if (points <= 0)
            points = 12;
        appendNumber(out, "fs", std::lround(points * 2));
        if (font.bold())
            out += "\\b";
        if (font.italic())
            out += "\\i";
        if (font.underline())
            out += "\\ul";
        if (font.strikeOut())
            out += "\\strike";
        if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            out += "\\super";
        else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
            out += "\\sub";
        if (format.hasProperty(QTextFormat::ForegroundBrush) &&
            format.foreground().style() != Qt::NoBrush)
            appendNumber(out, "cf", colorIndex(format.foreground().color()));
        if (format.hasProperty(QTextFormat::BackgroundBrush) &&
            format.background().style() != Qt::NoBrush)
            appendNumber(out, "highlight", colorIndex(format.background().color()));
        return out;
    }

    QByteArray paragraphProperties(const QTextBlockFormat& format) {
        QByteArray out = "\\pard\\plain";
        const Qt::Alignment align = format.alignment() & Qt::AlignHorizontal_Mask;
        if (align & Qt::AlignJustify)
            out += "\\qj";
        else if (align & Qt::AlignHCenter)
            out += "\\qc";
        else if (align & Qt::AlignRight)
            out += "\\qr";
        else
            out += "\\ql";
        const double left = format.leftMargin() + format.indent() * doc_.indentWidth();
        if (left != 0)
            appendNumber(out, "li", twips(left));
        if (format.rightMargin() != 0)
            appendNumber(out, "ri", twips(format.rightMargin()));
        if (format.textIndent() != 0)
            appendNumber(out, "fi", twips(format.textIndent()));
        if (format.topMargin() != 0)
            appendNumber(out, "sb", twips(format.topMargin()));
        if (format.bottomMargin() != 0)
            appendNumber(out, "sa", twips(format.bottomMargin()));
        return out;
    }

    void writeBlock(const QTextBlock& block) {
        body_ += paragraphProperties(block.blockFormat());
        // The paragraph mark's own font, which sizes an empty paragraph.
        body_ += characterProperties(block.charFormat());
        body_ += ' ';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) {
                // One fragment may hold several pictures in a row.
                for (int i = 0; i < fragment.length(); ++i)
                    writePicture(format.toImageFormat());
                continue;
            }
            body_ += "{\\plain" + characterProperties(format) + ' ';
            appendText(body_, fragment.text());
            body_ += '}';
        }
        body_ += "\\par\n";
    }

    // The picture's own bytes when it came as PNG or JPEG, else the shown image as PNG.
    void writePicture(const QTextImageFormat& format) {
        QByteArray data = format.property(PictureData).toByteArray();
        QString type = format.stringProperty(PictureType);
        QImage image;
        if (data.isEmpty() || (type != QLatin1String("png") && type != QLatin1String("jpeg"))) {
            const QVariant resource =
                doc_.resource(QTextDocument::ImageResource, QUrl(format.name()));
            if (resource.userType() == QMetaType::QImage)
                image = resource.value<QImage>();
            else if (resource.userType() == QMetaType::QPixmap)
                image = resource.value<QPixmap>().toImage();
            else if (resource.userType() == QMetaType::QByteArray)
                image = QImage::fromData(resource.toByteArray());
            if (image.isNull())
                return;
            data.clear();
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            if (!image.save(&buffer, "PNG"))
                return;
            type = QStringLiteral("png");
        } else {
            image = QImage::fromData(data);
        }
        QSizeF shown(format.width(), format.height());
        if (shown.width() <= 0 || shown.height() <= 0)
            shown = image.size();
        body_ += "{\\pict";
        body_ += type == QLatin1String("png") ? "\\pngblip" : "\\jpegblip";
        appendNumber(body_, "picw", image.width());
        appendNumber(body_, "pich", image.height());
        appendNumber(body_, "picwgoal", twips(shown.width()));
        appendNumber(body_, "pichgoal", twips(shown.height()));
        body_ += '\n';
        const QByteArray hex = data.toHex();
        for (qsizetype i = 0; i < hex.size(); i += 128) {
            body_ += hex.mid(i, 128);
            body_ += '\n';
        }
        body_ += '}';
    }

    const QTextDocument& doc_;
    QFont defaultFont_;
    QStringList fonts_;
    QList<bool> fixed_;
    QList<QColor> colors_;
    QByteArray body_;
};

} // namespace

QByteArray write(const QTextDocument& document) {
    return Writer(document).run();
}

} // namespace lumorra::rtf
