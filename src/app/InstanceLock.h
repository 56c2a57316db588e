#pragma once

#include <csignal>
#include <functional>
#include <string>

namespace drovane {

class Host;
class Log;

// One running copy per user: an exclusive flock on a file of the user's, held for the life of
// the process (the descriptor is never closed).
namespace InstanceLock {

// "instance.lock" in the host's lock folder.
std::string path(const Host& host);

// Returns holding the lock, or without it when the lock file cannot be opened (logged).
// When another process holds it: runs `beforeExit` (to hand the command line over to that
// process), logs and ends the process with status 0. Needs nothing but the host and the log,
// so it runs before the rest of the platform exists.
void acquireOrExit(const Host& host, Log& log, const std::function<void()>& beforeExit = {});

} // namespace InstanceLock

// The signals that end the process at once with status 0: a kill, Ctrl+C in a terminal, the
// terminal or the session going away.
inline constexpr int terminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Makes the termination signals end the process at once with status 0, once a settings write
// under way has finished: no other clean-up, no callbacks. SIGPIPE is ignored.
void installTerminationHandler();

} // namespace drovane
