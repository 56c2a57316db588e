#pragma once

#include "platform/Alerts.h"

#include <functional>
#include <vector>

namespace drovane {

// Alerts answered by the test: each one shown waits for respond(); handles record progress.
class RecordingAlerts final : public Alerts {
public:
    struct Shown {
        AlertContent content;
        const Window* parent;
        std::function<void(AlertResponse)> completion;
        std::vector<double> progress;
        bool closed = false;
    };
    std::shared_ptr<AlertHandle> show(const AlertContent& alert, const Window* parent,
                                      std::function<void(AlertResponse)> completion) override {
        shown.push_back({alert, parent, std::move(completion), {}, false});
        if (onShow) {
            onShow();
        }
        return std::make_shared<Handle>(*this, shown.size() - 1);
    }
    void respond(int button) { shown.back().completion({button, false}); }

    std::vector<Shown> shown;
    std::function<void()> onShow;

private:
    struct Handle final : AlertHandle {
        Handle(RecordingAlerts& owner, std::size_t at) : alerts(owner), index(at) {}
        void setProgress(double fraction) override { alerts.shown[index].progress.push_back(fraction); }
        void setInformativeText(const std::string& text) override {
            alerts.shown[index].content.informativeText = text;
        }
        void close() override { alerts.shown[index].closed = true; }
        RecordingAlerts& alerts;
        std::size_t index;
    };
};

} // namespace drovane
