#include "desktop/x11/X11OcclusionTracker.h"

#include "desktop/x11/XcbConnection.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace drovane::desktop {

namespace {

constexpr std::uint32_t listedWindowEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;

bool contains(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom) {
    return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

} // namespace

X11OcclusionTracker::X11OcclusionTracker(std::shared_ptr<XcbConnection> connection, bool ownWallpapers)
    : m_connection(std::move(connection)), m_reader(m_connection),
      m_restackAtom(m_connection->atom("_NET_RESTACK_WINDOW")),
      m_activeAtom(m_connection->atom("_NET_ACTIVE_WINDOW")),
      m_supportedAtom(m_connection->atom("_NET_SUPPORTED")), m_ownWallpapers(ownWallpapers) {
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(coalesceMs);
    connect(&m_coalesce, &QTimer::timeout, this, [this] { analyse(); });

    // Our connection's own selection on the root: frames mapping, moving and going (no window
    // manager needed), and the manager's stack and desktop properties.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection->get(), m_connection->root(), XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(m_connection->get());
    m_events = m_connection->observeEvents([this](const xcb_generic_event_t& event) { onEvent(event); });
}

X11OcclusionTracker::~X11OcclusionTracker() = default;

void X11OcclusionTracker::track(std::uint32_t window, Rect screen) {
    auto [it, added] = m_tracked.try_emplace(window);
    it->second.screen = screen;
    if (added) {
        const std::uint32_t events = XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        // Checked: the selection takes effect before this returns, so a window mapped over it
        // right after (by another client) is seen.
        std::free(xcb_request_check(
            m_connection->get(),
            xcb_change_window_attributes_checked(m_connection->get(), window, XCB_CW_EVENT_MASK, &events)));
        m_watched.erase(window); // our mask on it is now the tracked one
    }
    scheduleAnalysis();
}

void X11OcclusionTracker::untrack(std::uint32_t window) {
    if (m_tracked.erase(window)) {
        const std::uint32_t none = 0;
        xcb_change_window_attributes(m_connection->get(), window, XCB_CW_EVENT_MASK, &none);
        xcb_flush(m_connection->get());
    }
}

bool X11OcclusionTracker::isVisible(std::uint32_t window) const {
    auto it = m_tracked.find(window);
    return it == m_tracked.end() || it->second.visible;
}

void X11OcclusionTracker::onEvent(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
    case 0:
        return; // an error about a window that went away meanwhile
    case XCB_VISIBILITY_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_visibility_notify_event_t&>(event);
        if (auto it = m_tracked.find(e.window); it != m_tracked.end()) {
            it->second.obscured = e.state == XCB_VISIBILITY_FULLY_OBSCURED;
            scheduleAnalysis();
        }
        return;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        const bool relevant = e.window == m_connection->root() ? contains(m_reader.rootAtoms(), e.atom)
                                                               : contains(m_reader.windowAtoms(), e.atom);
        if (relevant) {
            scheduleAnalysis();
        }
        return;
    }
    case XCB_CONFIGURE_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_DESTROY_NOTIFY:
    case XCB_REPARENT_NOTIFY:
    case XCB_CREATE_NOTIFY:
        scheduleAnalysis();
        return;
    default:
        return;
    }
}

void X11OcclusionTracker::scheduleAnalysis() {
    // Not restarted by later events: a long drag still gets an analysis every interval.
    if (!m_tracked.empty() && !m_coalesce.isActive()) {
        m_coalesce.start();
    }
}

void X11OcclusionTracker::analyse() {
    if (m_tracked.empty() || m_connection->hasError()) {
        return;
    }
    std::vector<xcb_window_t> windows;
    for (const auto& [id, tracked] : m_tracked) {
        windows.push_back(id);
    }
    X11StackReader::Reading reading = m_reader.read(windows);
    for (StackedWindow& w : reading.snapshot.windows) {
        if (m_tracked.count(w.id)) {
            w.applicationWindow = false;
            w.desktopWindow = false;
        }
    }
    watchWindows(reading.snapshot.windows);
    if (m_ownWallpapers) {
        keepBelowOtherDesktops(reading.snapshot);
    }

    std::vector<std::pair<std::uint32_t, bool>> changes;
    for (auto& [id, tracked] : m_tracked) {
        auto viewable = reading.viewable.find(id);
        const bool mapped = viewable != reading.viewable.end() && viewable->second;
        const Coverage coverage = screenCoverage(reading.snapshot, id, tracked.screen);
        const bool visible = mapped && !(!reading.composited && tracked.obscured) && !coverage.covered;
        std::string hiddenBy = mapped ? coverage.desktopProgram : std::string();
        const bool hiderChanged = hiddenBy != tracked.hiddenBy;
        tracked.hiddenBy = std::move(hiddenBy);
        if (visible != tracked.visible || hiderChanged) {
            tracked.visible = visible;
            changes.emplace_back(id, visible);
        }
    }
    // Events read while waiting for the replies, handed out after this analysis.
    QMetaObject::invokeMethod(
        this, [this] { m_connection->dispatchQueued(); }, Qt::QueuedConnection);
    for (const auto& [id, visible] : changes) {
        if (onVisibilityChanged && m_tracked.count(id)) {
            onVisibilityChanged(id, visible);
        }
    }
}

std::string X11OcclusionTracker::hidingProgram() const {
    for (const auto& [id, tracked] : m_tracked) {
        if (!tracked.hiddenBy.empty()) {
            return tracked.hiddenBy;
        }
    }
    return {};
}

void X11OcclusionTracker::keepBelowOtherDesktops(const StackSnapshot& snapshot) {
    // Another program's desktop mapped after ours, or raised since, would have its icons hidden.
    // The manager is asked a few times per such window at most, so that one that keeps the order
    // cannot start an endless round of requests and analyses.
    xcb_connection_t* c = m_connection->get();
    bool asked = false;
    for (const auto& [id, tracked] : m_tracked) {
        const auto below = desktopsBelow(snapshot, id);
        if (below.empty() || std::all_of(below.begin(), below.end(), [this](std::uint32_t w) {
                return m_lowerRequests[w] >= maxLowerRequests;
            })) {
            continue;
        }
        for (std::uint32_t w : below) {
            ++m_lowerRequests[w];
        }
        if (!asked && !supportedByManager(m_restackAtom)) {
            // xfwm4 offers no restacking and ignores a plain lowering: its desktop is raised over
            // ours instead, as a pager activates it, and the window the user had goes back on top.
            const std::uint32_t active = activeWindow();
            sendToManager(m_activeAtom, below.back(), {2, XCB_CURRENT_TIME, 0});
            if (active != XCB_WINDOW_NONE && active != below.back()) {
                sendToManager(m_activeAtom, active, {2, XCB_CURRENT_TIME, 0});
            }
        }
        // As a pager asks (EWMH _NET_RESTACK_WINDOW), below the lowest of them, and plainly.
        sendToManager(m_restackAtom, id, {2, below.front(), XCB_STACK_MODE_BELOW});
        const std::uint32_t mode = XCB_STACK_MODE_BELOW;
        xcb_configure_window(c, id, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
        asked = true;
    }
    if (asked) {
        xcb_flush(c);
    }
}

void X11OcclusionTracker::sendToManager(xcb_atom_t type, std::uint32_t window,
                                        const std::array<std::uint32_t, 3>& data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(m_connection->get(), 0, m_connection->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

std::vector<std::uint32_t> X11OcclusionTracker::rootAtomsOf(xcb_atom_t property, xcb_atom_t type) {
    xcb_connection_t* c = m_connection->get();
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, m_connection->root(), property, type, 0, 1024),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

bool X11OcclusionTracker::supportedByManager(xcb_atom_t atom) {
    const auto supported = rootAtomsOf(m_supportedAtom, XCB_ATOM_ATOM);
    return std::find(supported.begin(), supported.end(), atom) != supported.end();
}

std::uint32_t X11OcclusionTracker::activeWindow() {
    const auto active = rootAtomsOf(m_activeAtom, XCB_ATOM_WINDOW);
    return active.empty() ? std::uint32_t{XCB_WINDOW_NONE} : active.front();
}

void X11OcclusionTracker::watchWindows(const std::vector<StackedWindow>& windows) {
    // Each listed window tells us when its state, desktop or geometry changes.
    std::set<std::uint32_t> listed;
    for (const StackedWindow& w : windows) {
        if (m_tracked.count(w.id)) {
            continue;
        }
        listed.insert(w.id);
        if (!m_watched.count(w.id)) {
            xcb_change_window_attributes(m_connection->get(), w.id, XCB_CW_EVENT_MASK, &listedWindowEvents);
        }
    }
    for (std::uint32_t id : m_watched) {
        if (!listed.count(id)) {
            const std::uint32_t none = 0;
            xcb_change_window_attributes(m_connection->get(), id, XCB_CW_EVENT_MASK, &none);
        }
    }
    m_watched = std::move(listed);
    xcb_flush(m_connection->get());
}

} // namespace drovane::desktop
