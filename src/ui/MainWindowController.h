#pragma once

#include "library/SidebarSelection.h"
#include "platform/Platform.h"
#include "ui/LibraryWindow.h"
#include "ui/MainWindowActions.h"

#include <memory>
#include <string>
#include <vector>

namespace drovane {

class AppModel;
class Library;
class LibraryStore;
class ThumbnailCache;

// Owns the library window: makes it through the platform, builds the actions the browser acts
// through, carries out deleting films, remembers the window's frame. Created once, on the first
// request to show the library, and kept for the rest of the run. Main thread only.
class MainWindowController : public std::enable_shared_from_this<MainWindowController> {
    struct Passkey {};

public:
    // The defaults key of the window's remembered frame, "x y width height".
    static constexpr const char* frameKey = "NSWindow Frame DrovaneMain";
    static constexpr const char* deleteFailedMessage = "Could not delete the selected aerials";
    // Where the catalogue is fetched from on a machine without one, on the site's root.
    static constexpr const char* catalogPath = "/aerials/entries.json";

    // A controller for `model`, which outlives it, showing `store` with the sidebar on `start`.
    static std::shared_ptr<MainWindowController> create(const Platform& platform, AppModel& model,
                                                        std::shared_ptr<LibraryStore> store,
                                                        std::shared_ptr<const Library> library,
                                                        SidebarSelection start);
    MainWindowController(Passkey, const Platform& platform, AppModel& model,
                         std::shared_ptr<LibraryStore> store, std::shared_ptr<const Library> library);
    MainWindowController(const MainWindowController&) = delete;
    MainWindowController& operator=(const MainWindowController&) = delete;

    AppModel& model;
    const std::shared_ptr<LibraryStore> store;

    const MainWindowActions& actions() const { return m_actions; }
    // Null where the platform makes no library windows.
    const std::shared_ptr<LibraryWindow>& window() const { return m_window; }
    bool isWindowVisible() const { return m_window && m_window->isVisible(); }

    // Refreshes the store, makes the application regular, activates it and shows the window.
    void showWindow();
    // Moves the files of `items` that are on disk to the Trash, moving the wallpaper off them
    // first.
    void deleteFromDevice(const std::vector<LibraryItem>& items);
    // Fetches the catalogue from the product's site into the manifest path, then rescans.
    void fetchCatalog();

private:
    MainWindowActions makeActions();
    void windowClosed();
    void restoreFrame();
    void saveFrame(Rect frame);
    // Logs why the catalogue could not be fetched and shows it in the window.
    void catalogFetchFailed(const std::string& reason);

    const Platform m_platform;
    const std::shared_ptr<const Library> m_library;
    MainWindowActions m_actions;
    std::shared_ptr<LibraryWindow> m_window;
    std::shared_ptr<HttpTask> m_catalogTask;
};

// Writes a PNG picture of `window` to `path` and logs the outcome.
void snapshot(Window& window, const std::string& path, Log& log);

} // namespace drovane
