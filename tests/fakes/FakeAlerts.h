#pragma once

#include "platform/Alerts.h"

#include <functional>
#include <memory>
#include <vector>

namespace drovane::fakes {

// Records every alert shown; a test answers one by calling its completion.
class FakeAlerts final : public Alerts {
public:
    struct Shown {
        AlertContent content;
        const Window* parent = nullptr;
        std::function<void(AlertResponse)> completion;
    };

    class Handle final : public AlertHandle {
    public:
        void setProgress(double fraction) override { progress = fraction; }
        void setInformativeText(const std::string& text) override { informativeText = text; }
        void close() override { closed = true; }
        double progress = 0;
        std::string informativeText;
        bool closed = false;
    };

    std::shared_ptr<AlertHandle> show(const AlertContent& alert, const Window* parent,
                                      std::function<void(AlertResponse)> completion) override {
        shown.push_back({alert, parent, std::move(completion)});
        auto handle = std::make_shared<Handle>();
        handles.push_back(handle);
        return handle;
    }

    std::vector<Shown> shown;
    std::vector<std::shared_ptr<Handle>> handles;
};

} // namespace drovane::fakes
