#include "desktop/DpmsSource.h"

#include "platform/Platform.h"

#include <memory>
#include <xcb/dpms.h>
#include <xcb/xcb.h>

namespace drovane::desktop {

DpmsSource::Reader DpmsSource::xcbReader(const std::string& display) {
    std::shared_ptr<xcb_connection_t> connection(
        xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr), xcb_disconnect);
    if (!connection || xcb_connection_has_error(connection.get())) {
        logLine("Drovane: no X display; display sleep is not followed");
        return {};
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection.get(), &xcb_dpms_id);
    if (!extension || !extension->present) {
        logLine("Drovane: the X server has no DPMS; display sleep is not followed");
        return {};
    }
    return [connection]() -> std::optional<bool> {
        if (xcb_connection_has_error(connection.get())) {
            return std::nullopt;
        }
        xcb_generic_error_t* error = nullptr;
        std::unique_ptr<xcb_dpms_info_reply_t, void (*)(void*)> info(
            xcb_dpms_info_reply(connection.get(), xcb_dpms_info(connection.get()), &error), std::free);
        std::free(error);
        if (!info) {
            return std::nullopt;
        }
        return info->state && info->power_level != XCB_DPMS_DPMS_MODE_ON;
    };
}

DpmsSource::DpmsSource(Reader reader, double intervalSeconds)
    : m_reader(std::move(reader)), m_poller(intervalSeconds, [this] { read(); }) {}

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
