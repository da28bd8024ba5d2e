#pragma once

// Time stamps of the start-up, for finding where it spends its time. Silent unless the
// environment variable LUMORRA_PROFILE_STARTUP is set; then each mark writes one line to
// standard error:
//     lumorra-profile MS PHASE
// with MS the milliseconds since the process started. When the variable holds a number, that
// number is the start (CLOCK_MONOTONIC milliseconds, as a launcher that measures the start
// takes them before it starts the program); otherwise the start is the process's start time
// from /proc, which the kernel keeps in clock ticks (10 ms).
namespace lumorra::profile {

// Writes the mark when profiling.
void mark(const char* phase);
// Writes the mark the first time it is reached with this phase, when profiling.
void markOnce(const char* phase);
bool enabled();

} // namespace lumorra::profile
