#include "FrameDecoder.h"

#include "Decoding.h"
#include "colour/Colour.h"
#include "platform/Error.h"
#include "sandbox/Sandbox.h"

namespace lumorra {

using namespace picture;

namespace {

// A frame after the first waits no longer than this for its worker: the animation ends then.
constexpr std::chrono::milliseconds FrameTimeout{10000};

} // namespace

FrameDecoder::FrameDecoder(DecoderPool& pool, const QByteArray& bytes,
                           const ColourTransforms* colour, int first, int repeats)
    : colour_(colour) {
    ignoreErrors([&] {
        JobRequest request;
        request.job = Job::Frames;
        request.bytes = bytes;
        request.region = QRect(qMax(0, first), qMax(0, repeats), 0, 0);
        request.budget = pictureByteBudget();
        request.memory = childMemory();
        session_ = std::make_unique<FrameSession>(pool, request);
    });
}

FrameDecoder::~FrameDecoder() = default;

AnimationFrame FrameDecoder::next() {
    AnimationFrame frame;
    if (!session_)
        return frame;
    ignoreErrors([&] {
        JobReply r = session_->next(FrameTimeout);
        if (r.image.isNull())
            return;
        if (colour_ != nullptr) {
            colour_->toScreen(r.image, r.colour);
        } else if (r.colour.isTagged()) {
            const ColourTransforms srgb;
            srgb.toScreen(r.image, r.colour);
        }
        frame = {r.image, r.delay, r.repeats};
    });
    if (frame.image.isNull())
        session_.reset();
    return frame;
}

} // namespace lumorra
