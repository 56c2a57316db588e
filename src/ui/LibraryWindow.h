#pragma once

#include "library/SidebarSelection.h"
#include "platform/Geometry.h"
#include "platform/Window.h"
#include "ui/MainWindowActions.h"

#include <functional>
#include <memory>

namespace drovane {

class Library;
class LibraryStore;
class ThumbnailCache;

// The library window as a backend shows it: the browser over a store, acting through the
// actions. Main thread only.
class LibraryWindow : public Window {
public:
    // Orders the window in (restoring it when minimised) and makes it key.
    virtual void show() = 0;
    virtual void setFrame(Rect frame) = 0;
    virtual void setContentSize(Size size) = 0;
    // Called after the user closed the window (it is only hidden) and after each move or resize
    // that ended, with the new frame.
    std::function<void()> onClosed;
    std::function<void(Rect frame)> onFrameChanged;
};

// What a library window shows and acts on.
struct LibraryWindowContent {
    std::shared_ptr<LibraryStore> store;
    std::shared_ptr<ThumbnailCache> thumbnails;
    std::shared_ptr<const Library> library;
    MainWindowActions actions;
    SidebarSelection start;
};

// Makes library windows; the backend's. Main thread only.
class LibraryWindows {
public:
    virtual ~LibraryWindows() = default;
    // A new window of content size 1100 x 720, limited to 1000 x 680 .. 1800 x 1200, titled
    // "Drovane", centred, not shown yet.
    virtual std::shared_ptr<LibraryWindow> makeLibraryWindow(LibraryWindowContent content) = 0;
};

} // namespace drovane
