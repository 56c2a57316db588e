#include "library/ThumbnailCache.h"

#include "platform/Platform.h"
#include "support/AtomicFile.h"
#include "support/Files.h"

#include <cassert>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace drovane {

namespace {

// URLSession's default request time-out, which preview transfers have always had.
constexpr double previewTimeoutSeconds = 60;

void removeOldCdnFiles(const std::string& dir) {
    for (const auto& entry : listFolder(dir)) {
        if (entry.name.ends_with("-cdn.png")) {
            std::error_code ignored;
            std::filesystem::remove(joinPath(dir, entry.name), ignored);
        }
    }
}

} // namespace

std::shared_ptr<ThumbnailCache> ThumbnailCache::create(const Platform& platform) {
    return std::make_shared<ThumbnailCache>(Passkey{}, platform);
}

ThumbnailCache::ThumbnailCache(Passkey, const Platform& platform)
    : m_mainQueue(platform.mainQueue), m_images(platform.images), m_http(platform.http), m_log(platform.log) {
    assert(m_mainQueue && m_images && platform.taskQueues && platform.host &&
           "the thumbnail cache needs the main queue, task queues, images and the host");
    m_queue = platform.taskQueues->make(framesQueueLabel, 4, QualityOfService::Utility);
    m_previewQueue = platform.taskQueues->make(previewsQueueLabel, 6, QualityOfService::UserInitiated);

    m_dir = joinPath(platform.host->cacheDirectory(), folder);
    std::error_code ignored;
    std::filesystem::create_directories(m_dir, ignored);
    removeOldCdnFiles(m_dir);

    m_mem.setCountLimit(countLimit);
    m_mem.setTotalCostLimit(totalCostLimit);
}

ThumbnailCache::~ThumbnailCache() {
    // Work dropped with the cache still owes its clients an answer: nothing, once each.
    for (auto& [key, completions] : m_inflight) {
        m_mainQueue->post([completions = std::move(completions)] {
            for (const Completion& completion : completions) {
                completion(nullptr);
            }
        });
    }
}

std::string ThumbnailCache::diskFile(const std::string& key, const std::string& suffix) const {
    // Keys come from the manifest: a separator must not lead out of the folder.
    std::string name;
    name.reserve(key.size() + suffix.size());
    for (char c : key) {
        switch (c) {
        case '%':
            name += "%25";
            break;
        case '/':
            name += "%2F";
            break;
        case '\0':
            name += "%00";
            break;
        default:
            name += c;
        }
    }
    return m_dir + "/" + name + suffix;
}

void ThumbnailCache::request(const std::string& id, const Url& url, Completion completion) {
    if (auto hit = m_mem.object(id)) {
        completion(*hit);
        return;
    }
    if (!join(id, std::move(completion))) {
        return;
    }
    m_queue->async([weak = weak_from_this(), id, url, path = diskFile(id, ".jpg")] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        Picture picture = self->decodeDiskFile(path);
        if (!picture) {
            picture = self->extractFrame(id, url, path);
        }
        self->deliver(id, std::move(picture));
    });
}

void ThumbnailCache::requestRemote(const std::string& id, const std::vector<Url>& urls,
                                   Completion completion) {
    const std::string key = id + "-preview";
    if (auto hit = m_mem.object(key)) {
        completion(*hit);
        return;
    }
    if (!join(key, std::move(completion))) {
        return;
    }
    m_previewQueue->async([weak = weak_from_this(), key, urls, path = diskFile(key, ".img")] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (Picture picture = self->decodeDiskFile(path)) {
            self->deliver(key, std::move(picture));
        } else if (urls.empty() || !self->m_http) {
            self->deliver(key, nullptr);
        } else {
            self->fetch(key, urls, 0, path);
        }
    });
}

bool ThumbnailCache::join(const std::string& key, Completion completion) {
    std::lock_guard lock(m_inflightLock);
    auto [it, inserted] = m_inflight.try_emplace(key);
    it->second.push_back(std::move(completion));
    return inserted;
}

void ThumbnailCache::deliver(const std::string& key, Picture picture) {
    if (picture) {
        m_mem.setObject(key, picture, picture->cost());
    }
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m_inflightLock);
        if (auto it = m_inflight.find(key); it != m_inflight.end()) {
            completions = std::move(it->second);
            m_inflight.erase(it);
        }
    }
    m_mainQueue->post([completions = std::move(completions), picture = std::move(picture)] {
        for (const Completion& completion : completions) {
            completion(picture);
        }
    });
}

ThumbnailCache::Picture ThumbnailCache::decodeDiskFile(const std::string& path) const {
    auto image = m_images->decodeFile(path, maxPixelSize);
    if (!image || image->isEmpty()) {
        return nullptr;
    }
    return std::make_shared<const Image>(std::move(*image));
}

ThumbnailCache::Picture ThumbnailCache::extractFrame(const std::string& id, const Url& film,
                                                     const std::string& path) const {
    const auto filmPath = film.filePath();
    FrameResult frame = filmPath ? m_images->extractFrame(*filmPath, frameSeconds, frameTolerance,
                                                          frameTolerance, maxPixelSize, maxPixelSize)
                                 : FrameResult{std::nullopt, "not a local file: " + film.string()};
    if (!frame.image || frame.image->isEmpty()) {
        if (m_log) {
            m_log->line("Drovane: thumb " + id +
                        " failed: " + (frame.error.empty() ? std::string("no picture") : frame.error));
        }
        return nullptr;
    }
    if (auto jpeg = m_images->encodeJpeg(*frame.image, jpegQuality)) {
        writeFileAtomically(path,
                            std::string_view(reinterpret_cast<const char*>(jpeg->data()), jpeg->size()));
    }
    return std::make_shared<const Image>(std::move(*frame.image));
}

void ThumbnailCache::fetch(const std::string& key, std::vector<Url> urls, std::size_t index,
                           std::string path) {
    // A started task is kept by the network layer until its completion has run.
    auto task = m_http->get(
        urls[index], previewTimeoutSeconds,
        [weak = weak_from_this(), key, urls, index, path](const HttpDataResult& result) {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            std::optional<std::vector<std::uint8_t>> body;
            if (result.error.empty() && result.statusCode == 200 && result.body && !result.body->empty()) {
                body = result.body;
            }
            // Decoding waits for a preview worker so that the network thread keeps moving
            // every other transfer.
            self->m_previewQueue->async([weak, key, urls, index, path, body = std::move(body)] {
                auto cache = weak.lock();
                if (!cache) {
                    return;
                }
                if (Picture picture = body ? cache->acceptBody(*body, path) : nullptr) {
                    cache->deliver(key, std::move(picture));
                } else if (index + 1 < urls.size()) {
                    cache->fetch(key, urls, index + 1, path);
                } else {
                    cache->deliver(key, nullptr);
                }
            });
        });
    task->resume();
}

ThumbnailCache::Picture ThumbnailCache::acceptBody(const std::vector<std::uint8_t>& body,
                                                   const std::string& path) const {
    auto image = m_images->decodeData(body, maxPixelSize);
    if (!image || image->isEmpty()) {
        return nullptr;
    }
    writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    return std::make_shared<const Image>(std::move(*image));
}

} // namespace drovane
