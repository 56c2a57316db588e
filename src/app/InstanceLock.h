#pragma once

#include <string>

namespace drovane {

// One running copy per user: an exclusive flock on a file in the user's Application Support
// folder, held for the life of the process (the descriptor is never closed).
namespace InstanceLock {

// "<home>/Library/Application Support/Drovane/instance.lock", computed once.
const std::string& path();

// Returns holding the lock, or without it when the lock file cannot be opened (logged).
// When another process holds it: logs and ends the process with status 0.
void acquireOrExit();

} // namespace InstanceLock

// Makes SIGTERM end the process at once with status 0: no clean-up, no callbacks.
void installTerminationHandler();

} // namespace drovane
