#include "desktop/x11/X11Dpms.h"

#include "platform/Log.h"

#include <cstdlib>
#include <memory>
#include <xcb/dpms.h>
#include <xcb/xcb.h>

namespace drovane::desktop {

DpmsReader openDpmsReader(const std::string& display, Log& log) {
    std::shared_ptr<xcb_connection_t> connection(
        xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr), xcb_disconnect);
    if (!connection || xcb_connection_has_error(connection.get())) {
        log.line("Drovane: no X display; display sleep is not followed");
        return {};
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection.get(), &xcb_dpms_id);
    if (!extension || !extension->present) {
        log.line("Drovane: the X server has no DPMS; display sleep is not followed");
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

} // namespace drovane::desktop
