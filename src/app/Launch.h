#pragma once

// What the program's launcher (Launcher.cpp) hands the viewer (main.cpp), which it loads as a
// module of its own: the command line, read, and the decoder's zygote if it started one.

struct Launch {
    int argc;
    char** argv;
    const char* startPath; // the file or directory to open; null for the start-up directory
    int zygoteControl;     // -1 without a zygote
    int zygotePid;
};

// Runs the viewer; returns the program's exit code.
extern "C" int lumorraMain(Launch* launch);
