#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>

class QTextCursor;

namespace lumorra::picture {
class DecoderPool;
}

namespace lumorra::rtf {

// The words of a picture (\pict): its kind, its size and how it is shown.
enum class PictureWord {
    Png,          // \pngblip
    Jpeg,         // \jpegblip
    Emf,          // \emfblip
    Wmf,          // \wmetafileN, N the mapping mode
    Dib,          // \dibitmap
    Wbitmap,      // \wbitmap
    MacPict,      // \macpict, a kind not shown
    PmMetafile,   // \pmmetafile, a kind not shown
    Width,        // \picw
    Height,       // \pich
    GoalWidth,    // \picwgoal
    GoalHeight,   // \pichgoal
    ScaleX,       // \picscalex
    ScaleY,       // \picscaley
    BitsPerPixel, // \wbmbitspixel, \picbpp
    WidthBytes    // \wbmwidthbytes
};

// A picture as it goes into the document: what is shown, at which size, and the bytes and
// type a save writes (empty bytes: saved as PNG). A metafile keeps its extent and mapping mode.
struct ReadPicture {
    QImage image;
    QByteArray data;
    QString type;
    QSizeF shown;
    bool metafile = false;
    QSize extent;
    int mapMode = 0;
};

// Reads a picture group: its words, its bytes (hexadecimal digits or \bin data), and at the
// group's end the picture they make, decoded (metafiles drawn) in a worker of `pool`.
class PictureReader {
public:
    explicit PictureReader(picture::DecoderPool& pool) : pool_(pool) {}
    void start() { picture_ = State{}; }
    void word(PictureWord word, int p);
    // A character of the group's text: the picture's hexadecimal digits, and blanks between them.
    void text(char c);
    void binary(const QByteArray& bytes) { picture_.binary += bytes; }

    // The picture read since start(); its image is null for kinds not shown and broken ones.
    ReadPicture finish() const;
    // Inserts the picture at the cursor.
    static void insert(QTextCursor& cursor, const ReadPicture& picture);

private:
    struct State {
        QString type; // "png", "jpeg", "wmf", "emf", "dib", "wbitmap", or another kind, skipped
        int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
        int mapMode = 8, bitsPerPixel = 1, widthBytes = 0;
        QByteArray hex;
        QByteArray binary;
    };
    QSizeF shownSize(QSizeF natural) const;
    ReadPicture metafile(const QByteArray& data) const;

    picture::DecoderPool& pool_;
    State picture_;
};

} // namespace lumorra::rtf
