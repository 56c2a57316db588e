#include "platform/Platform.h"

#include <atomic>
#include <cassert>

namespace drovane {

namespace {
// Swapped only by the composition root or a test fixture, before any work runs on other threads.
std::shared_ptr<Platform> g_platform;
} // namespace

Platform& platform() {
    assert(g_platform && "installPlatform() must run before the core is used");
    return *g_platform;
}

void installPlatform(std::shared_ptr<Platform> p) {
    g_platform = std::move(p);
}

void logLine(const std::string& text) {
    if (g_platform && g_platform->log) {
        g_platform->log->line(text);
    }
}

} // namespace drovane
