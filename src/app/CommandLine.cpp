#include "CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumorra {

namespace {

const char* const Usage = "Usage: lumorra [FILE|DIRECTORY]\n"
                          "A picture and animation viewer with a built-in file browser.\n"
                          "\n"
                          "Lumorra opens at the given directory, or at the given file's directory\n"
                          "with that file shown; without one, at the stored start-up directory.\n"
                          "\n"
                          "  -h, --help     show this text and exit\n"
                          "  -v, --version  show the version and exit\n";

bool is(const char* arg, const char* option) {
    return std::strcmp(arg, option) == 0;
}

} // namespace

int readCommandLine(int argc, char* argv[], const char*& path) {
    path = nullptr;
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!endOfOptions && (is(arg, "-h") || is(arg, "--help"))) {
            std::fputs(Usage, stdout);
            return EXIT_SUCCESS;
        }
        if (!endOfOptions && (is(arg, "-v") || is(arg, "--version"))) {
            std::puts("Lumorra 3.0");
            return EXIT_SUCCESS;
        }
        if (!endOfOptions && is(arg, "--")) {
            endOfOptions = true;
            continue;
        }
        if (!endOfOptions && arg[0] == '-') {
            // Qt's own options (-platform, -display, ...) take a value; leave both to Qt.
            if (!is(arg, "-reverse") && !is(arg, "-widgetcount") && i + 1 < argc)
                ++i;
            continue;
        }
        if (path != nullptr) {
            std::fprintf(stderr, "lumorra: one file or directory at most\n%s", Usage);
            return EXIT_FAILURE;
        }
        path = arg;
    }
    return -1;
}

} // namespace lumorra
