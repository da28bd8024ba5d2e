// JPEG XL, a bare codestream or the container that holds one: libjxl (JxlDecoder.cpp).

#include "AnimationFrames.h"
#include "JxlDecoder.h"
#include "PictureFormat.h"
#include "picture/sandbox/SandboxChannel.h"

namespace lumorra::picture {
namespace {

class Jxl final : public PictureFormat {
public:
    Jxl() : PictureFormat(110, {"jxl"}) {}

    QByteArray claims(QByteArrayView h, QByteArrayView) const override {
        const bool jxl =
            hasMagic(h, {"\xFF\x0A", 2}) || hasMagic(h, {"\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12});
        return jxl ? "jxl" : QByteArray();
    }

    qint32 libraries(QByteArrayView, QByteArrayView claimed) const override {
        return claimed == "jxl" ? channel::JxlLibrary : 0;
    }

    JobReply size(PictureFile& file, const FormatJob& job) const override {
        return sizeReply(job, jxlSize(file));
    }

    JobReply decode(PictureFile& file, const FormatJob& job) const override {
        const DecodedPicture d = decodeJxl(file, job.budget);
        return decodedReply(d, job.format, d.animated, file.size());
    }

    std::unique_ptr<FrameReader> frames(const QByteArray& bytes, QByteArrayView,
                                        qint64 budget) const override {
        return jxlFrames(bytes, budget);
    }
};

} // namespace

LUMORRA_LISTED_FORMAT(JxlFormat, Jxl)

} // namespace lumorra::picture
