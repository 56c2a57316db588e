#include "desktop/ui/SettingsBridge.h"

#include "ui/SettingsView.h"

namespace drovane::desktop {

SettingsBridge::SettingsBridge(std::shared_ptr<SettingsView> view, QObject* parent)
    : QObject(parent), m_view(std::move(view)) {}

SettingsBridge::~SettingsBridge() = default;

bool SettingsBridge::launchAtLogin() const {
    return m_view->launchAtLogin();
}
bool SettingsBridge::launchAtLoginEnabled() const {
    return m_view->launchAtLoginEnabled();
}
bool SettingsBridge::remindToMatch() const {
    return m_view->remindToMatch();
}
bool SettingsBridge::pauseOnLowPower() const {
    return m_view->pauseOnLowPower();
}
bool SettingsBridge::autoUpdate() const {
    return m_view->autoUpdate();
}

QString SettingsBridge::appName() const {
    return QString::fromUtf8(SettingsView::appName);
}
QString SettingsBridge::versionLine() const {
    return QString::fromStdString(m_view->versionLine());
}
QString SettingsBridge::creditLine() const {
    return QString::fromUtf8(SettingsView::creditLine);
}
QString SettingsBridge::launchAtLoginTitle() const {
    return QString::fromUtf8(SettingsView::launchAtLoginTitle);
}
QString SettingsBridge::remindToMatchTitle() const {
    return QString::fromUtf8(SettingsView::remindToMatchTitle());
}
QString SettingsBridge::pauseOnLowPowerTitle() const {
    return QString::fromUtf8(SettingsView::pauseOnLowPowerTitle);
}
QString SettingsBridge::autoUpdateTitle() const {
    return QString::fromUtf8(SettingsView::autoUpdateTitle);
}
QString SettingsBridge::checkForUpdatesTitle() const {
    return QString::fromUtf8(SettingsView::checkForUpdatesTitle);
}
QString SettingsBridge::sendFeedbackTitle() const {
    return QString::fromUtf8(SettingsView::sendFeedbackTitle);
}
QString SettingsBridge::websiteTitle() const {
    return QString::fromUtf8(SettingsView::websiteTitle);
}

void SettingsBridge::setLaunchAtLogin(bool on) {
    m_view->setLaunchAtLogin(on);
    emit switchesChanged();
}
void SettingsBridge::setRemindToMatch(bool on) {
    m_view->setRemindToMatch(on);
    emit switchesChanged();
}
void SettingsBridge::setPauseOnLowPower(bool on) {
    m_view->setPauseOnLowPower(on);
    emit switchesChanged();
}
void SettingsBridge::setAutoUpdate(bool on) {
    m_view->setAutoUpdate(on);
    emit switchesChanged();
}
void SettingsBridge::checkForUpdates() {
    m_view->checkForUpdates();
}
void SettingsBridge::sendFeedback() {
    m_view->sendFeedback();
}
void SettingsBridge::openWebsite() {
    m_view->openWebsite();
}

} // namespace drovane::desktop
