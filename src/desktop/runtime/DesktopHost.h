#pragma once

#include "platform/Host.h"
#include "support/XdgFolders.h"

#include <optional>
#include <string>
#include <vector>

namespace drovane::desktop {

// The version numbers at the start of `text` ("12" -> 12.0.0, "6.1.0-18-amd64" -> 6.1.0,
// "22.04.3 LTS" -> 22.4.3); nothing when it does not begin with a number.
std::optional<OperatingSystemVersion> parseVersionNumbers(const std::string& text);

// The value of `key` in an os-release file's text, unquoted; nothing when absent.
std::optional<std::string> osReleaseValue(const std::string& osRelease, const std::string& key);

// The real process and machine. The bundle is found from the executable's own path
// (".../Drovane.app/Contents/MacOS/drovane"); DROVANE_SYSTEM_ROOT, when set, moves the root
// under which system folders are looked up (for the bundled sample library).
class DesktopHost final : public Host {
public:
    explicit DesktopHost(std::vector<std::string> arguments);

    // The name of the program's folder within each XDG base folder.
    static constexpr const char* applicationFolder = "drovane";

    std::string homeDirectory() const override { return m_home; }
    // $XDG_CONFIG_HOME/drovane, $XDG_CACHE_HOME/drovane, and $XDG_RUNTIME_DIR/drovane (else
    // $XDG_STATE_HOME/drovane), each with its XDG default.
    std::string settingsDirectory() const override { return m_folders.config + "/" + applicationFolder; }
    std::string cacheDirectory() const override { return m_folders.cache + "/" + applicationFolder; }
    std::string lockDirectory() const override;
    const XdgFolders& xdgFolders() const { return m_folders; }
    std::vector<std::string> arguments() const override { return m_arguments; }
    std::optional<std::string> environment(const std::string& name) const override;
    std::string temporaryDirectory() const override;
    int processId() const override;
    std::optional<std::string> bundleIdentifier() const override { return m_bundleIdentifier; }
    Value::Dictionary infoDictionary() const override { return m_info; }
    std::optional<Url> bundleUrl() const override { return m_bundleUrl; }
    OperatingSystemVersion operatingSystemVersion() const override { return m_osVersion; }
    std::string hardwareModel() const override { return m_hardwareModel; }
    std::string systemRoot() const override { return m_systemRoot; }

    // The running executable's absolute path.
    const std::string& executablePath() const { return m_executable; }

private:
    std::vector<std::string> m_arguments;
    std::string m_home;
    std::string m_executable;
    std::optional<Url> m_bundleUrl;
    std::optional<std::string> m_bundleIdentifier;
    Value::Dictionary m_info;
    OperatingSystemVersion m_osVersion;
    std::string m_hardwareModel;
    std::string m_systemRoot;
    XdgFolders m_folders;
};

} // namespace drovane::desktop
