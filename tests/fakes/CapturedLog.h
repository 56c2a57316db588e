#pragma once

#include "platform/Log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace drovane::fakes {

// Keeps every logged line for the test to read.
class CapturedLog final : public Log {
public:
    void line(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(text);
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // How many lines begin with `prefix`.
    std::size_t countStartingWith(const std::string& prefix) const {
        std::lock_guard lock(m_mutex);
        return static_cast<std::size_t>(std::count_if(
            m_lines.begin(), m_lines.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

} // namespace drovane::fakes
