#include "ui/SettingsWindowController.h"

namespace drovane {

std::shared_ptr<SettingsWindowController> SettingsWindowController::create(const Platform& platform,
                                                                           std::weak_ptr<AppModel> engine) {
    return std::make_shared<SettingsWindowController>(Passkey{}, platform, std::move(engine));
}

SettingsWindowController::SettingsWindowController(Passkey, const Platform& platform,
                                                   std::weak_ptr<AppModel> engine)
    : m_platform(platform), m_view(std::make_shared<SettingsView>(platform, std::move(engine))) {
    if (platform.settingsWindows) {
        m_window = platform.settingsWindows->makeSettingsWindow(m_view);
        m_view->setWindow(m_window);
    }
}

void SettingsWindowController::show() {
    // The activation policy stays: only the library window makes the application regular.
    m_platform.workspace->activate();
    if (!m_window) {
        return;
    }
    m_window->show();
    // After the window system has given the window its first focus.
    std::weak_ptr<SettingsWindowController> weakSelf = weak_from_this();
    m_platform.mainQueue->post([weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->m_window->clearFocus();
        }
    });
}

} // namespace drovane
