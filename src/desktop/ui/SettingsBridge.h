#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace drovane {
class SettingsView;
}

namespace drovane::desktop {

// The settings view as QML sees it. A switch's state is re-read after every change, since what
// shows may differ from what was asked (a login item the system refused). Main thread only.
class SettingsBridge final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY switchesChanged)
    Q_PROPERTY(bool launchAtLoginEnabled READ launchAtLoginEnabled CONSTANT)
    Q_PROPERTY(bool remindToMatch READ remindToMatch NOTIFY switchesChanged)
    Q_PROPERTY(bool pauseOnLowPower READ pauseOnLowPower NOTIFY switchesChanged)
    Q_PROPERTY(bool autoUpdate READ autoUpdate NOTIFY switchesChanged)
    Q_PROPERTY(QString appName READ appName CONSTANT)
    Q_PROPERTY(QString versionLine READ versionLine CONSTANT)
    Q_PROPERTY(QString creditLine READ creditLine CONSTANT)
    Q_PROPERTY(QString launchAtLoginTitle READ launchAtLoginTitle CONSTANT)
    Q_PROPERTY(QString remindToMatchTitle READ remindToMatchTitle CONSTANT)
    Q_PROPERTY(QString pauseOnLowPowerTitle READ pauseOnLowPowerTitle CONSTANT)
    Q_PROPERTY(QString autoUpdateTitle READ autoUpdateTitle CONSTANT)
    Q_PROPERTY(QString checkForUpdatesTitle READ checkForUpdatesTitle CONSTANT)
    Q_PROPERTY(QString sendFeedbackTitle READ sendFeedbackTitle CONSTANT)
    Q_PROPERTY(QString websiteTitle READ websiteTitle CONSTANT)

public:
    SettingsBridge(std::shared_ptr<SettingsView> view, QObject* parent);
    ~SettingsBridge() override;

    bool launchAtLogin() const;
    bool launchAtLoginEnabled() const;
    bool remindToMatch() const;
    bool pauseOnLowPower() const;
    bool autoUpdate() const;
    QString appName() const;
    QString versionLine() const;
    QString creditLine() const;
    QString launchAtLoginTitle() const;
    QString remindToMatchTitle() const;
    QString pauseOnLowPowerTitle() const;
    QString autoUpdateTitle() const;
    QString checkForUpdatesTitle() const;
    QString sendFeedbackTitle() const;
    QString websiteTitle() const;

    Q_INVOKABLE void setLaunchAtLogin(bool on);
    Q_INVOKABLE void setRemindToMatch(bool on);
    Q_INVOKABLE void setPauseOnLowPower(bool on);
    Q_INVOKABLE void setAutoUpdate(bool on);
    Q_INVOKABLE void checkForUpdates();
    Q_INVOKABLE void sendFeedback();
    Q_INVOKABLE void openWebsite();

signals:
    void switchesChanged();

private:
    std::shared_ptr<SettingsView> m_view;
};

} // namespace drovane::desktop
