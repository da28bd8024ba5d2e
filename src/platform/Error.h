#pragma once

#include <QString>

#include <exception>
#include <utility>

namespace lumorra {

// The one failure type that crosses the platform layer. File-system failures carry the C errno
// and its strerror() text; the program's own failures carry a number of the fixed table below.
struct Error {
    int number = 0;
    QString description;

    static Error fromErrno(int errnoValue);
    static Error program(int number);
    // Builds an Error from whatever was caught, so that nothing else escapes a handler.
    static Error fromCurrentException() noexcept;
};

// The program's own error numbers and their fixed texts.
namespace errc {
inline constexpr int InvalidCall = 5;       // "Invalid procedure call or argument"
inline constexpr int Overflow = 6;          // "Overflow"
inline constexpr int OutOfMemory = 7;       // "Out of memory"
inline constexpr int TypeMismatch = 13;     // "Type mismatch"
inline constexpr int Internal = 51;         // "Internal error"
inline constexpr int PathAccess = 75;       // "Path/File access error"
inline constexpr int PathNotFound = 76;     // "Path not found"
inline constexpr int InvalidProperty = 380; // "Invalid property value"
inline constexpr int InvalidPicture = 481;  // "Invalid picture"
} // namespace errc

QString programErrorText(int number);

// Error regime "steps run with errors ignored": a failing step is skipped.
template <class F> void ignoreErrors(F&& step) noexcept {
    try {
        std::forward<F>(step)();
    } catch (...) {
    }
}

// Error regime "one failure handler covers the whole action": the body runs in one try; on any
// failure the handler gets the Error. The handler's own failures are swallowed so that nothing
// reaches the event loop.
template <class F, class H> bool withFailureHandler(F&& body, H&& handler) noexcept {
    try {
        std::forward<F>(body)();
        return true;
    } catch (...) {
        Error e = Error::fromCurrentException();
        ignoreErrors([&] { handler(e); });
        return false;
    }
}

} // namespace lumorra
