#pragma once

#include "platform/RunningInstance.h"

#include <string>

namespace drovane::desktop {

// Reaches the running copy through the freedesktop application interface on the session bus:
// Open with the links, Activate without. A copy that has the lock but not yet its bus name is
// still starting: asked again until `timeoutSeconds` have passed. Uses GDBus, which needs no
// event loop, so the later copy starts no toolkit at all.
class DBusRunningInstance final : public RunningInstance {
public:
    explicit DBusRunningInstance(std::string applicationId, double timeoutSeconds = 5.0);

    bool forward(const std::vector<Url>& urls) override;

private:
    const std::string m_applicationId;
    const double m_timeoutSeconds;
};

} // namespace drovane::desktop
