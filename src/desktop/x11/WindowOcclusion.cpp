#include "desktop/x11/WindowOcclusion.h"

#include <QWindow>

namespace drovane::desktop {

bool WindowOcclusion::isVisible(const QWindow& window) const {
    return window.isVisible() && window.isExposed();
}

bool WindowOcclusion::windowEvent(const QWindow& /*window*/) {
    return true;
}

Subscription WindowOcclusion::watch(const QWindow& /*window*/, std::function<void()> /*changed*/) {
    return {};
}

} // namespace drovane::desktop
