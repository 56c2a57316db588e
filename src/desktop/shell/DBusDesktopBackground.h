#pragma once

#include "platform/DesktopBackground.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

namespace drovane::desktop {

// The desktop's own background, set the way the running desktop keeps it: on GNOME its
// background and screen-saver pictures (light and dark) through the dconf writer on the session
// bus, as gsettings does; on Plasma every desktop's image wallpaper through the shell's
// scripting interface. Other desktops are not told. Main thread only.
class DBusDesktopBackground final : public DesktopBackground {
public:
    // `desktop` is XDG_CURRENT_DESKTOP (colon-separated names); pictures are kept in
    // `pictureFolder`.
    DBusDesktopBackground(QString desktop, std::string pictureFolder,
                          QDBusConnection bus = QDBusConnection::sessionBus());
    ~DBusDesktopBackground() override;

    std::string pictureFolder() const override { return m_folder; }
    void setPicture(const std::string& path, std::function<void(bool applied)> done) override;

    // Plasma's script that makes `url` the image of every desktop; the URL is quoted as a
    // JavaScript string literal, whatever characters the path holds.
    static QString plasmaScript(const QString& url);

private:
    enum class Kind { Gnome, Plasma, Other };

    Kind m_kind;
    std::string m_folder;
    QDBusConnection m_bus;
    // Replies arrive only while this lives.
    std::unique_ptr<QObject> m_context;
};

} // namespace drovane::desktop
