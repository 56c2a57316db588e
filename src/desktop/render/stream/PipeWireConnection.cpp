#include "desktop/render/stream/PipeWireConnection.h"

#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <pipewire/pipewire.h>

namespace drovane::desktop {

struct PipeWireConnection::CoreListener {
    spa_hook hook{};
    pw_core_events events{};
    Log* log = nullptr;
    bool lost = false;
};

PipeWireConnection::Lock::Lock(const PipeWireConnection& connection) : m_loop(connection.m_loop) {
    pw_thread_loop_lock(m_loop);
}

PipeWireConnection::Lock::~Lock() {
    pw_thread_loop_unlock(m_loop);
}

PipeWireConnection::PipeWireConnection(pw_thread_loop* loop, std::shared_ptr<Log> log)
    : m_loop(loop), m_log(std::move(log)), m_listener(std::make_unique<CoreListener>()) {}

std::shared_ptr<PipeWireConnection> PipeWireConnection::open(std::shared_ptr<Log> log) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });

    pw_thread_loop* loop = pw_thread_loop_new("drovane-pipewire", nullptr);
    if (!loop) {
        log->line("Drovane: cannot publish the wallpaper as a PipeWire stream: no PipeWire loop");
        return nullptr;
    }
    std::shared_ptr<PipeWireConnection> connection(new PipeWireConnection(loop, log));
    connection->m_context = pw_context_new(
        pw_thread_loop_get_loop(loop),
        pw_properties_new(PW_KEY_APP_NAME, "Drovane", PW_KEY_APP_ID, "app.drovane", nullptr), 0);
    if (!connection->m_context || pw_thread_loop_start(loop) < 0) {
        log->line("Drovane: cannot publish the wallpaper as a PipeWire stream: no PipeWire context");
        return nullptr;
    }
    Lock lock(*connection);
    connection->m_core = pw_context_connect(connection->m_context, nullptr, 0);
    if (!connection->m_core) {
        log->line(std::string("Drovane: no PipeWire daemon to publish the wallpaper to (") +
                  std::strerror(errno) + ")");
        return nullptr;
    }
    CoreListener& listener = *connection->m_listener;
    listener.log = log.get();
    listener.events.version = PW_VERSION_CORE_EVENTS;
    listener.events.error = [](void* data, std::uint32_t id, int /*seq*/, int res, const char* message) {
        auto& self = *static_cast<CoreListener*>(data);
        // The daemon's end of the connection: every stream on it is gone.
        if (id == PW_ID_CORE && res == -EPIPE && !self.lost) {
            self.lost = true;
            self.log->line(std::string("Drovane: the PipeWire daemon went away: ") +
                           (message ? message : ""));
        }
    };
    pw_core_add_listener(connection->m_core, &listener.hook, &listener.events, &listener);
    return connection;
}

PipeWireConnection::~PipeWireConnection() {
    if (m_context) {
        pw_thread_loop_stop(m_loop);
    }
    if (m_core) {
        spa_hook_remove(&m_listener->hook);
        pw_core_disconnect(m_core);
    }
    if (m_context) {
        pw_context_destroy(m_context);
    }
    pw_thread_loop_destroy(m_loop);
}

} // namespace drovane::desktop
