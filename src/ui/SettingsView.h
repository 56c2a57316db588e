#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace drovane {

class AppModel;
class UpdateCheck;
class Window;

// The settings window's content without a toolkit: the four switches with their rules, the
// header's texts and the links. The switches are read from their sources once, when the view is
// made; each change writes through at once (there is no apply step). Main thread only.
class SettingsView {
public:
    static constexpr const char* title = "Drovane Settings";
    static constexpr const char* appName = "Drovane";
    static constexpr const char* creditLine = "Made by the Drovane developers, films by their makers";
    static constexpr const char* launchAtLoginTitle = "Open Drovane at login";
    static constexpr const char* pauseOnLowPowerTitle = "Pause in Low Power Mode";
    static constexpr const char* autoUpdateTitle = "Install updates automatically";
    static constexpr const char* checkForUpdatesTitle = "Check for Updates";
    static constexpr const char* sendFeedbackTitle = "Send Feedback";
    static constexpr const char* websiteTitle = "Website";

    // A view on `platform`; a change of the low-power switch re-applies the playback rule of
    // `engine` while it lives.
    SettingsView(const Platform& platform, std::weak_ptr<AppModel> engine);

    // The match reminder's switch title, as this platform words it.
    static const char* remindToMatchTitle();
    // "Version " and the display version.
    std::string versionLine() const;

    bool launchAtLogin() const { return m_launchAtLogin; }
    // Only an installed application has a login item; a bare executable's switch is disabled.
    bool launchAtLoginEnabled() const { return m_hasBundle; }
    bool remindToMatch() const { return m_remindToMatch; }
    bool pauseOnLowPower() const { return m_pauseOnLowPower; }
    bool autoUpdate() const { return m_autoUpdate; }

    // Asks for the login item, then shows what the platform did: off when it refused.
    void setLaunchAtLogin(bool on);
    void setRemindToMatch(bool on);
    // Takes effect on the wallpaper at once.
    void setPauseOnLowPower(bool on);
    // Read at the next launch's automatic update check.
    void setAutoUpdate(bool on);

    // The check "Check for Updates" runs, and the window its prompts attach to. Either may come
    // before or after the other, and before or after the view is made; both are held weakly.
    void setUpdateCheck(std::weak_ptr<UpdateCheck> check) { m_updateCheck = std::move(check); }
    void setWindow(std::weak_ptr<const Window> window) { m_window = std::move(window); }

    // A check the user asked for, over the view's window; nothing while there is no check.
    void checkForUpdates();
    void sendFeedback();
    void openWebsite();

private:
    bool loginItemEnabled() const;

    const Platform m_platform;
    const std::weak_ptr<AppModel> m_engine;
    const bool m_hasBundle;
    std::weak_ptr<UpdateCheck> m_updateCheck;
    std::weak_ptr<const Window> m_window;
    bool m_launchAtLogin;
    bool m_remindToMatch;
    bool m_pauseOnLowPower;
    bool m_autoUpdate;
};

} // namespace drovane
