#include "desktop/runtime/StderrLog.h"

#include <unistd.h>

namespace drovane::desktop {

void StderrLog::line(const std::string& text) {
    std::string withNewline = text + "\n";
    std::lock_guard lock(m_mutex);
    const char* data = withNewline.data();
    std::size_t left = withNewline.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n <= 0) {
            return;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace drovane::desktop
