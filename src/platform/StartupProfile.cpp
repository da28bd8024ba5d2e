#include "StartupProfile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <string>
#include <unistd.h>

namespace lumorra::profile {
namespace {

double clockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The process's start on CLOCK_MONOTONIC: field 22 of /proc/self/stat counts clock ticks since
// boot, which CLOCK_BOOTTIME measures too.
double processStartMs() {
    std::FILE* f = std::fopen("/proc/self/stat", "r");
    if (f == nullptr)
        return clockMs(CLOCK_MONOTONIC);
    char buffer[1024] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[n] = '\0';
    // The command name in parentheses may hold spaces: the fields count from its end.
    const char* p = std::strrchr(buffer, ')');
    for (int field = 2; p != nullptr && field < 22; ++field)
        p = std::strchr(p + 1, ' ');
    if (p == nullptr)
        return clockMs(CLOCK_MONOTONIC);
    const double ticks = std::strtod(p + 1, nullptr);
    const double sinceBoot = ticks * 1e3 / double(sysconf(_SC_CLK_TCK));
    return clockMs(CLOCK_MONOTONIC) - (clockMs(CLOCK_BOOTTIME) - sinceBoot);
}

struct State {
    bool on = false;
    double start = 0;
    std::mutex lock;
    std::set<std::string> seen;
    State() {
        const char* value = std::getenv("LUMORRA_PROFILE_STARTUP");
        on = value != nullptr;
        if (!on)
            return;
        char* end = nullptr;
        const double given = std::strtod(value, &end);
        start = end != value && given > 0 ? given : processStartMs();
    }
};

State& state() {
    static State s;
    return s;
}

void write(State& s, const char* phase) {
    std::fprintf(stderr, "lumorra-profile %.3f %s\n", clockMs(CLOCK_MONOTONIC) - s.start, phase);
}

} // namespace

bool enabled() {
    return state().on;
}

void mark(const char* phase) {
    State& s = state();
    if (s.on)
        write(s, phase);
}

void markOnce(const char* phase) {
    State& s = state();
    if (!s.on)
        return;
    const std::lock_guard<std::mutex> held(s.lock);
    if (s.seen.insert(phase).second)
        write(s, phase);
}

} // namespace lumorra::profile
