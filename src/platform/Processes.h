#pragma once

#include <string>
#include <vector>

namespace drovane {

struct ProcessResult {
    // The exit status; -1 when the program could not be started or did not exit normally.
    int status = -1;
    std::string output;
};

class Processes {
public:
    virtual ~Processes() = default;

    // Runs `program` with `arguments`, waits for it and returns its status and combined
    // output. Blocks: any thread but the main thread.
    virtual ProcessResult run(const std::string& program, const std::vector<std::string>& arguments) = 0;
    // Starts `/bin/sh` on `script` with `arguments`, detached so that it outlives this
    // process; false when it could not be started. Any thread.
    virtual bool startDetachedShellScript(const std::string& script,
                                          const std::vector<std::string>& arguments) = 0;
};

} // namespace drovane
