#pragma once

#include "app/LaunchOptions.h"
#include "library/SidebarSelection.h"
#include "platform/ApplicationDelegate.h"
#include "platform/Platform.h"
#include "platform/Subscription.h"

#include <memory>
#include <optional>
#include <string>

namespace drovane {

class AppModel;
class Library;
class LibraryStore;
class MainWindowController;
class SettingsWindowController;
class StatusMenu;
class UpdateCheck;
class UpdateInstall;
class Window;

// The root of the program: it makes the wallpaper engine, runs the launch sequence, and serves
// the platform's requests (URLs of the program's scheme, reopening, screen changes). Lives for
// the whole process. Main thread only.
class AppDelegate final : public ApplicationDelegate, public std::enable_shared_from_this<AppDelegate> {
    struct Passkey {};

public:
    // A delegate with a new wallpaper engine, on `platform`, for the films of `library`.
    static std::shared_ptr<AppDelegate> create(const Platform& platform,
                                               std::shared_ptr<const Library> library);
    AppDelegate(Passkey, const Platform& platform, std::shared_ptr<const Library> library);

    void applicationDidFinishLaunching() override;
    void openUrls(const std::vector<Url>& urls) override;
    bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
    // The screens were added, removed or rearranged.
    void screensChanged();
    // Plays the film asked for by URL once its file is in the video folder; false otherwise.
    bool adoptPendingFilm();
    // Shows the library window and brings the application to the front.
    void showMainWindow();
    // Shows the settings window in front.
    void showSettings();

    const std::shared_ptr<AppModel> model;
    // The status-bar item and its menu, made at launch.
    std::shared_ptr<StatusMenu> statusMenu;
    // The update check the settings window and the daily automatic check run.
    std::shared_ptr<UpdateCheck> updateCheck;
    std::shared_ptr<UpdateInstall> updateInstall;
    // The sidebar selection the library window starts with ("--select").
    SidebarSelection startSelection = SidebarSelection::all();
    // The upper-cased identifier of a film asked for by URL that is not on disk yet.
    std::optional<std::string> pendingFilm;
    // The library window's controller, made on the first request to show it.
    std::shared_ptr<MainWindowController> mainWindow;
    // The store the library window shows, made on first use.
    const std::shared_ptr<LibraryStore>& libraryStore();
    // The settings window's controller, made on the first request to show it.
    std::shared_ptr<SettingsWindowController> settingsWindow;

private:
    // The film to play at launch: a ".mov" named on the command line, else the stored choice,
    // else the catalogue's first film; none with "--onboarding".
    std::optional<Url> chooseLaunchFilm() const;
    // The library window exists and is on screen.
    bool libraryVisible() const;
    // The display name of the film at `url`: its catalogue label, else its file's base name.
    std::string displayName(const Url& url) const;
    // The window the match reminder attaches to as a sheet: the library window while it shows.
    const Window* reminderParent() const;

    const Platform m_platform;
    const std::shared_ptr<const Library> m_library;
    LaunchOptions m_options;
    Subscription m_screens;
    std::shared_ptr<LibraryStore> m_libraryStore;
};

} // namespace drovane
