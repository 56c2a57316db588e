#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <httplib.h>
#include <string>
#include <thread>

namespace drovane::desktop {

// An HTTP server on 127.0.0.1 at a free port, for the backend tests. Routes are added before
// start(); handlers that wait must poll released() so that the server can stop promptly.
class LoopbackServer {
public:
    LoopbackServer() {
        // One request per connection: no worker lingers in a keep-alive wait at shutdown.
        server.set_keep_alive_max_count(1);
        m_port = server.bind_to_any_port("127.0.0.1");
    }
    ~LoopbackServer() {
        m_released = true;
        server.stop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Accepts connections; the socket already listens, so clients may connect before this.
    void start() {
        m_thread = std::thread([this] { server.listen_after_bind(); });
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    // True once the server is going away.
    bool released() const { return m_released; }

    // Waits until `condition` holds or the server is released, at most `limit`.
    template <typename Condition>
    bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (m_released || std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Answers GET `path` with `body` and `status`.
    void serve(const std::string& path, std::string body, int status = 200,
               const std::string& type = "video/quicktime") {
        server.Get(path,
                   [body = std::move(body), status, type](const httplib::Request&, httplib::Response& res) {
                       res.status = status;
                       res.set_content(body, type);
                   });
    }

    // Answers GET `path` with `size` bytes in 64 KiB pieces, a pause after each, until released.
    void serveSlowly(const std::string& path, std::size_t size) {
        server.Get(path, [this, size](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(size, "video/quicktime",
                                     [this, size](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         if (released()) {
                                             return false;
                                         }
                                         const std::string piece(std::min<std::size_t>(65536, size - offset),
                                                                 'x');
                                         sink.write(piece.data(), piece.size());
                                         std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                         return true;
                                     });
        });
    }

    httplib::Server server;

private:
    int m_port = -1;
    std::atomic<bool> m_released{false};
    std::thread m_thread;
};

} // namespace drovane::desktop
