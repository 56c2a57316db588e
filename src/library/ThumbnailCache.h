#pragma once

#include "library/MemoryCache.h"
#include "platform/Image.h"
#include "platform/Url.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace drovane {

class Http;
class Images;
class Log;
class MainQueue;
class TaskQueue;
struct Platform;

// The still pictures of the library's tiles: frames taken from films on disk and preview
// pictures downloaded from the network, made off the main thread, kept in a bounded memory
// cache and in a folder of the user's cache directory, with simultaneous requests for one
// picture merged into one piece of work.
class ThumbnailCache : public std::enable_shared_from_this<ThumbnailCache> {
    struct Passkey {};

public:
    // A picture shared by every client that asked for it; null stands for "none could be made".
    using Picture = std::shared_ptr<const Image>;
    using Completion = std::function<void(Picture)>;

    static constexpr int maxPixelSize = 560;
    static constexpr std::size_t countLimit = 400;
    static constexpr std::size_t totalCostLimit = 100'663'296;
    static constexpr double frameSeconds = 2.0;
    static constexpr double frameTolerance = 1.0;
    static constexpr double jpegQuality = 0.82;
    static constexpr const char* framesQueueLabel = "app.drovane.thumbs";
    static constexpr const char* previewsQueueLabel = "app.drovane.previews";
    // Within the host's cache folder.
    static constexpr const char* folder = "thumbs";

    // A cache working through the platform's queues, pictures, network and log, its files in
    // the user's cache folder. The composition root makes the process's one instance.
    static std::shared_ptr<ThumbnailCache> create(const Platform& platform);

    ThumbnailCache(Passkey, const Platform& platform);
    ~ThumbnailCache();
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    // Decoded pictures by key (the identifier, or identifier + "-preview"). A client may look a
    // key up synchronously before requesting it. Any thread.
    MemoryCache<Picture>& mem() { return m_mem; }
    // The disk cache folder.
    const std::string& dir() const { return m_dir; }

    // A frame of the film in the local file `url`, keyed by `id`. A memory hit answers before
    // this returns, on this thread; otherwise `completion` runs once, later, on the main thread.
    // Main thread.
    void request(const std::string& id, const Url& url, Completion completion);
    // A preview picture for `id`, from the disk cache or else the first of `urls` that answers
    // with a picture. Answers as request(). Main thread.
    void requestRemote(const std::string& id, const std::vector<Url>& urls, Completion completion);

    // The disk cache file for `key` + `suffix`: a single file name directly in dir(), whatever
    // the key holds.
    std::string diskFile(const std::string& key, const std::string& suffix) const;

private:
    // Registers `completion` for `key`; true when no work for that key is under way yet.
    bool join(const std::string& key, Completion completion);
    // Stores a picture, hands it to every waiting completion on the main thread.
    void deliver(const std::string& key, Picture picture);
    Picture decodeDiskFile(const std::string& path) const;
    Picture extractFrame(const std::string& id, const Url& film, const std::string& path) const;
    // Fetches urls[index] and, failing that, the addresses after it.
    void fetch(const std::string& key, std::vector<Url> urls, std::size_t index, std::string path);
    Picture acceptBody(const std::vector<std::uint8_t>& body, const std::string& path) const;

    const std::shared_ptr<MainQueue> m_mainQueue;
    const std::shared_ptr<Images> m_images;
    const std::shared_ptr<Http> m_http;
    const std::shared_ptr<Log> m_log;
    MemoryCache<Picture> m_mem;
    std::string m_dir;
    std::shared_ptr<TaskQueue> m_queue;
    std::shared_ptr<TaskQueue> m_previewQueue;
    std::mutex m_inflightLock;
    std::map<std::string, std::vector<Completion>> m_inflight;
};

} // namespace drovane
