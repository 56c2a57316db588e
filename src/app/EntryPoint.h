#pragma once

#include <functional>
#include <memory>

namespace drovane {

class Host;
class Log;
class RunningInstance;
struct Platform;

// The program: the termination signals ending it at once, "--help" and "--version" answered on
// standard output, one instance per user (a later copy hands its links, or else a request to
// show itself, to `running` before it leaves), then the platform made by `makePlatform` (its
// defaults store added here; nothing, when it has nothing to show the wallpaper on: status 1),
// the delegate made and the event loop run as an accessory application (no taskbar entry until
// a window is shown). The host and the log come first because the lock needs them before
// anything heavier exists. Returns only when the event loop ends.
int applicationMain(std::shared_ptr<Host> host, std::shared_ptr<Log> log, RunningInstance& running,
                    const std::function<std::shared_ptr<Platform>()>& makePlatform);

} // namespace drovane
