#pragma once

#include "platform/LoginItems.h"

#include <string>

namespace drovane::desktop {

// Quotes one argument for the Exec key of a desktop entry (the quoting rules of the Desktop
// Entry specification, then the escaping of a string value).
std::string quoteDesktopExecArgument(const std::string& argument);

// The login item as an XDG autostart entry, "<config>/autostart/app.drovane.desktop" (the
// launcher entry's name, so that desktops know them as one application), where <config> is
// XDG_CONFIG_HOME or "~/.config". The entry starts `executable`. Earlier versions named it
// "drovane.desktop": such an entry counts as the login item and is moved to the new name.
class XdgLoginItems final : public LoginItems {
public:
    XdgLoginItems(std::string configHome, std::string executable);

    static constexpr const char* entryName = "app.drovane.desktop";
    static constexpr const char* earlierEntryName = "drovane.desktop";

    std::optional<std::string> registerApplication() override;
    std::optional<std::string> unregisterApplication() override;
    // True when the entry (else one under the earlier name) exists, is not hidden or disabled,
    // and starts our executable.
    bool isRegistered() const override;
    // Gives an entry under the earlier name the current one, as it is (a user's choice to hide
    // it included); one beside an entry under the current name would start a second copy, and
    // goes. Nothing, or why the move failed.
    std::optional<std::string> adoptEarlierEntry();

    const std::string& entryPath() const { return m_entryPath; }

private:
    std::string m_autostartFolder;
    std::string m_entryPath;
    std::string m_earlierEntryPath;
    std::string m_executable;
};

} // namespace drovane::desktop
