#include "desktop/x11/XcbConnection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdlib>

namespace drovane::desktop {

std::shared_ptr<XcbConnection> XcbConnection::open(const std::string& display) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) {
            xcb_disconnect(connection);
        }
        return nullptr;
    }
    return std::shared_ptr<XcbConnection>(new XcbConnection(connection, screenNumber));
}

XcbConnection::XcbConnection(xcb_connection_t* connection, int screenNumber)
    : m_connection(connection), m_screenNumber(screenNumber) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem; ++i) {
        xcb_screen_next(&it);
    }
    m_screen = it.data;

    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            dispatch(event);
        }
        if (hasError()) {
            m_notifier->setEnabled(false); // the server went away; nothing more will come
        }
    });
    // Replies waited for may have pulled events off the socket: hand those out before sleeping.
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { dispatchQueued(); });
    }
}

XcbConnection::~XcbConnection() {
    m_notifier.reset();
    xcb_disconnect(m_connection);
}

std::vector<xcb_atom_t> XcbConnection::atoms(const std::vector<std::string>& names) {
    std::vector<xcb_intern_atom_cookie_t> cookies(names.size());
    std::vector<bool> asked(names.size(), false);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!m_atoms.count(names[i])) {
            cookies[i] =
                xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(names[i].size()), names[i].c_str());
            asked[i] = true;
        }
    }
    std::vector<xcb_atom_t> result(names.size(), XCB_ATOM_NONE);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (asked[i]) {
            xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_connection, cookies[i], nullptr);
            if (reply) {
                m_atoms[names[i]] = reply->atom;
                std::free(reply);
            }
        }
        auto it = m_atoms.find(names[i]);
        result[i] = it == m_atoms.end() ? xcb_atom_t(XCB_ATOM_NONE) : it->second;
    }
    return result;
}

Subscription XcbConnection::observeEvents(std::function<void(const xcb_generic_event_t&)> handler) {
    return m_handlers.add(std::move(handler));
}

void XcbConnection::dispatchQueued() {
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_connection)) {
        dispatch(event);
    }
}

void XcbConnection::dispatch(xcb_generic_event_t* event) {
    std::unique_ptr<xcb_generic_event_t, void (*)(void*)> owned(event, std::free);
    m_handlers.notify(*owned);
}

} // namespace drovane::desktop
