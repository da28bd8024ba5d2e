#pragma once

// The decoder executable's side of the sandbox (Sandbox.h): the zygote and its workers. Not
// part of the loader's interface.

#include "Sandbox.h"

namespace lumorra::picture {

// Jobs a worker program adds to the pictures' own (numbers from Job::FirstExtra): true when it
// knows the request's job and filled `reply`. They run confined, as every job does.
using ExtraJobs = bool (*)(const JobRequest& request, JobReply& reply);

// main() of a decoder executable: `lumorra_decoder --zygote FD` serves the program at the other
// end of socket FD until it goes away.
int decoderMain(int argc, char* argv[], ExtraJobs extra);

// Serves the one job that comes on `socket`: loads what the job needs, confines itself, reads the
// picture, answers and ends. Returns only by ending the process. Without `readersLoaded`, Qt's
// image format plugins are loaded first for a job that may need more than the JPEG one.
[[noreturn]] void serveOneJob(int socket, ExtraJobs extra, bool readersLoaded);

} // namespace lumorra::picture
