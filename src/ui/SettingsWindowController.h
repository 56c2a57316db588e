#pragma once

#include "platform/Platform.h"
#include "ui/SettingsView.h"
#include "ui/SettingsWindow.h"

#include <memory>

namespace drovane {

class AppModel;

// Owns the settings window and its view. Made on the first request for the settings and kept
// for the rest of the run, so that the switches are read once, not at every showing. Main
// thread only.
class SettingsWindowController : public std::enable_shared_from_this<SettingsWindowController> {
    struct Passkey {};

public:
    // A window through the platform's maker (none where the platform makes no settings
    // windows) over a view whose low-power switch reaches `engine`.
    static std::shared_ptr<SettingsWindowController> create(const Platform& platform,
                                                            std::weak_ptr<AppModel> engine);
    SettingsWindowController(Passkey, const Platform& platform, std::weak_ptr<AppModel> engine);
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    const std::shared_ptr<SettingsView>& view() const { return m_view; }
    // Null where the platform makes no settings windows.
    const std::shared_ptr<SettingsWindow>& window() const { return m_window; }

    // Brings the application and the window to the front; once shown, no control is focused.
    void show();

private:
    const Platform m_platform;
    const std::shared_ptr<SettingsView> m_view;
    std::shared_ptr<SettingsWindow> m_window;
};

} // namespace drovane
