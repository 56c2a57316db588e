#pragma once

#include "ui/SettingsWindow.h"

namespace drovane::desktop {

// Makes the QML settings windows. Main thread only.
class QmlSettingsWindows final : public SettingsWindows {
public:
    std::shared_ptr<SettingsWindow> makeSettingsWindow(std::shared_ptr<SettingsView> view) override;
};

} // namespace drovane::desktop
