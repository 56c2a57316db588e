#include "update/SwapScript.h"

#include <filesystem>

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
    namespace fs = std::filesystem;
    // Beside the installed bundle, so that putting it in place is a rename; named after the
    // attempt, so that nothing of another one is ever touched.
    const std::string beside =
        (fs::path(installedBundle).parent_path() / ("." + fs::path(stagingFolder).filename().string()))
            .string();
    const std::string installed = shellQuoted(installedBundle), fresh = shellQuoted(beside + "-new"),
                      old = shellQuoted(beside + "-old");
    // The old bundle goes aside only once the new one is whole beside it, and comes back when
    // the new one cannot take its place; a rename of a folder onto a non-empty one fails, so
    // the two renames stand where one cannot. Whichever bundle is in place then starts, on a
    // session of its own, since nothing opens bundles here.
    return "while kill -0 " + std::to_string(pid) + " 2>/dev/null; do sleep 0.2; done\n" + "if cp -R " +
           shellQuoted(stagedBundle) + " " + fresh + " && mv -T " + installed + " " + old + "; then\n" +
           "if mv -T " + fresh + " " + installed + "; then rm -rf " + old + "; else mv -T " + old + " " +
           installed + "; fi\n" + "fi\n" + "rm -rf " + fresh + " " + shellQuoted(stagingFolder) + "\n" +
           "setsid " + shellQuoted(installedBundle + "/" + executableInBundle) +
           " >/dev/null 2>&1 </dev/null &";
}

} // namespace drovane
