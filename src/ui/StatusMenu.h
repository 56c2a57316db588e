#pragma once

#include "platform/Menu.h"
#include "platform/Url.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

class AppModel;
class Library;
struct Vid;
class Log;
class StatusBar;
class StatusItem;
class Workspace;
struct Platform;

// The program's permanent face: one status-bar item with the glyph and a menu made from the
// engine's and the download queue's live state, whose choices call the engine, the queue, the
// workspace and the two window callbacks. Main thread only.
class StatusMenu : public std::enable_shared_from_this<StatusMenu> {
    struct Passkey {};

public:
    // A menu for `model`, which outlives it, listing the films of `library`, on the platform's
    // status bar, workspace and log. Nothing is shown before setupMenu().
    static std::shared_ptr<StatusMenu> create(const Platform& platform,
                                              std::shared_ptr<const Library> library, AppModel& model);
    StatusMenu(Passkey, const Platform& platform, std::shared_ptr<const Library> library, AppModel& model);
    StatusMenu(const StatusMenu&) = delete;
    StatusMenu& operator=(const StatusMenu&) = delete;

    AppModel& model;
    // Made by setupMenu(); null before.
    std::shared_ptr<StatusItem> statusItem;
    std::function<void()> onOpenWindow;
    std::function<void()> onOpenSettings;

    // Creates the item, its icon and its menu, and dims the icon while the engine is throttled.
    // Called once.
    void setupMenu();
    // Empties `menu` and fills it from the state of this moment.
    void rebuildMenu(Menu& menu) const;
    // The engine's or the queue's state changed: hosts that show the menu without asking first
    // must see it current.
    void stateChanged();

    void openWindow();
    void togglePause();
    void selectVideo(const Url& film);
    void cancelDownload();
    void openFolder();
    void openSettings();
    void quitApp();

private:
    // The films of the catalogue grouped by location, groups in case-insensitive order.
    Menu filmSubmenu(const std::vector<Vid>& films, const std::optional<Url>& playing) const;
    // "Downloading 3/7 (1 failed) — Cancel"; nothing while the queue is idle.
    std::optional<std::string> downloadLine() const;
    // Binds `action` to this menu, held weakly.
    std::function<void()> bound(void (StatusMenu::*action)()) const;

    const std::shared_ptr<const Library> m_library;
    const std::shared_ptr<StatusBar> m_statusBar;
    const std::shared_ptr<Workspace> m_workspace;
    const std::shared_ptr<Log> m_log;
};

} // namespace drovane
