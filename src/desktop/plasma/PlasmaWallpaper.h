#pragma once

#include "desktop/plasma/PlasmaScripts.h"
#include "desktop/render/stream/ScreenStream.h"

#include <QDBusConnection>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drovane {
class Log;
}

namespace drovane::desktop {

class TerminationRelay;

// Drovane's plugin as the wallpaper of Plasma's desktops, through plasmashell's scripting
// interface, and the earlier wallpapers given back. What each desktop had is kept in a file
// before the plugin replaces it, so that a copy that crashed or was killed gives it back after
// its next start. Main thread.
class PlasmaWallpaper final : public QObject {
public:
    // `memoryPath` is the file of the earlier wallpapers; `shellConfigPath` plasmashell's own
    // configuration file, watched for the user choosing another wallpaper.
    PlasmaWallpaper(QDBusConnection bus, std::string memoryPath, QString shellConfigPath,
                    std::shared_ptr<Log> log);
    // Gives the desktops back.
    ~PlasmaWallpaper() override;

    // Makes the plugin the wallpaper of every desktop on a screen, each showing the stream of
    // its screen; again with the new nodes whenever the streams change. No streams for a while
    // (no film) gives the desktops back until streams come again. Nothing once released.
    void show(std::vector<ScreenStream> streams);
    // Gives every desktop still showing the plugin its earlier wallpaper, waiting a few seconds
    // at most for plasmashell. False (logged, the file kept) when plasmashell did not take it.
    bool giveBack();
    // Some desktop shows the plugin because this copy made it so.
    bool isWallpaper() const { return !m_shown.empty(); }

    // The user chose another wallpaper for a desktop in Plasma's settings; every other desktop
    // has had its earlier one back, and show() does nothing from now on.
    std::function<void()> onReleased;

private:
    void evaluate(const QString& script,
                  std::function<void(std::optional<QString> printed, QString error)> done);
    void takeOver();
    void checkStillChosen();
    plasma::Remembered loadRemembered();
    void watchShellConfig();

    QDBusConnection m_bus;
    std::string m_memoryPath;
    QString m_shellConfigPath;
    std::shared_ptr<Log> m_log;
    std::vector<ScreenStream> m_streams;
    // The node each desktop was last given.
    std::map<int, std::uint32_t> m_shown;
    bool m_busy = false;
    bool m_again = false;
    bool m_released = false;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    // Streams are briefly missing while windows are rebuilt; only a lasting absence counts.
    QTimer m_absent;
    std::unique_ptr<TerminationRelay> m_relay;
    // Replies arrive only while this lives.
    std::unique_ptr<QObject> m_context;
};

} // namespace drovane::desktop
