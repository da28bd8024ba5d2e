#pragma once

// The program's command line: `lumorra [FILE|DIRECTORY]`, read before any library of the viewer
// is loaded, so that the options that need no window work without a display.

namespace lumorra {

// Returns the exit code when the program is done (it has printed its help, its version or what
// was wrong), -1 to go on; sets `path` to the path to open, or null when none was given.
int readCommandLine(int argc, char* argv[], const char*& path);

} // namespace lumorra
