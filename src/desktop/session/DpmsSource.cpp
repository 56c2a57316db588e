#include "desktop/session/DpmsSource.h"

namespace drovane::desktop {

DpmsSource::DpmsSource(std::shared_ptr<MainQueue> mainQueue, Reader reader, double intervalSeconds)
    : m_reader(std::move(reader)), m_poller(std::move(mainQueue), intervalSeconds, [this] { read(); }) {}

void DpmsSource::setWallpaperShown(bool shown) {
    if (m_reader) {
        m_poller.setShown(shown);
    }
}

void DpmsSource::read() {
    const std::optional<bool> asleep = m_reader();
    if (!asleep || *asleep == m_asleep) {
        return;
    }
    m_asleep = *asleep;
    if (onChanged) {
        onChanged();
    }
}

} // namespace drovane::desktop
