#pragma once

#include "desktop/x11/OcclusionAnalysis.h"

#include <map>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace drovane::desktop {

class XcbConnection;

// Reads the top-level windows' stacking, geometry and states from the X server in a couple of
// round trips. With an EWMH window manager the stack is its _NET_CLIENT_LIST_STACKING; without
// one it is the root's children. Main thread.
class X11StackReader {
public:
    struct Reading {
        StackSnapshot snapshot;
        // Whether each asked-for window is viewable (false for one that no longer exists).
        std::map<xcb_window_t, bool> viewable;
        // A compositing manager runs (_NET_WM_CM_Sn has an owner): windows are redirected and the
        // server's visibility events no longer tell what can be seen.
        bool composited = false;
        bool fromWindowManager = false;
    };

    explicit X11StackReader(std::shared_ptr<XcbConnection> connection);

    // The stack now, and the viewability of `windows` (the wallpaper windows).
    Reading read(const std::vector<xcb_window_t>& windows);

    // The atoms whose change on the root window can change the stack's coverage.
    const std::vector<xcb_atom_t>& rootAtoms() const { return m_rootAtoms; }
    // The atoms whose change on a listed window can change its coverage.
    const std::vector<xcb_atom_t>& windowAtoms() const { return m_windowAtoms; }

private:
    std::shared_ptr<XcbConnection> m_connection;
    std::vector<xcb_atom_t> m_rootAtoms;
    std::vector<xcb_atom_t> m_windowAtoms;
    struct Atoms;
    std::shared_ptr<Atoms> m_atoms;
};

} // namespace drovane::desktop
