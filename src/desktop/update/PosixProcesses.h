#pragma once

#include "platform/Processes.h"

namespace drovane::desktop {

// Programs started with posix_spawn; a detached script gets a session of its own, so that it
// outlives this process and its terminal.
class PosixProcesses final : public Processes {
public:
    ProcessResult run(const std::string& program, const std::vector<std::string>& arguments) override;
    bool startDetachedShellScript(const std::string& script,
                                  const std::vector<std::string>& arguments) override;
};

} // namespace drovane::desktop
