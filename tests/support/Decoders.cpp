#include "Decoders.h"

#include "picture/sandbox/Sandbox.h"

namespace lumorra::test {

picture::DecoderPool& decoders() {
    static picture::DecoderPool pool(picture::DecoderPool::defaultProgram());
    return pool;
}

} // namespace lumorra::test
