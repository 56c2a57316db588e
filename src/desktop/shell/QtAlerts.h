#pragma once

#include "platform/Alerts.h"

#include <memory>

class QApplication;

namespace drovane::desktop {

// Alerts as QMessageBoxes. On a visible parent (a QtBackedWindow) the alert is a sheet: modal to
// that window only. Otherwise it is application-modal and brought to the front with a fresh X11
// timestamp. Nothing here runs a nested event loop: the completion is posted to the event loop
// once the alert has ended. Main thread.
class QtAlerts final : public Alerts {
public:
    explicit QtAlerts(std::shared_ptr<QApplication> application);
    ~QtAlerts() override;

    std::shared_ptr<AlertHandle> show(const AlertContent& alert, const Window* parent,
                                      std::function<void(AlertResponse)> completion) override;

    // The accessory progress bar, in pixels.
    static constexpr int progressWidth = 300;
    static constexpr int progressHeight = 16;

private:
    std::shared_ptr<QApplication> m_application;
};

} // namespace drovane::desktop
