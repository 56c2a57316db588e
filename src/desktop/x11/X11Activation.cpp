#include "desktop/x11/X11Activation.h"

#include "desktop/x11/X11Properties.h"

#include <QWindow>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace drovane::desktop::x11 {

std::uint32_t serverTime() {
    if (!connection()) {
        return 0;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return 0;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    xcb_change_property(c, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(c);
    std::uint32_t time = 0;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const bool found = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
        if (found) {
            time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
        }
        std::free(event);
        if (found) {
            break;
        }
    }
    xcb_disconnect(c);
    return time;
}

void activateWithFreshTime(QWindow& window) {
    xcb_connection_t* c = connection();
    if (!c) {
        window.requestActivate();
        return;
    }
    const std::uint32_t time = serverTime();
    const xcb_window_t native = nativeWindow(window);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, native, atom("_NET_WM_USER_TIME"), XCB_ATOM_CARDINAL, 32, 1,
                        &time);

    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = native;
    event.type = atom("_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 1; // an application's request
    event.data.data32[1] = time;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    // Without a window manager nobody answers the request; focus it directly.
    window.requestActivate();
}

} // namespace drovane::desktop::x11
