#pragma once

#include <string>

namespace drovane {

// `text` between single quotes for /bin/sh, each embedded single quote written as '\''.
std::string shellQuoted(const std::string& text);

// The script that replaces the installed bundle with the staged one once the process `pid`
// has exited, removes the staging folder and starts the bundle's program, detached: six lines,
// no line feed after the last. The new bundle is copied beside the old one and renamed into
// place, the old one removed only then; when any step fails the old one stays (and starts).
// Every path is quoted for the shell.
std::string swapScript(int pid, const std::string& installedBundle, const std::string& stagedBundle,
                       const std::string& stagingFolder, const std::string& executableInBundle);

} // namespace drovane
