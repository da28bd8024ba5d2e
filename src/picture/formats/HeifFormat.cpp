// HEIF (HEVC) and AVIF (AV1): libheif decodes both (HeifDecoder.cpp); libavif plays an AVIF
// sequence (AvifSequence.cpp).

#include "AnimationFrames.h"
#include "HeifDecoder.h"
#include "PictureFormat.h"
#include "picture/sandbox/SandboxChannel.h"

namespace lumorra::picture {
namespace {

// HEIF and AVIF files start with an ISO-BMFF file type box: its major brand, then the brands it
// is compatible with. libheif reads both; the name tells the codec, by the major brand first.
QByteArray isoMediaFormat(QByteArrayView h) {
    if (h.size() < 16 || h.sliced(4, 4) != "ftyp")
        return {};
    const quint32 boxSize = bigEndian<quint32>(h, 0);
    if (boxSize < 16 || boxSize % 4 != 0)
        return {};
    const auto avif = [](QByteArrayView b) { return b == "avif" || b == "avis"; };
    const auto hevc = [](QByteArrayView b) {
        return b == "heic" || b == "heix" || b == "hevc" || b == "hevx" || b == "heim" ||
               b == "heis" || b == "hevm" || b == "hevs";
    };
    const auto anyHeif = [&](QByteArrayView b) {
        return avif(b) || hevc(b) || b == "mif1" || b == "msf1" || b == "mif2";
    };
    const QByteArrayView major = h.sliced(8, 4);
    if (avif(major))
        return "avif";
    if (hevc(major))
        return "heif";
    // A generic major brand (mif1, or one of another family): the compatible brands decide. Only
    // those in the bytes given.
    const qsizetype end = qMin<qsizetype>(boxSize, h.size());
    bool heif = anyHeif(major);
    for (qsizetype at = 16; at + 4 <= end; at += 4) {
        const QByteArrayView brand = h.sliced(at, 4);
        if (avif(brand))
            return "avif";
        heif = heif || anyHeif(brand);
    }
    return heif ? "heif" : QByteArray();
}

class Heif final : public PictureFormat {
public:
    Heif() : PictureFormat(100, {"heif", "avif"}) {}

    QByteArray claims(QByteArrayView h, QByteArrayView) const override { return isoMediaFormat(h); }

    // An AVIF file is shown through libheif; libavif tells a sequence and plays it.
    qint32 libraries(QByteArrayView, QByteArrayView claimed) const override {
        if (claimed == "avif")
            return channel::HeifLibrary | channel::AvifLibrary;
        return claimed == "heif" ? channel::HeifLibrary : 0;
    }

    JobReply size(PictureFile& file, const FormatJob& job) const override {
        return sizeReply(job, heifSize(file));
    }

    JobReply decode(PictureFile& file, const FormatJob& job) const override {
        const DecodedPicture d = decodeHeif(file, job.budget);
        const bool sequence = job.format == "avif" && isAvifSequence(file.heldBytes());
        return decodedReply(d, job.format, sequence, file.size());
    }

    std::unique_ptr<FrameReader> frames(const QByteArray& bytes, QByteArrayView name,
                                        qint64 budget) const override {
        if (name != "avif")
            throw invalidPicture();
        return avifFrames(bytes, budget);
    }
};

} // namespace

LUMORRA_LISTED_FORMAT(HeifFormat, Heif)

} // namespace lumorra::picture
