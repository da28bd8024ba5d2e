#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace lumorra {

struct DecodedText;

// How a plain-text file stores its text: the encoding and the line ends. Reading a file finds
// them and writing gives them back, so a file read and written again unchanged keeps its bytes.
struct TextFileFormat {
    enum class Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, CodePage1252 };
    Encoding encoding = Encoding::Utf8;
    // "\r\n", "\n" or "\r"; a new document's lines end in "\n".
    QString lineEnd = QStringLiteral("\n");

    // UTF-16 when the bytes start with its byte order mark; otherwise UTF-8 (with or without its
    // mark) when they are valid UTF-8, else code page 1252. A file whose lines end in different
    // ways gets the line end most of its lines have (the one that comes first on a tie).
    static DecodedText read(const QByteArray& data);
    // The bytes of a text whose lines end in "\n". A character this encoding lacks is written
    // as "?": see holding().
    QByteArray write(const QString& text) const;
    // This format, or, when the text has a character that code page 1252 lacks, UTF-8 with its
    // byte order mark and the same line ends, so that no character is lost.
    TextFileFormat holding(const QString& text) const;

    bool operator==(const TextFileFormat&) const = default;
};

struct DecodedText {
    QString text; // lines end in "\n"
    TextFileFormat format;
    // The text, written in the format, gives the bytes read (line ends aside where a file mixes
    // them). Not so for bytes that do not decode cleanly: broken UTF-16 (an odd number of
    // bytes, a lone surrogate) or a NUL character, which no text file holds.
    bool exact = true;
};

// A document's text as a plain-text file holds it: one "\n" after each paragraph but the last
// and between table cells, no-break spaces kept, pictures and other objects left out.
QString plainTextOf(const QTextDocument& document);

} // namespace lumorra
