#pragma once

// The walls a decoder worker puts up around itself before it touches a picture's bytes. Not part
// of the loader's interface.

#include <QByteArrayList>
#include <QtGlobal>

namespace lumorra::picture {

// Whether this is a sanitizer build, whose runtime reserves terabytes of shadow memory and
// makes system calls of its own for its reports.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool SanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool SanitizedBuild = true;
#else
inline constexpr bool SanitizedBuild = false;
#endif
#else
inline constexpr bool SanitizedBuild = false;
#endif

// Confines the calling process, which must have no other thread yet: no new privileges; an
// address space of what it has now and `memory` bytes more (not in sanitizer builds); a CPU time
// limit; no file access at all (Landlock, where the kernel has it); and a system call filter
// (seccomp) that lets it read and write the descriptors it holds, manage its memory and start
// threads, and ends it with SIGSYS for anything else: opening a file, a socket, running a program,
// starting a process, signalling another one. Returns false when the filter could not be loaded:
// the worker must not go on then.
bool confine(qint64 memory);

// The walls of a worker that draws a drawing (WMF, EMF, SVG) with the system's fonts, which its
// libraries open as they draw: those of confine(), except that it may open files for reading, the
// paths in `readable` and what lies beneath them (Landlock) and with no flag that could write or
// make a file (the filter, which ends it for any other open).
bool confineDrawing(qint64 memory, const QByteArrayList& readable);

// Limits the address space of the calling process to what it has now and `memory` bytes more
// (nothing in sanitizer builds, or for `memory` 0).
void limitMemory(qint64 memory);

// For a child just forked: the parent's signal handlers and mask are not the child's (a crash
// handler would report the child's crash as the program's, a termination handler would tell the
// parent's event loop). The child dies of its signals, but not of a closed pipe: it ends on
// EPIPE then.
void restoreDefaultSignals();

// The CPU seconds a worker may use, across its threads.
inline constexpr int WorkerCpuSeconds = 120;

} // namespace lumorra::picture
