// The program `lumorra`: reads its command line, starts the decoder's zygote when there is a
// picture to show, and loads the viewer (lumorra_program.so: Qt and every library the viewer
// links) to run it. Loading those libraries is the first 10 ms of each start, on one processor;
// the zygote loads its own on another meanwhile, so that the workers are ready that much sooner.
// This program links nothing of Qt's.

#include "CommandLine.h"
#include "Launch.h"
#include "picture/sandbox/ZygoteStart.h"

#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

// Beside the program's executables ($LUMORRA_BIN_DIR or this one's directory, as in the build),
// else where the installation puts it (LUMORRA_MODULE_DIR is relative to the executable's).
void* loadViewer() {
    const std::string name = "/lumorra_program.so";
    std::string path = lumorra::picture::programDirectory() + name;
    if (::access(path.c_str(), R_OK) != 0)
        path = lumorra::picture::executableDirectory() + "/" + LUMORRA_MODULE_DIR + name;
    void* viewer = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_GLOBAL);
    if (viewer == nullptr)
        std::fprintf(stderr, "lumorra: the viewer cannot be loaded: %s\n", ::dlerror());
    return viewer;
}

} // namespace

int main(int argc, char* argv[]) {
    Launch launch{argc, argv, nullptr, -1, -1};
    if (const int done = lumorra::readCommandLine(argc, argv, launch.startPath); done >= 0)
        return done;
    if (launch.startPath != nullptr && *launch.startPath != '\0') {
        const lumorra::picture::StartedZygote zygote = lumorra::picture::startZygoteProcess(
            lumorra::picture::programDirectory() + "/lumorra_decoder");
        launch.zygoteControl = zygote.control;
        launch.zygotePid = zygote.pid;
    }
    void* viewer = loadViewer();
    if (viewer == nullptr)
        return 127;
    const auto run = reinterpret_cast<int (*)(Launch*)>(::dlsym(viewer, "lumorraMain"));
    if (run == nullptr) {
        std::fprintf(stderr, "lumorra: the viewer cannot be loaded: %s\n", ::dlerror());
        return 127;
    }
    return run(&launch);
}
