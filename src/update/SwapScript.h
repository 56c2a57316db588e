#pragma once

#include <string>

namespace drovane {

// `text` between single quotes for /bin/sh, each embedded single quote written as '\''.
std::string shellQuoted(const std::string& text);

// The script that replaces the installed bundle with the staged one once the process `pid`
// has exited, removes the staging folder and starts the new bundle's program, detached: six
// lines, no line feed after the last. Every path is quoted for the shell.
std::string swapScript(int pid, const std::string& installedBundle, const std::string& stagedBundle,
                       const std::string& stagingFolder, const std::string& executableInBundle);

} // namespace drovane
