// The decoder workers' program (Sandbox.h).

#include "SandboxWorker.h"

int main(int argc, char* argv[]) {
    return lumorra::picture::decoderMain(argc, argv, nullptr);
}
