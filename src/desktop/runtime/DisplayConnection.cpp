#include "desktop/runtime/DisplayConnection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace drovane::desktop {

namespace {

bool xServerAnswers(const std::string& display) {
    if (display.empty()) {
        return false;
    }
    // Authorisation is part of it: a server that refuses us is no display either.
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool connected = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return connected;
}

bool waylandAnswers(const std::string& display, const std::optional<std::string>& runtimeDirectory) {
    if (display.empty()) {
        return false;
    }
    // A relative name is a socket in the runtime folder, as the client library finds it.
    std::string path = display;
    if (!display.starts_with('/')) {
        if (!runtimeDirectory || !runtimeDirectory->starts_with('/')) {
            return false;
        }
        path = *runtimeDirectory + "/" + display;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

std::optional<DisplayServers> displayServersFor(const std::optional<std::string>& qpaPlatform) {
    if (!qpaPlatform || qpaPlatform->empty()) {
        return DisplayServers{true, true};
    }
    DisplayServers servers;
    std::size_t start = 0;
    while (start <= qpaPlatform->size()) {
        std::size_t end = qpaPlatform->find(';', start);
        if (end == std::string::npos) {
            end = qpaPlatform->size();
        }
        const std::string entry = qpaPlatform->substr(start, end - start);
        const std::string plugin = entry.substr(0, entry.find(':'));
        start = end + 1;
        if (plugin.empty()) {
            continue;
        }
        if (plugin == "xcb") {
            servers.x11 = true;
        } else if (plugin.starts_with("wayland")) {
            servers.wayland = true;
        } else {
            return std::nullopt;
        }
    }
    if (!servers.x11 && !servers.wayland) {
        return DisplayServers{true, true}; // only separators: Qt's own default
    }
    return servers;
}

bool displayReachable(const std::function<std::optional<std::string>(const std::string&)>& environment) {
    const auto servers = displayServersFor(environment("QT_QPA_PLATFORM"));
    if (!servers) {
        return true;
    }
    return (servers->x11 && xServerAnswers(environment("DISPLAY").value_or(""))) ||
           (servers->wayland &&
            waylandAnswers(environment("WAYLAND_DISPLAY").value_or(""), environment("XDG_RUNTIME_DIR")));
}

} // namespace drovane::desktop
