#include "ui/SettingsView.h"

#include "playback/AppModel.h"
#include "support/Settings.h"
#include "ui/Wording.h"
#include "update/UpdateCheck.h"

namespace drovane {

SettingsView::SettingsView(const Platform& platform, std::weak_ptr<AppModel> engine)
    : m_platform(platform), m_engine(std::move(engine)),
      m_hasBundle(platform.host->bundleIdentifier().has_value()), m_launchAtLogin(loginItemEnabled()),
      m_remindToMatch(Settings::remindToMatch()), m_pauseOnLowPower(Settings::pauseOnLowPower()),
      m_autoUpdate(Settings::autoUpdate()) {}

const char* SettingsView::remindToMatchTitle() {
    return wording().remindSwitch;
}

std::string SettingsView::versionLine() const {
    return "Version " + Settings::version();
}

bool SettingsView::loginItemEnabled() const {
    return m_hasBundle && m_platform.loginItems && m_platform.loginItems->isRegistered();
}

void SettingsView::setLaunchAtLogin(bool on) {
    Settings::setLaunchAtLogin(on);
    m_launchAtLogin = loginItemEnabled();
}

void SettingsView::setRemindToMatch(bool on) {
    m_remindToMatch = on;
    m_platform.defaults->set(Settings::remindToMatchKey, on);
}

void SettingsView::setPauseOnLowPower(bool on) {
    m_pauseOnLowPower = on;
    m_platform.defaults->set(Settings::pauseOnLowPowerKey, on);
    if (auto engine = m_engine.lock()) {
        engine->updatePlayback();
    }
}

void SettingsView::setAutoUpdate(bool on) {
    m_autoUpdate = on;
    m_platform.defaults->set(Settings::autoUpdateKey, on);
}

void SettingsView::checkForUpdates() {
    if (auto check = m_updateCheck.lock()) {
        check->run(m_window, true);
    }
}

void SettingsView::sendFeedback() {
    // The answer is of no interest: there is nothing to tell the user.
    m_platform.workspace->openUrl(Settings::feedbackFormURL());
}

void SettingsView::openWebsite() {
    m_platform.workspace->openUrl(Settings::siteURL());
}

} // namespace drovane
