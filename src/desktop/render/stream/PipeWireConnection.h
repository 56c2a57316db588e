#pragma once

#include <memory>
#include <mutex>
#include <string>

struct pw_context;
struct pw_core;
struct pw_thread_loop;

namespace drovane {
class Log;
}

namespace drovane::desktop {

// A connection to the session's PipeWire daemon, served by a thread of its own. Every call into
// PipeWire on an object of this connection happens under lock(); its callbacks run on the
// connection's thread, with the lock held.
class PipeWireConnection {
public:
    // Nothing, and a line on `log`, when no daemon answers.
    static std::shared_ptr<PipeWireConnection> open(std::shared_ptr<Log> log);
    ~PipeWireConnection();
    PipeWireConnection(const PipeWireConnection&) = delete;
    PipeWireConnection& operator=(const PipeWireConnection&) = delete;

    class Lock {
    public:
        explicit Lock(const PipeWireConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pw_thread_loop* m_loop;
    };

    // Under lock().
    pw_core* core() const { return m_core; }
    Log& log() const { return *m_log; }

private:
    PipeWireConnection(pw_thread_loop* loop, std::shared_ptr<Log> log);

    pw_thread_loop* m_loop;
    pw_context* m_context = nullptr;
    pw_core* m_core = nullptr;
    std::shared_ptr<Log> m_log;
    struct CoreListener;
    std::unique_ptr<CoreListener> m_listener;
};

} // namespace drovane::desktop
