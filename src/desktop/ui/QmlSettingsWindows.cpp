#include "desktop/ui/QmlSettingsWindows.h"

#include "desktop/ui/QmlSettingsWindow.h"

namespace drovane::desktop {

std::shared_ptr<SettingsWindow> QmlSettingsWindows::makeSettingsWindow(std::shared_ptr<SettingsView> view) {
    return std::make_shared<QmlSettingsWindow>(std::move(view));
}

} // namespace drovane::desktop
