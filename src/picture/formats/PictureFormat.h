#pragma once

// One picture format as the decoder workers ask it. Each file of this folder whose name ends in
// Format.cpp defines one constant format object, `const PictureFormat& listed::<the file's base
// name>()`; the build lists those files (ListedFormats.cpp.in), so a new format is one new file.
// What a format leaves alone it refuses as an invalid picture; the formats Qt's readers read
// derive from QtReaderFormat (QtReaderFormat.h). Not part of the loader's interface.

#include "picture/Decoding.h"
#include "picture/sandbox/Sandbox.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QRect>
#include <QSize>

#include <memory>
#include <span>

namespace lumorra::picture {

class FrameReader;

// What a worker's job asks of a format.
struct FormatJob {
    QByteArray format;    // the name the file was claimed as, empty where no format claimed it
    qint64 budget = 0;    // the bytes the decoded picture and the bytes held may take together
    bool drawing = false; // a drawing worker, which also reads what draws text (SVG)
    QSize shown;          // Decode: the size it is shown at, invalid for in full
    qint64 memory = 0;    // Decode: the address space beyond the worker's own, 0 for no limit
};

class PictureFormat {
public:
    // `order` places its sniff among the others', lowest first: a format whose files another's
    // sniff would also claim comes first. `names` are the names it claims files as.
    PictureFormat(int order, QByteArrayList names, Kind kind = Kind::Image)
        : order_(order), names_(std::move(names)), kind_(kind) {}
    virtual ~PictureFormat() = default;
    PictureFormat(const PictureFormat&) = delete;
    PictureFormat& operator=(const PictureFormat&) = delete;

    int order() const { return order_; }
    const QByteArrayList& names() const { return names_; }
    Kind kind() const { return kind_; }

    // The name a file goes by when it is of this format, from its first bytes (up to
    // SniffHeadBytes) and its last (up to SniffTailBytes); empty otherwise.
    virtual QByteArray claims(QByteArrayView head, QByteArrayView tail) const = 0;
    // Whether a file another format claimed as `claimed` is of this one, by its content (a camera
    // RAW built on TIFF). It may hold the file, within `budget`, to tell. False by default.
    virtual bool takesOver(PictureFile& file, QByteArrayView claimed, qint64 budget) const;
    // The libraries (channel::HeifLibrary and the others) a worker loads before it confines
    // itself, for a file claimed as `claimed` whose first bytes (up to RawSniffBytes) are
    // `head`: for its own files, or those it may take over. Every format is asked. None by
    // default.
    virtual qint32 libraries(QByteArrayView, QByteArrayView) const { return 0; }

    // Job::Size: the natural size, upright, and the format's name, from the header where the
    // format allows.
    virtual JobReply size(PictureFile& file, const FormatJob& job) const;
    // Job::Decode: the picture for showing, from the bytes held; the flags say how to finish it.
    virtual JobReply decode(PictureFile& file, const FormatJob& job) const;
    // Job::Region: the rectangle `region` (in upright natural pixels) at full size.
    virtual JobReply region(PictureFile& file, QRect region, qint64 budget) const;
    // Job::Frames: the frames of the animation in `bytes`, claimed as `name`.
    virtual std::unique_ptr<FrameReader> frames(const QByteArray& bytes, QByteArrayView name,
                                                qint64 budget) const;
    // Job::Metafile: the picture drawn at `size`, or at its natural size when `size` is empty.
    virtual JobReply draw(const QByteArray& bytes, QSize size) const;

private:
    int order_;
    QByteArrayList names_;
    Kind kind_;
};

// Whether `bytes` hold `magic` at `at`. Magic numbers are given with their length: some hold
// zero bytes.
inline bool hasMagic(QByteArrayView bytes, QByteArrayView magic, qsizetype at = 0) {
    return bytes.size() >= at + magic.size() && bytes.sliced(at, magic.size()) == magic;
}

// The reply of a picture one of the loader's own decoders decoded in full (HEIF and AVIF, JPEG
// XL), claimed as `name`; `sequence` says it is an animation, played where its file is small
// enough to keep.
inline JobReply decodedReply(const DecodedPicture& d, const QByteArray& name, bool sequence,
                             qint64 fileSize) {
    JobReply r;
    r.image = d.image;
    r.naturalSize = d.naturalSize;
    r.format = name;
    r.colour = d.colour;
    if (sequence && fileSize <= AnimationFileCap)
        r.flags |= JobReply::Animated;
    return r;
}

// The reply of a size job: the natural size, under the name the file was claimed as.
inline JobReply sizeReply(const FormatJob& job, QSize naturalSize) {
    JobReply r;
    r.format = job.format;
    r.naturalSize = naturalSize;
    return r;
}

// The reply of a metafile drawn, under its format's name.
inline JobReply drawnReply(const MetafileDrawing& d, const QByteArray& name) {
    JobReply r;
    r.image = d.image;
    r.naturalSize = d.naturalSize;
    r.format = name;
    return r;
}

// Defines, in a file NameFormat.cpp, the function that the list the build writes calls for it:
// it gives the one object of the format's class, made from the arguments after the class.
// Written inside namespace lumorra::picture.
#define LUMORRA_LISTED_FORMAT(Name, Class, ...)                                                    \
    namespace listed {                                                                             \
    const PictureFormat& Name() {                                                                  \
        static const Class format{__VA_ARGS__};                                                    \
        return format;                                                                             \
    }                                                                                              \
    }

// Every listed format, in sniff order.
std::span<const PictureFormat* const> pictureFormats();
// The first format that claims a file by its first and last bytes, null for none; `name` gets
// the name it claims the file as.
const PictureFormat* claimingFormat(QByteArrayView head, QByteArrayView tail, QByteArray* name);
// The first format that claims files as `name`, null for none.
const PictureFormat* namedFormat(QByteArrayView name);
// Qt's readers, which read what no format claims.
const PictureFormat& qtReaderFormat();

} // namespace lumorra::picture
