#include "desktop/x11/X11StackReader.h"

#include "desktop/x11/X11Properties.h"
#include "desktop/x11/XcbConnection.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace drovane::desktop {

namespace {

template <typename T> using Reply = std::unique_ptr<T, void (*)(void*)>;

template <typename T> Reply<T> own(T* reply) {
    return Reply<T>(reply, std::free);
}

// The 32-bit items of a property reply (atoms, windows, cardinals).
std::vector<std::uint32_t> items32(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    return std::vector<std::uint32_t>(data, data + std::max(count, 0));
}

std::string programOf(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) {
        return {};
    }
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    return x11::programOfWmClass(
        std::string(data, static_cast<std::size_t>(std::max(xcb_get_property_value_length(reply), 0))));
}

} // namespace

struct X11StackReader::Atoms {
    xcb_atom_t clientListStacking, currentDesktop, wmState, wmDesktop, wmWindowType, frameExtents,
        gtkFrameExtents, windowOpacity, compositor;
    xcb_atom_t stateHidden, stateShaded, stateFullscreen, stateMaxVert, stateMaxHorz;
    xcb_atom_t typeNormal, typeDialog, typeDesktop;
};

X11StackReader::X11StackReader(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection)), m_atoms(std::make_shared<Atoms>()) {
    const auto a = m_connection->atoms(
        {"_NET_CLIENT_LIST_STACKING", "_NET_CURRENT_DESKTOP", "_NET_WM_STATE", "_NET_WM_DESKTOP",
         "_NET_WM_WINDOW_TYPE", "_NET_FRAME_EXTENTS", "_GTK_FRAME_EXTENTS", "_NET_WM_WINDOW_OPACITY",
         "_NET_WM_CM_S" + std::to_string(m_connection->screenNumber()), "_NET_WM_STATE_HIDDEN",
         "_NET_WM_STATE_SHADED", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_MAXIMIZED_VERT",
         "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG",
         "_NET_CLIENT_LIST", "_NET_SUPPORTING_WM_CHECK", "_NET_WM_WINDOW_TYPE_DESKTOP"});
    *m_atoms = Atoms{a[0], a[1],  a[2],  a[3],  a[4],  a[5],  a[6],  a[7], a[8],
                     a[9], a[10], a[11], a[12], a[13], a[14], a[15], a[18]};
    m_rootAtoms = {a[0], a[1], a[16], a[17]};
    m_windowAtoms = {a[2], a[3], a[4], a[5], a[6], a[7]};
}

X11StackReader::Reading X11StackReader::read(const std::vector<xcb_window_t>& windows) {
    xcb_connection_t* c = m_connection->get();
    const Atoms& at = *m_atoms;
    const xcb_window_t root = m_connection->root();
    Reading result;

    auto stackingCookie = xcb_get_property(c, 0, root, at.clientListStacking, XCB_ATOM_WINDOW, 0, 4096);
    auto desktopCookie = xcb_get_property(c, 0, root, at.currentDesktop, XCB_ATOM_CARDINAL, 0, 1);
    auto compositorCookie = xcb_get_selection_owner(c, at.compositor);
    auto treeCookie = xcb_query_tree(c, root);

    std::vector<xcb_window_t> stack;
    if (auto reply = own(xcb_get_property_reply(c, stackingCookie, nullptr));
        reply && reply->type == XCB_ATOM_WINDOW) {
        stack = items32(reply.get());
    }
    if (auto reply = own(xcb_get_property_reply(c, desktopCookie, nullptr))) {
        if (auto values = items32(reply.get()); !values.empty()) {
            result.snapshot.currentDesktop = values.front();
        }
    }
    if (auto reply = own(xcb_get_selection_owner_reply(c, compositorCookie, nullptr))) {
        result.composited = reply->owner != XCB_WINDOW_NONE;
    }
    auto tree = own(xcb_query_tree_reply(c, treeCookie, nullptr));
    result.fromWindowManager = !stack.empty();
    if (stack.empty() && tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        stack.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }

    struct Cookies {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t state, desktop, type, frame, gtkFrame, opacity, wmClass;
    };
    // Every request first, then every reply: one round trip for the whole stack.
    std::vector<Cookies> cookies;
    cookies.reserve(stack.size());
    for (xcb_window_t w : stack) {
        cookies.push_back({xcb_get_window_attributes(c, w), xcb_get_geometry(c, w),
                           xcb_translate_coordinates(c, w, root, 0, 0),
                           xcb_get_property(c, 0, w, at.wmState, XCB_ATOM_ATOM, 0, 64),
                           xcb_get_property(c, 0, w, at.wmDesktop, XCB_ATOM_CARDINAL, 0, 1),
                           xcb_get_property(c, 0, w, at.wmWindowType, XCB_ATOM_ATOM, 0, 64),
                           xcb_get_property(c, 0, w, at.frameExtents, XCB_ATOM_CARDINAL, 0, 4),
                           xcb_get_property(c, 0, w, at.gtkFrameExtents, XCB_ATOM_CARDINAL, 0, 4),
                           xcb_get_property(c, 0, w, at.windowOpacity, XCB_ATOM_CARDINAL, 0, 1),
                           xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64)});
    }
    std::vector<xcb_get_window_attributes_cookie_t> askedCookies;
    for (xcb_window_t w : windows) {
        askedCookies.push_back(xcb_get_window_attributes(c, w));
    }

    for (std::size_t i = 0; i < stack.size(); ++i) {
        const Cookies& k = cookies[i];
        auto attributes = own(xcb_get_window_attributes_reply(c, k.attributes, nullptr));
        auto geometry = own(xcb_get_geometry_reply(c, k.geometry, nullptr));
        auto origin = own(xcb_translate_coordinates_reply(c, k.origin, nullptr));
        auto state = own(xcb_get_property_reply(c, k.state, nullptr));
        auto desktop = own(xcb_get_property_reply(c, k.desktop, nullptr));
        auto type = own(xcb_get_property_reply(c, k.type, nullptr));
        auto frame = own(xcb_get_property_reply(c, k.frame, nullptr));
        auto gtkFrame = own(xcb_get_property_reply(c, k.gtkFrame, nullptr));
        auto opacity = own(xcb_get_property_reply(c, k.opacity, nullptr));
        auto wmClass = own(xcb_get_property_reply(c, k.wmClass, nullptr));
        if (!attributes || !geometry || !origin) {
            continue; // gone since the list was read
        }
        StackedWindow w;
        w.id = stack[i];
        w.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        const double border = geometry->border_width;
        double minX = origin->dst_x - border;
        double minY = origin->dst_y - border;
        double maxX = origin->dst_x + geometry->width + border;
        double maxY = origin->dst_y + geometry->height + border;
        if (auto e = items32(frame.get()); e.size() == 4) { // left, right, top, bottom
            minX -= e[0];
            maxX += e[1];
            minY -= e[2];
            maxY += e[3];
        }
        if (auto e = items32(gtkFrame.get()); e.size() == 4) { // the shadow drawn by the client
            minX += e[0];
            maxX -= e[1];
            minY += e[2];
            maxY -= e[3];
        }
        w.frame = Rect{{minX, minY}, {std::max(0.0, maxX - minX), std::max(0.0, maxY - minY)}};
        bool maxVert = false;
        bool maxHorz = false;
        for (std::uint32_t s : items32(state.get())) {
            w.hidden = w.hidden || s == at.stateHidden;
            w.shaded = w.shaded || s == at.stateShaded;
            w.fullscreen = w.fullscreen || s == at.stateFullscreen;
            maxVert = maxVert || s == at.stateMaxVert;
            maxHorz = maxHorz || s == at.stateMaxHorz;
        }
        w.maximized = maxVert && maxHorz;
        if (auto types = items32(type.get()); !types.empty()) {
            // The first type the client names is the one it prefers.
            w.applicationWindow = types.front() == at.typeNormal || types.front() == at.typeDialog;
            w.desktopWindow = types.front() == at.typeDesktop;
        }
        if (auto values = items32(desktop.get()); !values.empty()) {
            w.desktop = values.front();
        }
        if (auto values = items32(opacity.get()); !values.empty()) {
            w.translucent = values.front() != 0xFFFFFFFF;
        }
        w.program = programOf(wmClass.get());
        // Icons drawn over a transparent desktop (GNOME's desktop icons) let the wallpaper show;
        // Plasma's desktop has an alpha channel too but paints its own wallpaper in it.
        w.translucent = w.translucent || (w.desktopWindow && result.composited && geometry->depth == 32 &&
                                          w.program != "plasmashell");
        result.snapshot.windows.push_back(w);
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        auto attributes = own(xcb_get_window_attributes_reply(c, askedCookies[i], nullptr));
        result.viewable[windows[i]] = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    return result;
}

} // namespace drovane::desktop
