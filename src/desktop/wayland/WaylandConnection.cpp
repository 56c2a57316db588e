#include "desktop/wayland/WaylandConnection.h"

#include "platform/Log.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <wayland-client.h>
#include <wlr-foreign-toplevel-management-unstable-v1-client.h>
#include <wlr-layer-shell-unstable-v1-client.h>
#include <xdg-output-unstable-v1-client.h>

namespace drovane::desktop::wayland {

namespace {

// Outputs changing in a burst (a mode and a scale, one output after another) rebuild once.
constexpr int kCoalesceMs = 250;

// The versions whose events the listeners below know, at most.
constexpr std::uint32_t kCompositorVersion = 4;
constexpr std::uint32_t kOutputVersion = 4;
constexpr std::uint32_t kLayerShellVersion = 4;
constexpr std::uint32_t kXdgOutputVersion = 3;
constexpr std::uint32_t kToplevelVersion = 3;

template <class T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t known) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, known)));
}

} // namespace

struct ConnectionEvents {
    using C = WaylandConnection;
    using Output = C::PendingOutput;

    static void global(void* data, wl_registry*, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
        static_cast<C*>(data)->addGlobal(name, interface, version);
    }
    static void globalRemove(void* data, wl_registry*, std::uint32_t name) {
        static_cast<C*>(data)->removeGlobal(name);
    }
    static constexpr wl_registry_listener registry{global, globalRemove};

    static void geometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
                         std::int32_t, const char*, const char*, std::int32_t transform) {
        auto* o = static_cast<Output*>(data);
        o->info.x = x;
        o->info.y = y;
        o->info.transform = transform;
    }
    static void mode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
                     std::int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT) {
            auto* o = static_cast<Output*>(data);
            o->info.modeWidth = width;
            o->info.modeHeight = height;
        }
    }
    static void done(void* data, wl_output*) {
        auto* o = static_cast<Output*>(data);
        o->owner->outputDone(*o);
    }
    static void scale(void* data, wl_output*, std::int32_t factor) {
        static_cast<Output*>(data)->info.scale = std::max(1, factor);
    }
    static void name(void* data, wl_output*, const char* text) {
        static_cast<Output*>(data)->info.name = text;
    }
    static void description(void*, wl_output*, const char*) {}
    static constexpr wl_output_listener output{geometry, mode, done, scale, name, description};

    static void logicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
        auto* o = static_cast<Output*>(data);
        o->info.logical = Rect{{double(x), double(y)}, o->info.logical.value_or(Rect{}).size};
    }
    static void logicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
        auto* o = static_cast<Output*>(data);
        o->info.logical = Rect{o->info.logical.value_or(Rect{}).origin, {double(width), double(height)}};
    }
    // From version 3 on, wl_output's done follows; before, xdg-output's own done ends a change.
    static void xdgDone(void* data, zxdg_output_v1* xdg) {
        if (zxdg_output_v1_get_version(xdg) < 3) {
            auto* o = static_cast<Output*>(data);
            o->owner->outputDone(*o);
        }
    }
    static void xdgName(void* data, zxdg_output_v1*, const char* text) {
        auto* o = static_cast<Output*>(data);
        if (o->info.name.empty()) {
            o->info.name = text;
        }
    }
    static void xdgDescription(void*, zxdg_output_v1*, const char*) {}
    static constexpr zxdg_output_v1_listener xdgOutput{logicalPosition, logicalSize, xdgDone, xdgName,
                                                       xdgDescription};

    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                         zwlr_foreign_toplevel_handle_v1* handle) {
        auto* c = static_cast<C*>(data);
        c->m_toplevels[handle];
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &toplevelHandle, c);
    }
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1* manager) {
        auto* c = static_cast<C*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        c->m_toplevelManager = nullptr;
    }
    static constexpr zwlr_foreign_toplevel_manager_v1_listener toplevelManager{toplevel, finished};

    static C::Toplevel* find(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        auto& toplevels = static_cast<C*>(data)->m_toplevels;
        const auto it = toplevels.find(handle);
        return it == toplevels.end() ? nullptr : &it->second;
    }
    static std::uint32_t outputId(void* data, wl_output* proxy) {
        for (const auto& [id, output] : static_cast<C*>(data)->m_outputs) {
            if (output->proxy == proxy) {
                return id;
            }
        }
        return 0;
    }
    static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void appId(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void outputEnter(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_output* proxy) {
        if (auto* t = find(data, handle); t && outputId(data, proxy)) {
            t->pending.outputs.insert(outputId(data, proxy));
        }
    }
    static void outputLeave(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_output* proxy) {
        if (auto* t = find(data, handle)) {
            t->pending.outputs.erase(outputId(data, proxy));
        }
    }
    static void state(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states) {
        auto* t = find(data, handle);
        if (!t) {
            return;
        }
        ToplevelInfo& p = t->pending;
        p.maximized = p.minimized = p.activated = p.fullscreen = false;
        const auto* values = static_cast<const std::uint32_t*>(states->data);
        for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i) {
            switch (values[i]) {
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MAXIMIZED:
                p.maximized = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED:
                p.minimized = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED:
                p.activated = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN:
                p.fullscreen = true;
                break;
            default:
                break;
            }
        }
    }
    static void toplevelDone(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        if (auto* t = find(data, handle)) {
            t->current = t->pending;
            static_cast<C*>(data)->toplevelsChanged();
        }
    }
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        static_cast<C*>(data)->m_toplevels.erase(handle);
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        static_cast<C*>(data)->toplevelsChanged();
    }
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
    static constexpr zwlr_foreign_toplevel_handle_v1_listener toplevelHandle{
        title, appId, outputEnter, outputLeave, state, toplevelDone, closed, parent};
};

std::shared_ptr<WaylandConnection> WaylandConnection::open(std::shared_ptr<Log> log) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return nullptr;
    }
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection(display, std::move(log)));
    // The globals, then each output's description, then xdg-output's for each.
    for (int i = 0; i < 3; ++i) {
        if (wl_display_roundtrip(display) < 0) {
            connection->broken();
            return nullptr;
        }
    }
    connection->m_reported.clear();
    for (const Output& output : connection->outputs()) {
        connection->m_reported.push_back(output.info);
    }
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display, std::shared_ptr<Log> log)
    : m_display(display), m_log(std::move(log)) {
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &ConnectionEvents::registry, this);
}

WaylandConnection::~WaylandConnection() {
    delete m_notifier;
    m_context.reset();
    for (const auto& [handle, toplevel] : m_toplevels) {
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    }
    if (m_toplevelManager) {
        zwlr_foreign_toplevel_manager_v1_destroy(m_toplevelManager);
    }
    for (const auto& [id, output] : m_outputs) {
        if (output->xdg) {
            zxdg_output_v1_destroy(output->xdg);
        }
        wl_output_destroy(output->proxy);
    }
    if (m_xdgOutputs) {
        zxdg_output_manager_v1_destroy(m_xdgOutputs);
    }
    if (m_layerShell) {
        zwlr_layer_shell_v1_destroy(m_layerShell);
    }
    if (m_shm) {
        wl_shm_destroy(m_shm);
    }
    if (m_compositor) {
        wl_compositor_destroy(m_compositor);
    }
    wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
}

void WaylandConnection::addGlobal(std::uint32_t name, const std::string& interface, std::uint32_t version) {
    if (interface == wl_compositor_interface.name) {
        m_compositor =
            bind<wl_compositor>(m_registry, name, &wl_compositor_interface, version, kCompositorVersion);
    } else if (interface == wl_shm_interface.name) {
        m_shm = bind<wl_shm>(m_registry, name, &wl_shm_interface, version, 1);
    } else if (interface == zwlr_layer_shell_v1_interface.name) {
        m_layerShell = bind<zwlr_layer_shell_v1>(m_registry, name, &zwlr_layer_shell_v1_interface, version,
                                                 kLayerShellVersion);
    } else if (interface == zxdg_output_manager_v1_interface.name) {
        m_xdgOutputs = bind<zxdg_output_manager_v1>(m_registry, name, &zxdg_output_manager_v1_interface,
                                                    version, kXdgOutputVersion);
        for (auto& [id, output] : m_outputs) {
            watchXdgOutput(*output);
        }
    } else if (interface == zwlr_foreign_toplevel_manager_v1_interface.name) {
        m_toplevelManager = bind<zwlr_foreign_toplevel_manager_v1>(
            m_registry, name, &zwlr_foreign_toplevel_manager_v1_interface, version, kToplevelVersion);
        zwlr_foreign_toplevel_manager_v1_add_listener(m_toplevelManager, &ConnectionEvents::toplevelManager,
                                                      this);
    } else if (interface == wl_output_interface.name && version >= 2) {
        // Version 2 tells the scale and when a description is complete.
        auto output = std::make_unique<PendingOutput>();
        output->owner = this;
        output->info.id = name;
        output->proxy = bind<wl_output>(m_registry, name, &wl_output_interface, version, kOutputVersion);
        wl_output_add_listener(output->proxy, &ConnectionEvents::output, output.get());
        watchXdgOutput(*output);
        m_outputs.emplace(name, std::move(output));
    }
}

void WaylandConnection::watchXdgOutput(PendingOutput& output) {
    if (m_xdgOutputs && !output.xdg) {
        output.xdg = zxdg_output_manager_v1_get_xdg_output(m_xdgOutputs, output.proxy);
        zxdg_output_v1_add_listener(output.xdg, &ConnectionEvents::xdgOutput, &output);
    }
}

void WaylandConnection::removeGlobal(std::uint32_t name) {
    const auto it = m_outputs.find(name);
    if (it == m_outputs.end()) {
        return;
    }
    // Toplevels leave it without being told.
    for (auto& [handle, toplevel] : m_toplevels) {
        toplevel.current.outputs.erase(name);
        toplevel.pending.outputs.erase(name);
    }
    if (it->second->xdg) {
        zxdg_output_v1_destroy(it->second->xdg);
    }
    if (wl_output_get_version(it->second->proxy) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
        wl_output_release(it->second->proxy);
    } else {
        wl_output_destroy(it->second->proxy);
    }
    m_outputs.erase(it);
    outputsChanged();
    toplevelsChanged();
}

void WaylandConnection::outputDone(PendingOutput& output) {
    output.described = output.info.modeWidth > 0 && output.info.modeHeight > 0;
    outputsChanged();
}

std::vector<WaylandConnection::Output> WaylandConnection::outputs() const {
    std::vector<Output> result;
    for (const auto& [id, output] : m_outputs) {
        if (output->described) {
            result.push_back(Output{output->info, output->proxy});
        }
    }
    return result;
}

void WaylandConnection::outputsChanged() {
    if (m_coalesce) {
        m_coalesce->start();
    }
}

void WaylandConnection::toplevelsChanged() {
    std::vector<ToplevelInfo> toplevels;
    for (const auto& [handle, toplevel] : m_toplevels) {
        toplevels.push_back(toplevel.current);
    }
    auto covered = coveredOutputs(toplevels);
    if (covered != m_covered) {
        m_covered = std::move(covered);
        m_coverHandlers.notify();
    }
}

void WaylandConnection::startDispatching() {
    m_context = std::make_unique<QObject>();
    m_coalesce = new QTimer(m_context.get());
    m_coalesce->setSingleShot(true);
    m_coalesce->setInterval(kCoalesceMs);
    QObject::connect(m_coalesce, &QTimer::timeout, m_context.get(), [this] {
        std::vector<OutputInfo> now;
        for (const Output& output : outputs()) {
            now.push_back(output.info);
        }
        if (now != m_reported) {
            m_reported = std::move(now);
            m_outputHandlers.notify();
        }
    });
    m_notifier = new QSocketNotifier(wl_display_get_fd(m_display), QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_context.get(), [this] { readAndDispatch(); });
    // Whatever was asked while handling an event goes out before the loop sleeps.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     m_context.get(), [this] { flush(); });
    dispatchPending();
}

void WaylandConnection::readAndDispatch() {
    if (m_broken) {
        return;
    }
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            broken();
            return;
        }
    }
    if (wl_display_read_events(m_display) < 0) {
        broken();
        return;
    }
    {
        std::lock_guard lock(m_wakeMutex);
        const std::uint64_t one = 1;
        for (const int fd : m_wakeFds) {
            [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
        }
    }
    dispatchPending();
}

Subscription WaylandConnection::wakeAfterReads(int fd) {
    std::lock_guard lock(m_wakeMutex);
    m_wakeFds.push_back(fd);
    return Subscription([this, fd] {
        std::lock_guard unlock(m_wakeMutex);
        std::erase(m_wakeFds, fd);
    });
}

void WaylandConnection::dispatchPending() {
    if (!m_broken && wl_display_dispatch_pending(m_display) < 0) {
        broken();
    }
}

void WaylandConnection::flush() {
    if (!m_broken && wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        broken();
    }
}

bool WaylandConnection::broken() {
    if (!m_broken) {
        m_broken = true;
        if (m_notifier) {
            m_notifier->setEnabled(false);
        }
        const int error = wl_display_get_error(m_display);
        if (m_log) {
            m_log->line(std::string("Drovane: the connection to the Wayland compositor broke (") +
                        (error ? std::strerror(error) : "no error code") + "); the wallpaper stays as it is");
        }
    }
    return true;
}

} // namespace drovane::desktop::wayland
