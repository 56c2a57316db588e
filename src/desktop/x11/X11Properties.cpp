#include "desktop/x11/X11Properties.h"

#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace drovane::desktop::x11 {

namespace {

constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
// _NET_WM_STATE client-message actions (EWMH).
constexpr std::uint32_t kStateRemove = 0;
constexpr std::uint32_t kStateAdd = 1;

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

std::vector<std::uint32_t> readAtoms(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                     xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 1024), nullptr));
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

void replace32(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
               const std::vector<std::uint32_t>& values) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, 32,
                        static_cast<std::uint32_t>(values.size()), values.data());
}

void sendStateMessage(xcb_connection_t* c, xcb_window_t window, std::uint32_t action, xcb_atom_t state) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("_NET_WM_STATE");
    event.data.data32[0] = action;
    event.data.data32[1] = state;
    event.data.data32[3] = 1; // from a normal application
    xcb_send_event(c, 0, rootOf(c), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

} // namespace

int coordinate(double value) {
    constexpr double largest = 32767;
    return value == value ? static_cast<int>(std::clamp(value, -largest, largest)) : 0;
}

xcb_connection_t* connection() {
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return app ? app->connection() : nullptr;
}

std::uint32_t atom(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, std::uint32_t> cache;
    xcb_connection_t* c = connection();
    if (!c) {
        return 0;
    }
    std::lock_guard lock(mutex);
    if (auto it = cache.find(name); it != cache.end()) {
        return it->second;
    }
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr));
    const std::uint32_t value = reply ? reply->atom : 0;
    if (value) {
        cache[name] = value;
    }
    return value;
}

std::uint32_t nativeWindow(QWindow& window) {
    return static_cast<std::uint32_t>(window.winId());
}

void markAsDesktopWindow(QWindow& window) {
    xcb_connection_t* c = connection();
    if (!c) {
        return;
    }
    const xcb_window_t w = nativeWindow(window);
    replace32(c, w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, {atom("_NET_WM_WINDOW_TYPE_DESKTOP")});
    replace32(c, w, atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, {kAllDesktops});
    // Qt merges its own states into this property when it maps the window.
    auto states = readAtoms(c, w, atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    // Not "below": xfwm4 moves a window in that state up out of the desktop layer, over the
    // desktops of icon programs.
    for (const char* name :
         {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const std::uint32_t a = atom(name);
        if (std::find(states.begin(), states.end(), a) == states.end()) {
            states.push_back(a);
        }
    }
    replace32(c, w, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, states);
    xcb_flush(c);
}

void passInputThroughFrame(QWindow& window) {
    xcb_connection_t* c = connection();
    if (!c) {
        return;
    }
    const xcb_window_t client = nativeWindow(window);
    const xcb_window_t frame = topLevelAncestor(client);
    if (frame != client) {
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, frame, 0, 0,
                             0, nullptr);
        xcb_flush(c);
    }
}

void lowerToBottom(QWindow& window) {
    xcb_connection_t* c = connection();
    if (!c) {
        return;
    }
    const std::uint32_t mode = XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, nativeWindow(window), XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    xcb_flush(c);
}

void setSkipTaskbar(QWindow& window, bool skip, bool mapped) {
    xcb_connection_t* c = connection();
    if (!c) {
        return;
    }
    const xcb_window_t w = nativeWindow(window);
    const std::uint32_t a = atom("_NET_WM_STATE_SKIP_TASKBAR");
    if (mapped) {
        sendStateMessage(c, w, skip ? kStateAdd : kStateRemove, a);
    } else {
        auto states = readAtoms(c, w, atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
        states.erase(std::remove(states.begin(), states.end(), a), states.end());
        if (skip) {
            states.push_back(a);
        }
        replace32(c, w, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, states);
    }
    xcb_flush(c);
}

std::vector<std::uint32_t> readCardinals(std::uint32_t window, const std::string& property) {
    xcb_connection_t* c = connection();
    if (!c) {
        return {};
    }
    return readAtoms(c, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY);
}

std::vector<std::uint32_t> rootChildrenBottomFirst() {
    xcb_connection_t* c = connection();
    if (!c) {
        return {};
    }
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, rootOf(c)), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<std::uint32_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

std::uint32_t topLevelAncestor(std::uint32_t window) {
    xcb_connection_t* c = connection();
    if (!c) {
        return window;
    }
    const xcb_window_t root = rootOf(c);
    for (;;) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree || tree->parent == root || tree->parent == XCB_NONE) {
            return window;
        }
        window = tree->parent;
    }
}

std::string programOfWmClass(const std::string& value) {
    const auto split = value.find('\0');
    std::string program = split == std::string::npos ? std::string() : value.substr(split + 1);
    program = program.substr(0, program.find('\0'));
    if (program.empty()) {
        program = value.substr(0, split);
    }
    std::transform(program.begin(), program.end(), program.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return program;
}

std::string otherDesktopProgram() {
    xcb_connection_t* c = connection();
    if (!c) {
        return {};
    }
    auto windows = readAtoms(c, rootOf(c), atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    if (windows.empty()) {
        windows = rootChildrenBottomFirst();
    }
    const std::uint32_t desktopType = atom("_NET_WM_WINDOW_TYPE_DESKTOP");
    const auto ourPid = static_cast<std::uint32_t>(::getpid());
    for (std::uint32_t w : windows) {
        const auto types = readAtoms(c, w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
        const auto pid = readAtoms(c, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
        if (types.empty() || types.front() != desktopType || (!pid.empty() && pid.front() == ourPid)) {
            continue;
        }
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr));
        if (!reply || reply->format != 8) {
            continue;
        }
        const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
        const std::string program = programOfWmClass(std::string(
            data, static_cast<std::size_t>(std::max(0, xcb_get_property_value_length(reply.get())))));
        if (!program.empty()) {
            return program;
        }
    }
    return {};
}

} // namespace drovane::desktop::x11
