#include "support/XdgFolders.h"

#include "support/Files.h"

namespace drovane {

namespace {

std::optional<std::string> absolute(const XdgFolders::Environment& environment, const std::string& name) {
    auto value = environment(name);
    if (!value || value->empty() || value->front() != '/') {
        return std::nullopt;
    }
    return value;
}

} // namespace

XdgFolders XdgFolders::resolve(const std::string& home, const Environment& environment) {
    const auto folder = [&](const char* name, const char* belowHome) {
        return absolute(environment, name).value_or(joinPath(home, belowHome));
    };
    XdgFolders folders;
    folders.config = folder("XDG_CONFIG_HOME", ".config");
    folders.cache = folder("XDG_CACHE_HOME", ".cache");
    folders.state = folder("XDG_STATE_HOME", ".local/state");
    folders.data = folder("XDG_DATA_HOME", ".local/share");
    folders.runtime = absolute(environment, "XDG_RUNTIME_DIR");
    return folders;
}

} // namespace drovane
