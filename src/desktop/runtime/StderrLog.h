#pragma once

#include "platform/Log.h"

#include <mutex>

namespace drovane::desktop {

// Log lines on standard error, one write per line so that lines of threads never mix.
class StderrLog final : public Log {
public:
    void line(const std::string& text) override;

private:
    std::mutex m_mutex;
};

} // namespace drovane::desktop
