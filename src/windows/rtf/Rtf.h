#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <QTextFormat>

class QTextCursor;
class QTextDocument;

// Rich Text Format for QTextDocument: a writer whose files word processors open, and a reader
// for the files they write. Covered: paragraphs with alignment, indents and spacing; fonts,
// sizes, bold, italic, underline, strike-out, super- and subscript, text and background colours;
// tabs, line breaks and Unicode text; pictures embedded as PNG or JPEG. Everything else a file
// holds (style sheets, lists, fields' instructions, headers, shapes, metafiles) is skipped.
namespace lumorra::rtf {

// Properties of the image formats of embedded pictures: the picture's encoded bytes, kept as
// they came so that saving writes them unchanged, and their type, "png" or "jpeg".
inline constexpr int PictureData = QTextFormat::UserProperty + 0x5254;
inline constexpr int PictureType = QTextFormat::UserProperty + 0x5255;

// The whole document as RTF (7-bit text: everything else is escaped).
QByteArray write(const QTextDocument& document);

// Replaces the document's content with the RTF text. Never throws on malformed input: what can
// be read is read, unknown control words and destinations are skipped.
void read(const QByteArray& data, QTextDocument& document);

// Whether data starts as an RTF file does ("{\rtf", after blanks or a byte order mark).
bool isRtf(const QByteArray& data);

// Inserts a picture at the cursor, shown at displaySize (pixels; the image's own size when
// empty). encoded and type ("png" or "jpeg") are what a save writes; the image is what is shown.
void insertPicture(QTextCursor& cursor, const QImage& image, const QByteArray& encoded,
                   const QString& type, QSizeF displaySize = QSizeF());

} // namespace lumorra::rtf
