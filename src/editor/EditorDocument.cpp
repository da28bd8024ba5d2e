#include "EditorDocument.h"

#include "editor/rtf/Rtf.h"
#include "picture/PictureLoader.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumorra {
namespace {

Error fileError(const QString& path, const QString& fallback) {
    const QFileInfo info(path);
    if (!info.dir().exists())
        return Error::fromErrno(ENOENT);
    if (info.exists() && info.isDir())
        return Error::fromErrno(EISDIR);
    return Error{errc::PathAccess, fallback};
}

// The bytes of a regular file. O_NONBLOCK keeps the open of a named pipe from waiting for a
// writer for ever; only a regular file is read.
QByteArray readRegularFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw Error::fromErrno(errno);
    struct stat st {};
    const int statted = ::fstat(fd, &st);
    const int statErrno = errno;
    if (statted != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (statted != 0)
            throw Error::fromErrno(statErrno);
        throw S_ISDIR(st.st_mode) ? Error::fromErrno(EISDIR) : Error::program(errc::PathAccess);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw fileError(path, file.errorString());
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw fileError(path, file.errorString());
    return data;
}

// The question before a save over a document whose reading dropped these parts.
QString droppedQuestion(const QStringList& dropped) {
    QString what = dropped.constLast();
    if (dropped.size() > 1)
        what = dropped.mid(0, dropped.size() - 1).join(QStringLiteral(", ")) +
               QStringLiteral(" and ") + what;
    return QStringLiteral("This document has ") + what +
           QStringLiteral(" that the editor cannot keep. Save it without them?");
}

// Replaces the whole text with plain text in one character format, as a new text: nothing to
// undo and not modified.
void setPlainText(QTextDocument& doc, const QString& text, const QTextCharFormat& format) {
    const bool undoRedo = doc.isUndoRedoEnabled();
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    doc.setPlainText(text);
    doc.setUndoRedoEnabled(false);
    cursor.select(QTextCursor::Document);
    cursor.setCharFormat(format);
    cursor.endEditBlock();
    doc.setUndoRedoEnabled(undoRedo);
    doc.setModified(false);
}

} // namespace

const QString EditorDocument::ChangedMark = QStringLiteral("1");
const QString EditorDocument::PlainText = QStringLiteral("txt");
const QString EditorDocument::RichText = QStringLiteral("rtf");

EditorDocument::EditorDocument(QTextDocument& text, picture::DecoderPool& pool)
    : text_(text), pool_(pool) {}

void EditorDocument::setState(const QString& path, const QString& changed, const QString& type) {
    path_ = path;
    changed_ = changed;
    type_ = type;
}

void EditorDocument::setNew() {
    setState(QString(), QString(), PlainText);
    format_ = TextFileFormat();
}

void EditorDocument::setFile(const QString& path, bool richText) {
    setState(path, QString(), richText ? RichText : PlainText);
}

bool EditorDocument::load(const QString& path, bool richText, const QTextCharFormat& plainFormat) {
    const QByteArray data = readRegularFile(path);
    lossQuestion_.clear();
    lossFrom_ = QFileInfo(path).absoluteFilePath();
    format_ = TextFileFormat();
    if (richText && rtf::isRtf(data)) {
        text_.setUndoRedoEnabled(false);
        const QStringList dropped = rtf::read(pool_, data, text_).dropped;
        text_.setUndoRedoEnabled(true);
        if (!dropped.isEmpty())
            lossQuestion_ = droppedQuestion(dropped);
        return true;
    }
    // A file that is no rich text shows as the text it is.
    const DecodedText read = TextFileFormat::read(data);
    setPlainText(text_, read.text, plainFormat);
    format_ = read.format;
    if (!read.exact || plainTextOf(text_) != read.text)
        lossQuestion_ = QStringLiteral("This file could not be read exactly as it is stored, "
                                       "so saving it will change it. Save it anyway?");
    return false;
}

void EditorDocument::save(const QString& path, bool richText) {
    QByteArray data;
    TextFileFormat format = format_;
    if (richText) {
        data = rtf::write(pool_, text_);
    } else {
        const QString plain = plainTextOf(text_);
        format = format_.holding(plain);
        data = format.write(plain);
    }
    const QFileInfo info(path);
    // A read-only file stays as it is (the new file would otherwise take its place).
    if (info.exists() &&
        (!info.isWritable() || !(QFile::permissions(path) & QFileDevice::WriteOwner)))
        throw Error::fromErrno(EACCES);
    writeFileReplacing(path, data);
    format_ = format;
    if (QFileInfo(path).absoluteFilePath() == lossFrom_)
        lossQuestion_.clear(); // the file is now what the editor holds
}

void EditorDocument::append(const QString& text) {
    QTextCursor cursor(&text_);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    // In a plain paragraph of its own: not in the last paragraph's list, alignment or indent.
    if (cursor.block().length() > 1)
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    else
        cursor.setBlockFormat(QTextBlockFormat());
    cursor.insertText(text, QTextCharFormat());
    cursor.endEditBlock();
}

void EditorDocument::insertPicture(QTextCursor& cursor, const QString& path, double widest) {
    // The bytes the picture was decoded from, not the file read again: it may have changed.
    const Picture picture = loadPicture(pool_, path);
    QByteArray encoded = picture.bytes;
    QString type;
    // A JPEG that must be turned upright is stored turned.
    if (picture.format == QLatin1String("png") ||
        (picture.format == QLatin1String("jpeg") && !picture.turned))
        type = picture.format;
    if (type.isEmpty() || encoded.isEmpty()) {
        encoded.clear();
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        if (!picture.image.save(&buffer, "PNG"))
            throw Error::program(errc::InvalidPicture);
        type = QStringLiteral("png");
    }
    QSizeF shown =
        picture.naturalSize.isEmpty() ? QSizeF(picture.image.size()) : QSizeF(picture.naturalSize);
    if (shown.width() > widest)
        shown = QSizeF(widest, shown.height() * widest / shown.width());
    rtf::insertPicture(cursor, picture.image, encoded, type, shown);
}

QString EditorDocument::lossQuestion(const QString& path) const {
    if (QFileInfo(path).absoluteFilePath() != lossFrom_)
        return QString();
    return lossQuestion_;
}

} // namespace lumorra
