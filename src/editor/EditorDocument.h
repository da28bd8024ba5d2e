#pragma once

#include "TextFileFormat.h"

#include <QString>
#include <QTextCharFormat>

class QTextCursor;
class QTextDocument;

namespace lumorra {

namespace picture {
class DecoderPool;
}

// The text editor's open document, apart from any window: its text (a QTextDocument the
// editing area shows), its state (path, changed mark, type), how its plain text was stored in
// the file it came from, and what the editor could not keep of that file.
class EditorDocument {
public:
    static const QString ChangedMark; // "1"
    static const QString PlainText;   // "txt"
    static const QString RichText;    // "rtf"

    // Pictures are decoded, and rich text's pictures read and written, with `pool`.
    EditorDocument(QTextDocument& text, picture::DecoderPool& pool);

    // The state: path (empty for a new document), changed mark ("1" or empty) and type ("txt"
    // or "rtf"; empty until the editor is first opened).
    QString path() const { return path_; }
    QString changedMark() const { return changed_; }
    QString type() const { return type_; }
    bool isChanged() const { return changed_ == ChangedMark; }
    bool isRichText() const { return type_ == RichText; }
    // Sets the state as it is given.
    void setState(const QString& path, const QString& changed, const QString& type);
    void setType(const QString& type) { type_ = type; }
    void markChanged() { changed_ = ChangedMark; }
    void markUnchanged() { changed_.clear(); }
    // A new document: no path, unchanged, plain text whose lines will end in "\n". The text
    // stays as it is.
    void setNew();
    // The document is now this file, as plain or rich text, unchanged.
    void setFile(const QString& path, bool richText);

    // Reads a file into the text as rich text or, when it is to be plain text or is no rich
    // text, as plain text all in plainFormat (the editing area gives the format at its cursor,
    // as typing there would take). True when it was read as rich text. Throws Error; a file
    // that cannot be read leaves the text and all the state as they were.
    bool load(const QString& path, bool richText, const QTextCharFormat& plainFormat = {});
    // Writes the text to a file as plain text or rich text. Plain text is written in the
    // encoding and with the line ends it was read in (see TextFileFormat). The write replaces
    // the file only when it is complete; a read-only file stays as it is. Throws Error.
    void save(const QString& path, bool richText);

    // Appends plain text at the end, in the default font and a plain paragraph of its own (the
    // last one when that is empty), keeping the text before it with its formatting, tables,
    // lists and pictures (an edit like any other).
    void append(const QString& text);
    // Embeds a picture file at the cursor, a cursor in the text (PNG and JPEG as they are, other
    // pictures as PNG), shown at its natural size or narrower to be at most widest wide. Throws
    // Error for a file that is no picture.
    void insertPicture(QTextCursor& cursor, const QString& path, double widest);

    // The question to ask before saving over this path, when it is the file the text was read
    // from and the read dropped what the editor cannot hold or did not read the file exactly;
    // empty when the save loses nothing.
    QString lossQuestion(const QString& path) const;
    // The text no longer comes from the file the loss question is about.
    void forgetLoss() { lossQuestion_.clear(); }

private:
    QTextDocument& text_;
    picture::DecoderPool& pool_;
    QString path_;
    QString changed_;
    QString type_;
    // The question before a save over the file the text was read from, when the editor could
    // not keep all of it (empty when it could), and that file.
    QString lossQuestion_;
    QString lossFrom_;
    // How the plain text was stored in the file it was read from.
    TextFileFormat format_;
};

} // namespace lumorra
