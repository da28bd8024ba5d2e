// Windows metafiles, with or without the placeable header: drawn in drawing workers alone.

#include "PictureFormat.h"
#include "WmfReader.h"

namespace lumorra::picture {
namespace {

class Wmf final : public PictureFormat {
public:
    Wmf() : PictureFormat(10, {"wmf"}, Kind::Wmf) {}

    QByteArray claims(QByteArrayView h, QByteArrayView) const override {
        const auto u16 = [&](qsizetype at) { return littleEndian<quint16>(h, at); };
        if (littleEndian<quint32>(h, 0) == 0x9AC6CDD7u)
            return "wmf";
        // Without the placeable header: memory or disk type, nine words of header, a Windows 2
        // or 3 metafile version.
        if (h.size() >= 18 && (u16(0) == 1 || u16(0) == 2) && u16(2) == 9 &&
            (u16(4) == 0x0100 || u16(4) == 0x0300))
            return "wmf";
        return {};
    }

    // libwmf scans the records for it, which a drawing worker alone may do.
    JobReply size(PictureFile& file, const FormatJob& job) const override {
        if (!job.drawing)
            throw invalidPicture();
        JobReply r;
        r.format = "wmf";
        r.naturalSize = wmfNaturalSize(file.readAll(MetafileFileCap));
        return r;
    }

    JobReply draw(const QByteArray& bytes, QSize size) const override {
        return drawnReply(drawWmf(bytes, size), "wmf");
    }
};

} // namespace

LUMORRA_LISTED_FORMAT(WmfFormat, Wmf)

} // namespace lumorra::picture
