#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>
#include <vector>

namespace drovane::desktop {

// The Linux desktop's platform pieces for a process started with `arguments`. The defaults
// store is the composition root's to add.
std::shared_ptr<Platform> makeDesktopPlatform(std::vector<std::string> arguments);

} // namespace drovane::desktop
