#pragma once

#include "platform/Error.h"

#include <optional>

namespace lumorra::test {

// The Error a step throws; none when it throws none.
template <class F> std::optional<Error> failure(F&& step) {
    try {
        step();
    } catch (const Error& e) {
        return e;
    }
    return std::nullopt;
}

} // namespace lumorra::test
