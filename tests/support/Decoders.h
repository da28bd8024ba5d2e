#pragma once

namespace lumorra::picture {
class DecoderPool;
}

namespace lumorra::test {

// The decoder workers of this test program, made when first asked for: the program's decoder
// executable in $LUMORRA_BIN_DIR. They end with the test program.
picture::DecoderPool& decoders();

} // namespace lumorra::test
