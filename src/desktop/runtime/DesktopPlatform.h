#pragma once

#include "platform/Platform.h"

#include <memory>

namespace drovane::desktop {

class DesktopHost;

// The Linux desktop's platform for the process that `host` describes, logging to `log`. The
// defaults store is the entry point's to add. Nothing (and one log line) when there is no
// display to show the wallpaper on.
std::shared_ptr<Platform> makeDesktopPlatform(std::shared_ptr<DesktopHost> host, std::shared_ptr<Log> log);

} // namespace drovane::desktop
