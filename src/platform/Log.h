#pragma once

#include <string>

namespace drovane {

// The diagnostic log. Lines are whole sentences beginning with "Drovane: "; there are no levels.
class Log {
public:
    virtual ~Log() = default;

    // Writes one line (without a trailing newline). Any thread; lines never interleave.
    virtual void line(const std::string& text) = 0;
};

} // namespace drovane
