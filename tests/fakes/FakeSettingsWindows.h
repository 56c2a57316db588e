#pragma once

#include "fakes/FakeLibraryWindows.h"
#include "ui/SettingsWindow.h"

#include <memory>
#include <string>
#include <vector>

namespace drovane::fakes {

// A settings window that records what it is asked.
class FakeSettingsWindow final : public FakeWindow<SettingsWindow> {
public:
    explicit FakeSettingsWindow(std::shared_ptr<SettingsView> v) : view(std::move(v)) {}

    Rect frame() const override { return {{730, 330}, {460, 420}}; }
    void show() override { visible = true; }
    void clearFocus() override {}

    // Weakly, as the controller owns it: the view holds the platform, which holds the windows.
    std::weak_ptr<SettingsView> view;
};

class FakeSettingsWindows final : public SettingsWindows {
public:
    std::shared_ptr<SettingsWindow> makeSettingsWindow(std::shared_ptr<SettingsView> view) override {
        made.push_back(std::make_shared<FakeSettingsWindow>(std::move(view)));
        return made.back();
    }
    std::vector<std::shared_ptr<FakeSettingsWindow>> made;
};

} // namespace drovane::fakes
