#include "desktop/plasma/PlasmaX11Coverage.h"

#include "desktop/x11/X11OcclusionTracker.h"
#include "desktop/x11/X11StackReader.h"
#include "desktop/x11/XcbConnection.h"

namespace drovane::desktop {

namespace {

constexpr int retryMs = 2000;

} // namespace

std::unique_ptr<PlasmaX11Coverage> PlasmaX11Coverage::open(const std::string& display) {
    auto connection = XcbConnection::open(display);
    return connection ? std::make_unique<PlasmaX11Coverage>(std::move(connection)) : nullptr;
}

PlasmaX11Coverage::PlasmaX11Coverage(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection)),
      m_tracker(std::make_unique<X11OcclusionTracker>(m_connection, /*ownWallpapers=*/false)) {
    m_tracker->onVisibilityChanged = [this](std::uint32_t window, bool visible) {
        auto it = m_desktops.find(window);
        if (it != m_desktops.end() && onCoveredChanged) {
            onCoveredChanged(it->second, !visible);
        }
    };
    m_retry.setInterval(retryMs);
    QObject::connect(&m_retry, &QTimer::timeout, [this] {
        if (findDesktops()) {
            m_retry.stop();
        }
    });
}

PlasmaX11Coverage::~PlasmaX11Coverage() = default;

void PlasmaX11Coverage::follow(const std::vector<Rect>& screens) {
    m_screens = screens;
    for (const auto& [window, screen] : m_desktops) {
        m_tracker->untrack(window);
    }
    m_desktops.clear();
    if (!findDesktops()) {
        m_retry.start();
    }
}

bool PlasmaX11Coverage::findDesktops() {
    if (m_connection->hasError()) {
        return true; // nothing more to find
    }
    const auto reading = X11StackReader(m_connection).read({});
    std::size_t found = 0;
    for (const Rect& screen : m_screens) {
        for (const StackedWindow& w : reading.snapshot.windows) {
            if (w.desktopWindow && w.program == "plasmashell" && centreIn(w.frame, screen)) {
                if (!m_desktops.count(w.id)) {
                    m_desktops[w.id] = screen;
                    m_tracker->track(w.id, screen);
                }
                ++found;
                break;
            }
        }
    }
    return found == m_screens.size();
}

} // namespace drovane::desktop
