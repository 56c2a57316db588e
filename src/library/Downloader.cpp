#include "library/Downloader.h"

#include "library/Library.h"
#include "platform/Images.h"
#include "platform/Platform.h"
#include "support/AtomicFile.h"
#include "support/CaseMapping.h"
#include "support/Files.h"

#include <algorithm>
#include <cassert>
#include <filesystem>
#include <set>
#include <system_error>

namespace drovane {

namespace {

std::string downloadKey(const std::string& id) {
    return upperCased(id);
}

// Why a finished transfer cannot be stored as a film; empty when it can. An answer of 200 may
// still be an error page (a captive portal, say), so the body must be a film too.
std::string whyNotStored(const HttpDownloadResult& result, Images* images) {
    if (!result.error.empty()) {
        return result.error;
    }
    if (!result.statusCode) {
        return "no HTTP response";
    }
    if (*result.statusCode != 200) {
        return "HTTP status " + std::to_string(*result.statusCode);
    }
    if (!result.temporaryFile) {
        return "no file arrived";
    }
    if (images) {
        if (std::string error = images->filmError(*result.temporaryFile); !error.empty()) {
            return "not a film (" + error + ")";
        }
    }
    return {};
}

std::string parentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

std::shared_ptr<Downloader> Downloader::create(const Platform& platform,
                                               std::shared_ptr<const Library> library) {
    return std::make_shared<Downloader>(Passkey{}, platform, std::move(library));
}

std::string Downloader::partialFolder() const {
    return parentFolder(m_library->videosDir()) + "/" + partialFolderName;
}

Downloader::Downloader(Passkey, const Platform& platform, std::shared_ptr<const Library> library)
    : m_library(std::move(library)), m_mainQueue(platform.mainQueue), m_clock(platform.clock),
      m_http(platform.http), m_images(platform.images), m_log(platform.log) {
    assert(m_mainQueue && m_clock && "the downloader needs the main queue and the clock");
    // Only one instance of the program runs, so whatever lies there was left by a run that ended
    // mid-transfer.
    const std::string folder = partialFolder();
    for (const auto& entry : listFolder(folder)) {
        if (entry.isRegularFile) {
            std::error_code ignored;
            std::filesystem::remove(joinPath(folder, entry.name), ignored);
        }
    }
}

Downloader::~Downloader() {
    for (auto& [key, running] : m_tasks) {
        running.cancelled->store(true);
        if (running.task) {
            running.task->cancel();
        }
    }
}

void Downloader::start(const std::vector<std::string>& ids) {
    std::set<std::string> wanted;
    for (const std::string& id : ids) {
        wanted.insert(downloadKey(id));
    }
    std::vector<Library::MissingAsset> kept;
    for (Library::MissingAsset& asset : m_library->missingAssets()) {
        if (wanted.contains(downloadKey(asset.id))) {
            kept.push_back(std::move(asset));
        }
    }
    if (kept.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::create_directories(m_library->videosDir(), ignored);
    std::filesystem::create_directories(partialFolder(), ignored);

    for (const Library::MissingAsset& asset : kept) {
        const std::string key = downloadKey(asset.id);
        if (m_active.contains(key) || std::find(m_waiting.begin(), m_waiting.end(), key) != m_waiting.end()) {
            continue;
        }
        if (!Library::namesAFile(key)) {
            if (m_log) {
                m_log->line("Drovane: cannot store " + key + ".mov: not a file name");
            }
            continue;
        }
        m_sources.insert_or_assign(key, asset.url);
        m_failures.erase(key);
        m_waiting.push_back(key);
        ++m_total;
    }
    pump();
    changed();
}

void Downloader::start(int limit) {
    std::vector<std::string> ids;
    if (limit > 0) {
        for (const Library::MissingAsset& asset : m_library->missingAssets()) {
            if (ids.size() == static_cast<std::size_t>(limit)) {
                break;
            }
            ids.push_back(asset.id);
        }
    }
    start(ids);
}

void Downloader::cancel(const std::string& id) {
    const std::string key = downloadKey(id);
    if (auto it = m_tasks.find(key); it != m_tasks.end()) {
        Running running = std::move(it->second);
        m_tasks.erase(it);
        m_active.erase(key);
        m_sources.erase(key);
        m_total = std::max(0, m_total - 1);
        running.cancelled->store(true);
        if (running.task) {
            running.task->cancel();
        }
    } else if (auto queued = std::find(m_waiting.begin(), m_waiting.end(), key); queued != m_waiting.end()) {
        m_waiting.erase(queued);
        m_sources.erase(key);
        m_total = std::max(0, m_total - 1);
    } else {
        return;
    }
    resetIfDrained();
    pump();
    changed();
}

void Downloader::cancelAll() {
    std::map<std::string, Running> running = std::move(m_tasks);
    m_tasks.clear();
    m_waiting.clear();
    m_active.clear();
    m_sources.clear();
    for (auto& [key, transfer] : running) {
        transfer.cancelled->store(true);
        if (transfer.task) {
            transfer.task->cancel();
        }
    }
    m_done = 0;
    m_failed = 0;
    m_total = 0;
    changed();
}

void Downloader::pump() {
    while (m_active.size() < maxActive && !m_waiting.empty()) {
        const std::string key = m_waiting.front();
        m_waiting.erase(m_waiting.begin());
        if (auto source = m_sources.find(key); source != m_sources.end()) {
            begin(key, source->second);
        }
    }
}

void Downloader::begin(const std::string& key, const Url& source) {
    const std::string fileName = key + ".mov";
    const std::string destination = m_library->videosDir() + "/" + fileName;
    const std::uint64_t serial = m_nextSerial++;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<Downloader> weak = weak_from_this();

    m_active[key] = 0.0;
    Running& running = m_tasks[key];
    running.serial = serial;
    running.cancelled = cancelled;
    if (!m_http) {
        // No network on this platform: the item fails as a transfer error would.
        m_mainQueue->post([weak, key, serial] {
            if (auto self = weak.lock()) {
                self->finish(key, serial, false, "no network", false);
            }
        });
        return;
    }

    auto onProgress = [weak, key, serial, queue = m_mainQueue](double fraction) {
        queue->post([weak, key, serial, fraction] {
            if (auto self = weak.lock()) {
                self->progressed(key, serial, fraction);
            }
        });
    };
    // Runs on the network thread while the temporary file exists: the check and the move happen
    // here.
    auto onComplete = [weak, key, serial, cancelled, fileName, destination, queue = m_mainQueue,
                       images = m_images, log = m_log](const HttpDownloadResult& result) {
        if (cancelled->load()) {
            return; // the item is gone from the queue already
        }
        std::string failure = whyNotStored(result, images.get());
        bool stored = false;
        bool logged = false;
        if (failure.empty()) {
            if (auto error = moveFileWithoutReplacing(*result.temporaryFile, destination)) {
                if (log) {
                    log->line("Drovane: cannot store " + fileName + ": " + *error);
                }
                failure = "cannot store " + fileName + ": " + *error;
                logged = true;
            } else {
                stored = true;
            }
        }
        queue->post([weak, key, serial, stored, logged, failure = std::move(failure)] {
            if (auto self = weak.lock()) {
                self->finish(key, serial, stored, failure, logged);
            }
        });
    };
    running.task = m_http->download(source, partialFolder(), std::move(onProgress), std::move(onComplete));
    running.task->resume();
}

void Downloader::finish(const std::string& key, std::uint64_t serial, bool stored, const std::string& failure,
                        bool logged) {
    // Gone: cancelled. Another serial: a late completion of a cancelled transfer meeting a new
    // transfer of the same film, which must not be finished by it.
    auto it = m_tasks.find(key);
    if (it == m_tasks.end() || it->second.serial != serial) {
        // Cancelled only after its film had landed: the item does not count, but the film is in
        // the folder all the same, and whoever waits for one must hear of it.
        if (stored && onItemFinished) {
            onItemFinished();
        }
        return;
    }
    m_tasks.erase(it);
    m_active.erase(key);
    m_sources.erase(key);
    ++m_done;
    if (stored) {
        m_failures.erase(key);
        if (onItemFinished) {
            onItemFinished();
        }
    } else {
        ++m_failed;
        m_failures.insert_or_assign(key, failure);
        if (m_log && !logged) {
            m_log->line("Drovane: download of " + key + " failed: " + failure);
        }
    }
    pump();
    resetIfDrained();
    changed();
}

void Downloader::progressed(const std::string& key, std::uint64_t serial, double fraction) {
    auto it = m_tasks.find(key);
    if (it == m_tasks.end() || it->second.serial != serial || !(fraction >= 0)) {
        return;
    }
    fraction = std::min(fraction, 1.0);
    const auto percent = [](double f) { return static_cast<long>(f * 100); };
    const auto stored = m_active.find(key);
    const long before = stored == m_active.end() ? 0 : percent(stored->second);
    if (percent(fraction) == before) {
        return;
    }
    m_active[key] = fraction;
    const Date now = m_clock->now();
    if (now.secondsSince(m_lastPublish) > publishInterval) {
        m_lastPublish = now;
        changed();
    }
}

void Downloader::resetIfDrained() {
    if (m_active.empty() && m_waiting.empty()) {
        m_done = 0;
        m_failed = 0;
        m_total = 0;
    }
}

void Downloader::changed() {
    if (onStateChanged) {
        onStateChanged();
    }
}

} // namespace drovane
