#pragma once

#include "platform/Window.h"

#include <memory>

namespace drovane {

class SettingsView;

// The settings window as a backend shows it: a fixed-size, titled, closable window over a
// SettingsView. Closing it only hides it. Main thread only.
class SettingsWindow : public Window {
public:
    // Orders the window in front and makes it key.
    virtual void show() = 0;
    // No control keeps the keyboard focus.
    virtual void clearFocus() = 0;
};

// Makes settings windows; the backend's. Main thread only.
class SettingsWindows {
public:
    virtual ~SettingsWindows() = default;
    // A new window titled "Drovane Settings" whose view is 460 x 420, centred on the screen, not
    // shown yet.
    virtual std::shared_ptr<SettingsWindow> makeSettingsWindow(std::shared_ptr<SettingsView> view) = 0;
};

} // namespace drovane
