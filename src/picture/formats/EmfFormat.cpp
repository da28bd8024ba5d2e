// Enhanced metafiles: drawn in drawing workers alone. The loader reads their size from the
// header itself (emfNaturalSize()).

#include "EmfReader.h"
#include "PictureFormat.h"

namespace lumorra::picture {
namespace {

class Emf final : public PictureFormat {
public:
    Emf() : PictureFormat(20, {"emf"}, Kind::Emf) {}

    QByteArray claims(QByteArrayView h, QByteArrayView) const override {
        const bool emf = h.size() >= 44 && littleEndian<quint32>(h, 0) == 1 &&
                         littleEndian<quint32>(h, 40) == 0x464D4520u;
        return emf ? "emf" : QByteArray();
    }

    JobReply draw(const QByteArray& bytes, QSize size) const override {
        return drawnReply(drawEmf(bytes, size), "emf");
    }
};

} // namespace

LUMORRA_LISTED_FORMAT(EmfFormat, Emf)

} // namespace lumorra::picture
