#pragma once

#include "platform/Date.h"
#include "platform/Url.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace drovane {

class Clock;
class Http;
class HttpTask;
class Library;
class Images;
class Log;
class MainQueue;
struct Platform;

// The download queue: fetches catalogue films that are not on disk yet into the system's video
// folder, first in first out, at most three at a time, counting the finished and failed items of
// the current batch. Items are named by download key: the catalogue identifier in upper case.
// Main thread only; the network thread only checks that a finished file is a film and moves it
// into place.
class Downloader : public std::enable_shared_from_this<Downloader> {
    struct Passkey {};

public:
    static constexpr std::size_t maxActive = 3;
    // Progress is published at most once in this many seconds.
    static constexpr double publishInterval = 0.15;
    // Beside the video folder, in its file system, so that a finished film is renamed into
    // place: partial films never appear in the video folder itself.
    static constexpr const char* partialFolderName = ".drovane-partial";

    // A queue fetching into `library`'s video folder through the platform's network, main
    // queue, clock and log. Removes partial files an earlier run left behind.
    static std::shared_ptr<Downloader> create(const Platform& platform,
                                              std::shared_ptr<const Library> library);
    Downloader(Passkey, const Platform& platform, std::shared_ptr<const Library> library);
    // Cancels the transfers still running.
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // The running transfers: key to fraction completed (0 to 1); at most maxActive.
    const std::map<std::string, double>& active() const { return m_active; }
    // Keys queued and not yet started, oldest first.
    const std::vector<std::string>& waiting() const { return m_waiting; }
    // The current batch: items ended (stored or failed), items failed, items enqueued less those
    // cancelled. All three return to 0 when the queue drains.
    int done() const { return m_done; }
    int failed() const { return m_failed; }
    int total() const { return m_total; }
    // Why the last download of a film failed, by key; kept until the film is enqueued again.
    const std::map<std::string, std::string>& failures() const { return m_failures; }

    // After an item has been stored in the video folder (also one cancelled too late to keep its
    // film out).
    std::function<void()> onItemFinished;
    // After any change of the queue or the counters, and (throttled) of the progress.
    std::function<void()> onStateChanged;

    // Enqueues those of `ids` (any case) that the catalogue lists as missing from disk.
    void start(const std::vector<std::string>& ids);
    // Enqueues the first `limit` missing films of the catalogue, in catalogue order.
    void start(int limit);
    // Stops the transfer of `id` (any case) or takes it out of the queue.
    void cancel(const std::string& id);
    // Stops every transfer and empties the queue.
    void cancelAll();

    // Where films are stored while they arrive.
    std::string partialFolder() const;

private:
    struct Running {
        std::shared_ptr<HttpTask> task;
        // Tells late callbacks of an earlier transfer of the same key from this one's.
        std::uint64_t serial = 0;
        // Read on the network thread: a cancelled transfer never stores its file.
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    void pump();
    void begin(const std::string& key, const Url& source);
    // `failure` says why an item that was not stored failed; `logged`: it has been logged.
    void finish(const std::string& key, std::uint64_t serial, bool stored, const std::string& failure,
                bool logged);
    void progressed(const std::string& key, std::uint64_t serial, double fraction);
    void resetIfDrained();
    void changed();

    const std::shared_ptr<const Library> m_library;
    const std::shared_ptr<MainQueue> m_mainQueue;
    const std::shared_ptr<Clock> m_clock;
    const std::shared_ptr<Http> m_http;
    const std::shared_ptr<Images> m_images;
    const std::shared_ptr<Log> m_log;

    std::map<std::string, double> m_active;
    std::vector<std::string> m_waiting;
    int m_done = 0;
    int m_failed = 0;
    int m_total = 0;
    std::map<std::string, Running> m_tasks;
    std::map<std::string, Url> m_sources;
    std::map<std::string, std::string> m_failures;
    Date m_lastPublish = Date::distantPast();
    std::uint64_t m_nextSerial = 1;
};

} // namespace drovane
