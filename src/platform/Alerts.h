#pragma once

#include "platform/Window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace drovane {

struct AlertContent {
    std::string message;
    std::string informativeText;
    // Button titles, first = default button. At least one.
    std::vector<std::string> buttons;
    // Shows a "Do not show this message again" style check box with this title when not empty.
    std::string suppressionTitle;
    // Shows a determinate progress bar as accessory (0..1, updated through the handle).
    bool showsProgress = false;
};

struct AlertResponse {
    // Index into AlertContent::buttons of the button chosen; -1 when dismissed otherwise.
    int button = -1;
    bool suppressed = false;
};

// A shown alert. Main thread only.
class AlertHandle {
public:
    virtual ~AlertHandle() = default;
    virtual void setProgress(double fraction) = 0;
    virtual void setInformativeText(const std::string& text) = 0;
    // Closes the alert without a response (its completion is not called).
    virtual void close() = 0;
};

class Alerts {
public:
    virtual ~Alerts() = default;

    // Shows the alert as a sheet on `parent` when it is visible, else application-modal after
    // bringing the application to the front. `completion` runs once on the main thread with the
    // response. Main thread.
    virtual std::shared_ptr<AlertHandle> show(const AlertContent& alert, const Window* parent,
                                              std::function<void(AlertResponse)> completion) = 0;
};

} // namespace drovane
