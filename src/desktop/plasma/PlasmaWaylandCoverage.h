#pragma once

#include "desktop/plasma/PlasmaCoverage.h"

#include <QObject>
#include <cstdint>
#include <map>
#include <memory>

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct org_kde_plasma_window;
struct org_kde_plasma_window_management;

namespace drovane::desktop {

// Coverage on Plasma's Wayland session, as KWin's window management protocol tells it: a screen
// on which a full-screen window (not minimized) lies is covered. KWin offers the protocol only to
// programs whose desktop entry asks for it (X-KDE-Wayland-Interfaces).
class PlasmaWaylandCoverage final : public QObject, public PlasmaCoverage {
public:
    // Over a connection of its own to the compositor; nothing when there is none or it does not
    // offer the protocol to this program.
    static std::unique_ptr<PlasmaWaylandCoverage> open();
    ~PlasmaWaylandCoverage() override;

    void follow(const std::vector<Rect>& screens) override;

    // What the compositor says of one window; public for the protocol's handlers.
    struct Window {
        PlasmaWaylandCoverage* owner = nullptr;
        org_kde_plasma_window* proxy = nullptr;
        std::uint32_t state = 0;
        Rect geometry;
    };
    void add(org_kde_plasma_window* proxy);
    void remove(Window* window);
    void evaluate();

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    org_kde_plasma_window_management* m_management = nullptr;
    std::uint32_t m_version = 0;

private:
    PlasmaWaylandCoverage() = default;
    void dispatch();

    std::map<Window*, std::unique_ptr<Window>> m_windows;
    std::vector<Rect> m_screens;
    std::vector<bool> m_covered;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace drovane::desktop
