#include "desktop/plasma/PlasmaWaylandCoverage.h"

#include "plasma-window-management-client-protocol.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cstring>
#include <wayland-client.h>

namespace drovane::desktop {

namespace {

// Every version this program knows the events of; a later one's are never sent to it.
constexpr std::uint32_t knownVersion = 16;

using Window = PlasmaWaylandCoverage::Window;

Window& windowOf(void* data) {
    return *static_cast<Window*>(data);
}

// The window's events; only its state, geometry and end matter here.
void ignoreText(void*, org_kde_plasma_window*, const char*) {}
void ignoreNumber(void*, org_kde_plasma_window*, std::uint32_t) {}
void ignoreInt(void*, org_kde_plasma_window*, std::int32_t) {}
void ignoreEvent(void*, org_kde_plasma_window*) {}
void ignoreParent(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}
void ignoreMenu(void*, org_kde_plasma_window*, const char*, const char*) {}
void stateChanged(void* data, org_kde_plasma_window*, std::uint32_t flags) {
    windowOf(data).state = flags;
    windowOf(data).owner->evaluate();
}
void geometryChanged(void* data, org_kde_plasma_window*, std::int32_t x, std::int32_t y, std::uint32_t width,
                     std::uint32_t height) {
    windowOf(data).geometry = {{double(x), double(y)}, {double(width), double(height)}};
    windowOf(data).owner->evaluate();
}
void unmapped(void* data, org_kde_plasma_window*) {
    windowOf(data).owner->remove(&windowOf(data));
}

const org_kde_plasma_window_listener windowListener{
    ignoreText,      // title_changed
    ignoreText,      // app_id_changed
    stateChanged,    // state_changed
    ignoreInt,       // virtual_desktop_changed
    ignoreText,      // themed_icon_name_changed
    unmapped,        // unmapped
    ignoreEvent,     // initial_state
    ignoreParent,    // parent_window
    geometryChanged, // geometry
    ignoreEvent,     // icon_changed
    ignoreNumber,    // pid_changed
    ignoreText,      // virtual_desktop_entered
    ignoreText,      // virtual_desktop_left
    ignoreMenu,      // application_menu
    ignoreText,      // activity_entered
    ignoreText,      // activity_left
    ignoreText,      // resource_name_changed
};

void showDesktopChanged(void*, org_kde_plasma_window_management*, std::uint32_t) {}
void windowMapped(void* data, org_kde_plasma_window_management* management, std::uint32_t id) {
    auto* self = static_cast<PlasmaWaylandCoverage*>(data);
    if (self->m_version < 13) { // later versions name it by its uuid as well, in window_with_uuid
        self->add(org_kde_plasma_window_management_get_window(management, id));
    }
}
void stackingChanged(void*, org_kde_plasma_window_management*, wl_array*) {}
void stackingUuidChanged(void*, org_kde_plasma_window_management*, const char*) {}
void windowWithUuid(void* data, org_kde_plasma_window_management* management, std::uint32_t,
                    const char* uuid) {
    static_cast<PlasmaWaylandCoverage*>(data)->add(
        org_kde_plasma_window_management_get_window_by_uuid(management, uuid));
}

const org_kde_plasma_window_management_listener managementListener{
    showDesktopChanged, windowMapped, stackingChanged, stackingUuidChanged, windowWithUuid,
};

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
    auto* self = static_cast<PlasmaWaylandCoverage*>(data);
    if (std::strcmp(interface, org_kde_plasma_window_management_interface.name) == 0 && !self->m_management) {
        self->m_version = std::min(version, knownVersion);
        self->m_management = static_cast<org_kde_plasma_window_management*>(
            wl_registry_bind(registry, name, &org_kde_plasma_window_management_interface, self->m_version));
        org_kde_plasma_window_management_add_listener(self->m_management, &managementListener, self);
    }
}
void globalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{global, globalRemoved};

} // namespace

std::unique_ptr<PlasmaWaylandCoverage> PlasmaWaylandCoverage::open() {
    std::unique_ptr<PlasmaWaylandCoverage> coverage(new PlasmaWaylandCoverage());
    coverage->m_display = wl_display_connect(nullptr);
    if (!coverage->m_display) {
        return nullptr;
    }
    coverage->m_registry = wl_display_get_registry(coverage->m_display);
    wl_registry_add_listener(coverage->m_registry, &registryListener, coverage.get());
    // The globals, then the windows the manager announces on binding.
    if (wl_display_roundtrip(coverage->m_display) < 0 || !coverage->m_management ||
        wl_display_roundtrip(coverage->m_display) < 0) {
        return nullptr;
    }
    coverage->m_notifier =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(coverage->m_display), QSocketNotifier::Read);
    QObject::connect(coverage->m_notifier.get(), &QSocketNotifier::activated, coverage.get(),
                     [self = coverage.get()] { self->dispatch(); });
    return coverage;
}

PlasmaWaylandCoverage::~PlasmaWaylandCoverage() {
    m_notifier.reset();
    for (auto& [key, window] : m_windows) {
        org_kde_plasma_window_destroy(window->proxy);
    }
    if (m_management) {
        org_kde_plasma_window_management_destroy(m_management);
    }
    if (m_registry) {
        wl_registry_destroy(m_registry);
    }
    if (m_display) {
        wl_display_disconnect(m_display);
    }
}

void PlasmaWaylandCoverage::follow(const std::vector<Rect>& screens) {
    m_screens = screens;
    m_covered.assign(screens.size(), false);
    evaluate();
}

void PlasmaWaylandCoverage::add(org_kde_plasma_window* proxy) {
    auto window = std::make_unique<Window>();
    window->owner = this;
    window->proxy = proxy;
    org_kde_plasma_window_add_listener(proxy, &windowListener, window.get());
    Window* key = window.get();
    m_windows[key] = std::move(window);
}

void PlasmaWaylandCoverage::remove(Window* window) {
    auto it = m_windows.find(window);
    if (it == m_windows.end()) {
        return;
    }
    org_kde_plasma_window_destroy(window->proxy);
    m_windows.erase(it);
    evaluate();
}

void PlasmaWaylandCoverage::evaluate() {
    for (std::size_t i = 0; i < m_screens.size(); ++i) {
        const bool covered = std::any_of(m_windows.begin(), m_windows.end(), [&](const auto& entry) {
            const Window& w = *entry.second;
            return (w.state & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_FULLSCREEN) &&
                   !(w.state & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED) &&
                   centreIn(w.geometry, m_screens[i]);
        });
        if (covered != m_covered[i]) {
            m_covered[i] = covered;
            if (onCoveredChanged) {
                onCoveredChanged(m_screens[i], covered);
            }
        }
    }
}

void PlasmaWaylandCoverage::dispatch() {
    if (wl_display_dispatch(m_display) < 0) {
        m_notifier->setEnabled(false); // the compositor went; the screens keep their last state
        return;
    }
    wl_display_flush(m_display);
}

} // namespace drovane::desktop
