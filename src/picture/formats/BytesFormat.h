#pragma once

// A format one of the program's own decoders reads from the bytes (Formats.h): TIFF, TGA, BMP,
// ICO and CUR, PBM/PGM/PPM. Not part of the loader's interface.

#include "Formats.h"
#include "PictureFormat.h"
#include "picture/ImageBuffer.h"

#include <new>

namespace lumorra::picture {

class BytesFormat final : public PictureFormat {
public:
    // The name a file goes by when it is of the format, from its first and last bytes.
    using Claim = QByteArray (*)(QByteArrayView head, QByteArrayView tail);
    using ReadHeader = formats::Header (*)(QByteArrayView bytes);
    using Decode = formats::Decoded (*)(QByteArrayView bytes, qint64 budget);

    // `libraries`: what a worker loads for the format's files (channel::Library) before it
    // confines itself.
    BytesFormat(int order, QByteArrayList names, Claim claim, ReadHeader header, Decode decode,
                qint32 libraries = 0)
        : PictureFormat(order, std::move(names)), claim_(claim), header_(header), decode_(decode),
          libraries_(libraries) {}

    QByteArray claims(QByteArrayView head, QByteArrayView tail) const override {
        return claim_(head, tail);
    }
    qint32 libraries(QByteArrayView, QByteArrayView claimed) const override {
        return names().contains(claimed) ? libraries_ : 0;
    }

    // The header is read from the file mapped: its pixels are never read.
    JobReply size(PictureFile& file, const FormatJob& job) const override {
        file.holdMapped(job.budget);
        return sizeReply(job, translated([&] { return header_(file.heldBytes()); }).size);
    }

    JobReply decode(PictureFile& file, const FormatJob& job) const override {
        // The bytes kept with the picture count against the budget, as its pixels do.
        const formats::Decoded d =
            translated([&] { return decode_(file.heldBytes(), job.budget - file.size()); });
        JobReply r;
        r.image = toDisplayFormat(d.image);
        r.naturalSize = d.image.size();
        r.format = job.format;
        r.colour.icc = d.icc;
        return r;
    }

private:
    template <class F> static auto translated(F&& f) -> decltype(f()) {
        try {
            return f();
        } catch (const std::bad_alloc&) {
            throw outOfMemory();
        }
    }

    Claim claim_;
    ReadHeader header_;
    Decode decode_;
    qint32 libraries_;
};

} // namespace lumorra::picture
