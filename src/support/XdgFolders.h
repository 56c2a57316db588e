#pragma once

#include <functional>
#include <optional>
#include <string>

namespace drovane {

// Where a program keeps its own files on a freedesktop system, by the XDG base directory
// rules: a variable that is unset, empty or not an absolute path is ignored and its default
// below the home folder used instead.
struct XdgFolders {
    std::string config;                 // $XDG_CONFIG_HOME, else ~/.config
    std::string cache;                  // $XDG_CACHE_HOME, else ~/.cache
    std::string state;                  // $XDG_STATE_HOME, else ~/.local/state
    std::string data;                   // $XDG_DATA_HOME, else ~/.local/share
    std::optional<std::string> runtime; // $XDG_RUNTIME_DIR; no default

    using Environment = std::function<std::optional<std::string>(const std::string&)>;
    static XdgFolders resolve(const std::string& home, const Environment& environment);
};

} // namespace drovane
