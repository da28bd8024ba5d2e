#include "TextFileFormat.h"

#include "editor/rtf/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextDocument>

#include <array>

namespace lumorra {
namespace {

using Encoding = TextFileFormat::Encoding;

const QByteArray Utf8Mark("\xEF\xBB\xBF");
const QByteArray Utf16LEMark("\xFF\xFE");
const QByteArray Utf16BEMark("\xFE\xFF");

// Decodes all of the bytes; a byte order mark among them is a character like any other.
QString decodeAll(QByteArrayView bytes, QStringConverter::Encoding encoding, bool* failed) {
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless |
                                         QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    *failed = decoder.hasError();
    return text;
}

QByteArray encode(const QString& text, Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8:
        return text.toUtf8();
    case Encoding::Utf8Bom:
        return Utf8Mark + text.toUtf8();
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
        const bool le = encoding == Encoding::Utf16LE;
        QStringEncoder encoder(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                               QStringConverter::Flag::Stateless);
        return (le ? Utf16LEMark : Utf16BEMark) + QByteArray(encoder.encode(text));
    }
    case Encoding::CodePage1252:
        break;
    }
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        const int byte = rtf::cp1252Byte(c.unicode());
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

// The line end most lines have: "\r\n", "\n" or "\r"; the first of them on a tie.
QString mostCommonLineEnd(const QString& text) {
    const std::array<QString, 3> ends = {QStringLiteral("\r\n"), QStringLiteral("\n"),
                                         QStringLiteral("\r")};
    std::array<qsizetype, 3> count{}, first{-1, -1, -1};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
        const int kind = crlf ? 0 : text[i] == u'\n' ? 1 : 2;
        i += crlf ? 1 : 0;
        if (count[kind]++ == 0)
            first[kind] = i;
    }
    int best = 1; // no line end at all: the one of a new document
    for (int k = 0; k < 3; ++k) {
        if (count[k] > count[best] ||
            (count[k] > 0 && count[k] == count[best] && first[k] < first[best]))
            best = k;
    }
    return ends[best];
}

} // namespace

DecodedText TextFileFormat::read(const QByteArray& data) {
    DecodedText read;
    bool failed = false;
    QString raw;
    if (data.startsWith(Utf16LEMark) || data.startsWith(Utf16BEMark)) {
        const bool le = data.startsWith(Utf16LEMark);
        read.format.encoding = le ? Encoding::Utf16LE : Encoding::Utf16BE;
        raw = decodeAll(QByteArrayView(data).sliced(2),
                        le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, &failed);
    } else {
        raw = decodeAll(data, QStringConverter::Utf8, &failed);
        if (failed) {
            read.format.encoding = Encoding::CodePage1252;
            raw = rtf::decodeCodePage(data, 1252);
        } else if (data.startsWith(Utf8Mark)) {
            read.format.encoding = Encoding::Utf8Bom;
            raw.remove(0, 1);
        }
    }
    // The decoders put a replacement character for what they cannot read, and do not always
    // say so: the bytes written back show whether the text is the file's.
    read.exact = !raw.contains(QChar(0)) && encode(raw, read.format.encoding) == data;
    read.format.lineEnd = mostCommonLineEnd(raw);
    read.text = raw.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                    .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return read;
}

QByteArray TextFileFormat::write(const QString& text) const {
    if (lineEnd == QLatin1String("\n"))
        return encode(text, encoding);
    return encode(QString(text).replace(QLatin1Char('\n'), lineEnd), encoding);
}

TextFileFormat TextFileFormat::holding(const QString& text) const {
    if (encoding != Encoding::CodePage1252)
        return *this;
    for (QChar c : text) {
        if (rtf::cp1252Byte(c.unicode()) < 0)
            return TextFileFormat{Encoding::Utf8Bom, lineEnd};
    }
    return *this;
}

QString plainTextOf(const QTextDocument& document) {
    QString text = document.toRawText();
    for (QChar& c : text) {
        switch (c.unicode()) {
        case QChar::ParagraphSeparator:
        case QChar::LineSeparator:
        case 0xFDD0: // the start and end of a table or frame
        case 0xFDD1:
            c = QLatin1Char('\n');
            break;
        default:
            break;
        }
    }
    text.remove(QChar(QChar::ObjectReplacementCharacter));
    return text;
}

} // namespace lumorra
