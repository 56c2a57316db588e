#pragma once

#include "platform/DesktopBackground.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

namespace drovane::desktop {

// The desktop's own background, set the way whatever paints the desktop keeps it: on GNOME its
// background and screen-saver pictures (light and dark), on Cinnamon (nemo's desktop) and MATE
// (caja's) their background picture, all through the dconf writer on the session bus as
// gsettings does; on Plasma every desktop's image wallpaper through the shell's scripting
// interface; on Xfce every monitor's and workspace's backdrop through xfconf; pcmanfm's desktop
// through pcmanfm itself. Other desktops are not told. Main thread only.
class DBusDesktopBackground final : public DesktopBackground {
public:
    enum class Setter { Gnome, Plasma, Xfce, Cinnamon, Mate, Pcmanfm, None };

    // `desktop` is XDG_CURRENT_DESKTOP (colon-separated names); pictures are kept in
    // `pictureFolder`; `iconProgram` tells which program paints the desktop now, if any (see
    // setterFor).
    DBusDesktopBackground(QString desktop, std::string pictureFolder,
                          QDBusConnection bus = QDBusConnection::sessionBus(),
                          std::function<std::string()> iconProgram = {});
    ~DBusDesktopBackground() override;

    std::string pictureFolder() const override { return m_folder; }
    bool canSetPicture() const override;
    void setPicture(const std::string& path, std::function<void(bool applied)> done) override;
    bool showsFilm() const override { return m_filmShown && m_filmShown(); }

    // Tells whether Plasma's wallpaper is Drovane's plugin now; a still is then not set there.
    void setFilmShown(std::function<bool()> filmShown) { m_filmShown = std::move(filmShown); }

    // Who keeps the background: the program painting the desktop when it is one of those known
    // (its WM_CLASS class, any case), else the desktop the session names.
    static Setter setterFor(const QString& desktop, const std::string& iconProgram);

    // Plasma's script that makes `url` the image of every desktop; the URL is quoted as a
    // JavaScript string literal, whatever characters the path holds.
    static QString plasmaScript(const QString& url);

private:
    Setter setter() const;
    void setXfceBackdrops(const QString& path, std::function<void(bool)> done);
    void runPcmanfm(const QString& path, std::function<void(bool)> done);
    // Sends `call` and hands whether it succeeded to `done`.
    void send(const QDBusMessage& call, std::function<void(bool)> done);

    QString m_desktop;
    std::string m_folder;
    std::function<std::string()> m_iconProgram;
    std::function<bool()> m_filmShown;
    QDBusConnection m_bus;
    // Replies arrive only while this lives.
    std::unique_ptr<QObject> m_context;
};

} // namespace drovane::desktop
