#pragma once

// The start of the decoder's zygote, without Qt: the program's launcher starts it before the
// viewer's libraries are loaded, and the pool (Sandbox.h) when it has none.

#include <string>

namespace lumorra::picture {

// A started zygote: this process's end of its control socket, and its pid; -1 when none.
struct StartedZygote {
    int control = -1;
    int pid = -1;
};

// The running executable's directory.
std::string executableDirectory();
// The directory of the program's own executables: $LUMORRA_BIN_DIR, or the running executable's.
std::string programDirectory();

// Starts `program` as the zygote, its end of the control socket as descriptor 3. The socket is
// close-on-exec in this process, so that no other child holds it.
StartedZygote startZygoteProcess(const std::string& program);

} // namespace lumorra::picture
