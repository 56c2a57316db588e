#pragma once

#include "platform/ObserverList.h"

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xcb/xcb.h>

class QSocketNotifier;

namespace drovane::desktop {

// A connection of our own to the X server, its events dispatched on the main thread from Qt's
// event loop. Made on the main thread once the application object exists. Main thread.
class XcbConnection : public QObject {
public:
    // Nothing when the display cannot be opened. `display` "" is $DISPLAY.
    static std::shared_ptr<XcbConnection> open(const std::string& display);
    ~XcbConnection() override;

    xcb_connection_t* get() const { return m_connection; }
    const xcb_screen_t& screen() const { return *m_screen; }
    int screenNumber() const { return m_screenNumber; }
    xcb_window_t root() const { return m_screen->root; }
    bool hasError() const { return xcb_connection_has_error(m_connection) != 0; }

    // The atoms of `names`, interned in one round trip and remembered.
    std::vector<xcb_atom_t> atoms(const std::vector<std::string>& names);
    xcb_atom_t atom(const std::string& name) { return atoms({name}).front(); }

    // Calls `handler` with every event (errors included, response type 0) until the
    // subscription ends.
    Subscription observeEvents(std::function<void(const xcb_generic_event_t&)> handler);

    // Hands out the events that xcb already read while waiting for replies.
    void dispatchQueued();

private:
    XcbConnection(xcb_connection_t* connection, int screenNumber);
    void dispatch(xcb_generic_event_t* event);

    xcb_connection_t* m_connection;
    const xcb_screen_t* m_screen = nullptr;
    int m_screenNumber = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<std::string, xcb_atom_t> m_atoms;
    ObserverList<const xcb_generic_event_t&> m_handlers;
};

} // namespace drovane::desktop
