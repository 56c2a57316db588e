#pragma once

#include "desktop/wayland/OutputState.h"
#include "platform/ObserverList.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QObject;
class QSocketNotifier;
class QTimer;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_layer_shell_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace drovane {
class Log;
}

namespace drovane::desktop::wayland {

// The program's own connection to the Wayland compositor, apart from whatever Qt uses: the
// globals a wallpaper needs, the outputs, and the compositor's list of toplevel windows.
// Only the main thread reads from the socket; the surfaces' threads dispatch queues of their
// own and are woken after each read.
class WaylandConnection {
public:
    // The compositor of WAYLAND_DISPLAY with its globals and outputs known; nothing when there is
    // none to connect to. Before or after the Qt application exists; main thread.
    static std::shared_ptr<WaylandConnection> open(std::shared_ptr<Log> log);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    bool hasLayerShell() const { return m_layerShell != nullptr; }
    bool followsToplevels() const { return m_toplevelManager != nullptr; }
    // Follows the compositor from the main loop from now on; once the Qt application exists.
    void startDispatching();

    struct Output {
        OutputInfo info;
        wl_output* proxy = nullptr;
    };
    // The outputs the compositor has described completely, in the order it announced them.
    std::vector<Output> outputs() const;
    // Called (coalesced) after outputs were added, removed or changed.
    Subscription observeOutputs(std::function<void()> handler) {
        return m_outputHandlers.add(std::move(handler));
    }
    bool isCovered(std::uint32_t output) const { return m_covered.count(output) > 0; }
    // Called when the set of covered outputs changed.
    Subscription observeCovering(std::function<void()> handler) {
        return m_coverHandlers.add(std::move(handler));
    }

    const std::shared_ptr<Log>& log() const { return m_log; }
    wl_display* display() const { return m_display; }
    wl_compositor* compositor() const { return m_compositor; }
    wl_shm* shm() const { return m_shm; }
    zwlr_layer_shell_v1* layerShell() const { return m_layerShell; }
    // Sends what was asked so far. Main thread.
    void flush();
    // Writes to the eventfd `fd` after each read of events, until the subscription ends. Any
    // thread.
    Subscription wakeAfterReads(int fd);

private:
    struct PendingOutput {
        WaylandConnection* owner = nullptr;
        OutputInfo info;
        wl_output* proxy = nullptr;
        zxdg_output_v1* xdg = nullptr;
        bool described = false;
    };
    struct Toplevel {
        ToplevelInfo current, pending;
    };

    WaylandConnection(wl_display* display, std::shared_ptr<Log> log);
    void addGlobal(std::uint32_t name, const std::string& interface, std::uint32_t version);
    void removeGlobal(std::uint32_t name);
    void watchXdgOutput(PendingOutput& output);
    void outputDone(PendingOutput& output);
    void outputsChanged();
    void toplevelsChanged();
    void readAndDispatch();
    void dispatchPending();
    // The connection broke: logged once, and nothing is followed any more.
    bool broken();

    // The protocol's listeners.
    friend struct ConnectionEvents;

    wl_display* m_display;
    std::shared_ptr<Log> m_log;
    wl_registry* m_registry = nullptr;
    wl_compositor* m_compositor = nullptr;
    wl_shm* m_shm = nullptr;
    zwlr_layer_shell_v1* m_layerShell = nullptr;
    zxdg_output_manager_v1* m_xdgOutputs = nullptr;
    zwlr_foreign_toplevel_manager_v1* m_toplevelManager = nullptr;
    std::map<std::uint32_t, std::unique_ptr<PendingOutput>> m_outputs;
    std::map<zwlr_foreign_toplevel_handle_v1*, Toplevel> m_toplevels;
    std::set<std::uint32_t> m_covered;
    std::vector<OutputInfo> m_reported;
    ObserverList<> m_outputHandlers;
    ObserverList<> m_coverHandlers;
    std::unique_ptr<QObject> m_context;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_coalesce = nullptr;
    std::mutex m_wakeMutex;
    std::vector<int> m_wakeFds;
    bool m_broken = false;
};

} // namespace drovane::desktop::wayland
