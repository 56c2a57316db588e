#include "update/SwapScript.h"

namespace drovane {

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string swapScript(int pid, const std::string& installedBundle, const std::string& stagedBundle,
                       const std::string& stagingFolder, const std::string& executableInBundle) {
    const std::string installed = shellQuoted(installedBundle);
    // Line 4 stands where the download quarantine is cleared elsewhere: Linux has none, and
    // the copy is made executable as it came. Line 6 starts the new program on its own session,
    // since nothing opens bundles here.
    return "while kill -0 " + std::to_string(pid) + " 2>/dev/null; do sleep 0.2; done\n" + "rm -rf " +
           installed + "\n" + "cp -R " + shellQuoted(stagedBundle) + " " + installed + "\n" +
           "chmod -R u+rwX " + installed + " 2>/dev/null\n" + "rm -rf " + shellQuoted(stagingFolder) + "\n" +
           "setsid " + shellQuoted(installedBundle + "/" + executableInBundle) +
           " >/dev/null 2>&1 </dev/null &";
}

} // namespace drovane
