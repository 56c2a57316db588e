#pragma once

#include <cstdlib>

namespace drovane {

// A property every input must keep; libFuzzer records the input that breaks it.
inline void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace drovane
