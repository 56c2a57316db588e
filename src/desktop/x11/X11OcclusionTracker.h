#pragma once

#include "desktop/x11/X11StackReader.h"
#include "platform/Geometry.h"
#include "platform/Subscription.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace drovane::desktop {

class XcbConnection;

// Whether each wallpaper window can be seen. A window counts as hidden when it is not mapped,
// when application windows cover its whole screen (see screenCoverage; read from the window
// manager's stack), or, with no compositing manager running, when the X server reports it fully
// obscured (VisibilityNotify, which then counts every window, unmanaged ones too). The analysis
// runs again after the stack, the current desktop, a listed window's state or geometry, or a
// tracked window's visibility changed, once per burst of such events. Main thread.
class X11OcclusionTracker : public QObject {
public:
    // How long a burst of events is gathered into one analysis.
    static constexpr int coalesceMs = 100;

    // `ownWallpapers` false: the tracked windows are another program's desktop (plasmashell's),
    // which is not ours to restack below other desktops.
    explicit X11OcclusionTracker(std::shared_ptr<XcbConnection> connection, bool ownWallpapers = true);
    ~X11OcclusionTracker() override;

    // Follows wallpaper window `window`, which shows the screen `screen` (root coordinates in
    // X pixels). Tracking a window again updates its screen.
    void track(std::uint32_t window, Rect screen);
    void untrack(std::uint32_t window);
    // Some part of `window` can be seen; true for windows not tracked or not analysed yet.
    bool isVisible(std::uint32_t window) const;

    // The program whose own desktop window hides a tracked window now (WM_CLASS's class, or
    // "another program"); empty when none does.
    std::string hidingProgram() const;

    // Called with a tracked window whose visibility changed, after the analysis.
    std::function<void(std::uint32_t window, bool visible)> onVisibilityChanged;

private:
    struct Tracked {
        Rect screen;
        bool visible = true;
        bool obscured = false; // the server's last VisibilityNotify said fully obscured
        std::string hiddenBy;  // the program whose desktop window covers it
    };

    void onEvent(const xcb_generic_event_t& event);
    void scheduleAnalysis();
    void analyse();
    void watchWindows(const std::vector<StackedWindow>& windows);
    void keepBelowOtherDesktops(const StackSnapshot& snapshot);
    // A client message to the window manager about `window`.
    void sendToManager(xcb_atom_t type, std::uint32_t window, const std::array<std::uint32_t, 3>& data);
    std::vector<std::uint32_t> rootAtomsOf(xcb_atom_t property, xcb_atom_t type);
    bool supportedByManager(xcb_atom_t atom);
    std::uint32_t activeWindow();

    std::shared_ptr<XcbConnection> m_connection;
    X11StackReader m_reader;
    Subscription m_events;
    QTimer m_coalesce;
    std::map<std::uint32_t, Tracked> m_tracked;
    std::set<std::uint32_t> m_watched;
    static constexpr int maxLowerRequests = 3;
    const xcb_atom_t m_restackAtom;
    const xcb_atom_t m_activeAtom;
    const xcb_atom_t m_supportedAtom;
    // How often a wallpaper was asked to go below each other program's desktop window.
    std::map<std::uint32_t, int> m_lowerRequests;
    bool m_ownWallpapers;
};

} // namespace drovane::desktop
