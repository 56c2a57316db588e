#pragma once

#include "platform/LoginItems.h"

#include <string>

namespace drovane::desktop {

// Quotes one argument for the Exec key of a desktop entry (the quoting rules of the Desktop
// Entry specification, then the escaping of a string value).
std::string quoteDesktopExecArgument(const std::string& argument);

// The login item as an XDG autostart entry, "<config>/autostart/drovane.desktop", where
// <config> is XDG_CONFIG_HOME or "~/.config". The entry starts `executable`.
class XdgLoginItems final : public LoginItems {
public:
    XdgLoginItems(std::string configHome, std::string executable);

    std::optional<std::string> registerApplication() override;
    std::optional<std::string> unregisterApplication() override;
    // True when the entry exists, is not hidden or disabled, and starts our executable.
    bool isRegistered() const override;

    const std::string& entryPath() const { return m_entryPath; }

private:
    std::string m_autostartFolder;
    std::string m_entryPath;
    std::string m_executable;
};

} // namespace drovane::desktop
