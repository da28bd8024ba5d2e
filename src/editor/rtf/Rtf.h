#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextFormat>

class QTextCursor;
class QTextDocument;

namespace lumorra::picture {
class DecoderPool;
}

// Rich Text Format for QTextDocument: a writer whose files word processors open, and a reader
// for the files they write. Covered: paragraphs with alignment, indents and spacing; fonts,
// sizes, bold, italic, underline, strike-out, super- and subscript, text and background colours;
// tabs, line breaks and Unicode text; tables (merged cells, borders, shading, nested tables);
// bulleted and numbered lists; links; pictures embedded as PNG, JPEG, WMF or EMF (drawn by the
// program's metafile readers), device-independent bitmaps. Headers, footers, the document's
// information and its page size and margins are kept as they came and written back; what else a
// file holds (footnotes, comments, shapes, other fields, sections) is dropped, and the reader
// says so.
namespace lumorra::rtf {

// Properties of the image formats of embedded pictures: the picture's encoded bytes, kept as
// they came so that saving writes them unchanged, and their type, "png", "jpeg", "wmf" or "emf".
inline constexpr int PictureData = QTextFormat::UserProperty + 0x5254;
inline constexpr int PictureType = QTextFormat::UserProperty + 0x5255;
// For metafiles ("wmf", "emf"): the picture's extent as the file gave it (\picw, \pich, a QSize)
// and the mapping mode of a WMF (\wmetafileN).
inline constexpr int PictureExtent = QTextFormat::UserProperty + 0x5256;
inline constexpr int PictureMapMode = QTextFormat::UserProperty + 0x5257;

// Properties of the root frame's format: RTF a read document held that the editor does not
// show, kept as it came and written back in its place: page size and margins, the document's
// information group, its headers and footers.
inline constexpr int KeptSettings = QTextFormat::UserProperty + 0x5258;
inline constexpr int KeptInfo = QTextFormat::UserProperty + 0x5259;
inline constexpr int KeptHeaders = QTextFormat::UserProperty + 0x525A;

// What a read dropped, as words for a question ("footnotes", "comments", "shapes", "fields",
// "section layout", "embedded objects", "headers and footers"), in that order; empty when
// nothing was.
struct ReadReport {
    QStringList dropped;
};

// The whole document as RTF (7-bit text: everything else is escaped; what a read kept as it
// came is written as it came). Pictures the document holds as bytes are decoded by `pool`.
QByteArray write(picture::DecoderPool& pool, const QTextDocument& document);

// Replaces the document's content with the RTF text. Never throws on malformed input: what can
// be read is read, unknown control words and destinations are skipped. Pictures are decoded,
// and metafiles drawn, in a worker of `pool`; a metafile that cannot be drawn shows as an empty
// frame of its size.
ReadReport read(picture::DecoderPool& pool, const QByteArray& data, QTextDocument& document);

// Whether data starts as an RTF file does ("{\rtf", after blanks or a byte order mark).
bool isRtf(const QByteArray& data);

// A picture's bytes the document holds (PNG, JPEG, BMP, ...; no metafile), decoded in a decoder
// worker as a picture file's are. Null for bytes that are no sound picture.
QImage decodedPicture(picture::DecoderPool& pool, const QByteArray& bytes);

// Inserts a picture at the cursor, shown at displaySize (pixels; the image's own size when
// empty). encoded and type ("png" or "jpeg") are what a save writes; the image is what is shown.
void insertPicture(QTextCursor& cursor, const QImage& image, const QByteArray& encoded,
                   const QString& type, QSizeF displaySize = QSizeF());

} // namespace lumorra::rtf
