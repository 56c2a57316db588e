#pragma once

#include "platform/StatusBar.h"

#include <memory>
#include <optional>
#include <vector>

namespace drovane::fakes {

// A status item that remembers what it was given; the test opens its menu.
class FakeStatusItem final : public StatusItem {
public:
    explicit FakeStatusItem(bool button) : m_button(button) {}

    bool hasButton() const override { return m_button; }
    void setIcon(const StatusIcon& i) override { icon = i; }
    void setToolTip(const std::string&) override {}
    void setMenuBuilder(std::function<Menu()> build) override { builder = std::move(build); }
    void menuStateChanged() override {}

    // The menu as a host would show it when the user opens it now.
    Menu open() const { return builder ? builder() : Menu{}; }

    std::optional<StatusIcon> icon;
    std::function<Menu()> builder;

private:
    bool m_button;
};

class FakeStatusBar final : public StatusBar {
public:
    std::shared_ptr<StatusItem> makeItem() override {
        items.push_back(std::make_shared<FakeStatusItem>(hostPresent));
        return items.back();
    }

    // Whether the items made from now on have a button.
    bool hostPresent = true;
    std::vector<std::shared_ptr<FakeStatusItem>> items;
};

} // namespace drovane::fakes
