#include "library/LibraryStore.h"

#include "library/Downloader.h"
#include "library/EngineState.h"
#include "library/Library.h"
#include "platform/DefaultsStore.h"
#include "platform/Platform.h"
#include "support/CaseMapping.h"
#include "support/Files.h"

#include <algorithm>
#include <cassert>
#include <filesystem>
#include <map>
#include <numeric>
#include <system_error>

namespace drovane {

namespace {

// The video folder's films by identifier, under the names they really have: on a file system
// that tells case apart, "c1.mov" cannot be opened as "C1.mov". The exact upper-case name wins
// when both exist.
std::map<std::string, std::string> filmFileNames(const std::string& folder) {
    std::map<std::string, std::string> names;
    for (auto& file : listFolder(folder)) {
        auto id = file.isRegularFile ? Library::filmId(file.name) : std::nullopt;
        if (!id) {
            continue;
        }
        const bool exact = file.name == *id + ".mov";
        auto [found, inserted] = names.try_emplace(std::move(*id), file.name);
        if (!inserted && exact) {
            found->second = std::move(file.name);
        }
    }
    return names;
}

bool manifestExists(const Library& library) {
    std::error_code ignored;
    return std::filesystem::exists(library.manifestPath(), ignored);
}

} // namespace

std::shared_ptr<LibraryStore> LibraryStore::create(std::weak_ptr<EngineState> model, const Platform& platform,
                                                   std::shared_ptr<const Library> library) {
    return std::make_shared<LibraryStore>(Passkey{}, std::move(model), platform, std::move(library));
}

LibraryStore::LibraryStore(Passkey, std::weak_ptr<EngineState> model, const Platform& platform,
                           std::shared_ptr<const Library> library)
    : m_model(std::move(model)), m_library(std::move(library)), m_mainQueue(platform.mainQueue),
      m_scanQueue(platform.taskQueues->make(scanQueueLabel, 1, QualityOfService::UserInitiated)) {
    assert(m_mainQueue && m_scanQueue && "the library store needs the main queue and a task queue");
    if (auto engine = m_model.lock(); engine && engine->defaults) {
        if (auto stored = engine->defaults->value(favoritesKey)) {
            if (auto ids = stored->asStringArray()) {
                m_favorites.assign(std::set<std::string>(ids->begin(), ids->end()));
            }
        }
    }
    m_hasManifest.assign(manifestExists(*m_library));
    readLiveState();
}

void LibraryStore::refresh() {
    readLiveState();
    if (m_refreshPending) {
        return;
    }
    m_refreshPending = true;
    m_mainQueue->post([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->m_refreshPending = false;
            self->scan();
        }
    });
}

void LibraryStore::readLiveState() {
    auto engine = m_model.lock();
    if (!engine) {
        return;
    }
    m_currentURL.assign(engine->videoURL);
    m_manualPaused.assign(engine->manualPaused);
    m_desktopNotice.assign(engine->desktopNotice);
    DownloadState state;
    if (engine->downloader) {
        state.active = engine->downloader->active();
        state.waiting.insert(engine->downloader->waiting().begin(), engine->downloader->waiting().end());
        state.failed = engine->downloader->failures();
    }
    m_download.assign(std::move(state));
}

void LibraryStore::scan() {
    if (m_scanning) {
        m_rescanQueued = true;
        return;
    }
    m_scanning = true;
    m_scanQueue->async([weak = weak_from_this(), queue = m_mainQueue, library = m_library] {
        if (weak.expired()) {
            return;
        }
        queue->post([weak, result = scanCatalogue(*library)]() mutable {
            if (auto self = weak.lock()) {
                self->publish(std::move(result));
            }
        });
    });
}

void LibraryStore::publish(Scan result) {
    m_items.assign(std::move(result.items));
    m_groups.assign(std::move(result.groups));
    m_onDiskCount.assign(result.onDiskCount);
    m_missingCount.assign(result.missingCount);
    m_hasManifest.assign(result.manifestExists);
    m_scanned.assign(true);
    readLiveState();
    m_scanning = false;
    if (m_rescanQueued) {
        m_rescanQueued = false;
        scan();
    }
}

LibraryStore::Scan LibraryStore::scanCatalogue(const Library& library) {
    const auto catalogue = library.load();
    const std::set<std::string> onDisk = library.onDiskIDs();
    Scan scan;
    scan.manifestExists = manifestExists(library);

    const std::string& videos = library.videosDir();
    const std::map<std::string, std::string> fileNames =
        onDisk.empty() ? std::map<std::string, std::string>() : filmFileNames(videos);
    std::vector<LibraryItem> items;
    items.reserve(catalogue->entries.size());
    for (const Library::Entry& entry : catalogue->entries) {
        LibraryItem item{entry.id, entry.title(), entry.category, std::nullopt, entry.previewURL};
        if (entry.fileURL) {
            item.url = entry.fileURL;
        } else if (onDisk.contains(entry.id)) {
            const auto file = fileNames.find(entry.id);
            item.url = Url::fromFilePath(videos + "/" +
                                         (file != fileNames.end() ? file->second : entry.id + ".mov"));
        }
        items.push_back(std::move(item));
    }

    // Sort keys once per item rather than once per comparison.
    struct Key {
        std::string group;
        std::string title;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    for (const LibraryItem& item : items) {
        keys.push_back(
            {item.group == systemGroup ? std::string() : lowerCased(item.group), lowerCased(item.label)});
    }
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) {
        if (keys[a].group != keys[b].group) {
            return keys[a].group < keys[b].group;
        }
        return keys[a].title < keys[b].title;
    });
    scan.items.reserve(items.size());
    for (std::size_t index : order) {
        scan.items.push_back(std::move(items[index]));
    }

    scan.groups = counts(scan.items);
    scan.onDiskCount = static_cast<int>(std::count_if(
        scan.items.begin(), scan.items.end(), [](const LibraryItem& item) { return item.isOnDisk(); }));
    scan.missingCount = static_cast<int>(scan.items.size()) - scan.onDiskCount;
    return scan;
}

std::vector<GroupCount> LibraryStore::counts(const std::vector<LibraryItem>& items) {
    std::vector<GroupCount> groups;
    std::map<std::string, std::size_t> index;
    for (const LibraryItem& item : items) {
        auto [it, inserted] = index.try_emplace(item.group, groups.size());
        if (inserted) {
            groups.push_back(GroupCount{item.group, 0, 0});
        }
        GroupCount& group = groups[it->second];
        ++group.total;
        if (item.isOnDisk()) {
            ++group.onDisk;
        }
    }
    return groups;
}

void LibraryStore::showNotice(std::string text) {
    m_notice.assign(std::move(text));
    const unsigned serial = ++m_noticeSerial;
    m_mainQueue->postAfter(noticeSeconds, [weak = weak_from_this(), serial] {
        if (auto self = weak.lock(); self && self->m_noticeSerial == serial) {
            self->dismissNotice();
        }
    });
}

void LibraryStore::dismissNotice() {
    m_notice.assign(std::nullopt);
}

std::vector<LibraryItem> LibraryStore::items(const SidebarSelection& selection) const {
    const std::vector<LibraryItem>& all = m_items.value();
    std::vector<LibraryItem> result;
    const auto keep = [&](auto predicate) {
        std::copy_if(all.begin(), all.end(), std::back_inserter(result), predicate);
        return result;
    };
    switch (selection.kind) {
    case SidebarSelection::Kind::All:
        return all;
    case SidebarSelection::Kind::Favorites:
        return keep([this](const LibraryItem& item) { return m_favorites.value().contains(item.id); });
    case SidebarSelection::Kind::OnDisk:
        return keep([](const LibraryItem& item) { return item.isOnDisk(); });
    case SidebarSelection::Kind::Group:
        return keep([&selection](const LibraryItem& item) { return item.group == selection.group; });
    }
    return result;
}

void LibraryStore::toggleFavorite(const std::string& id) {
    std::set<std::string> next = m_favorites.value();
    if (!next.erase(id)) {
        next.insert(id);
    }
    m_favorites.assign(next);
    if (auto engine = m_model.lock(); engine && engine->defaults) {
        Value::Array sorted;
        sorted.reserve(next.size());
        for (const std::string& favorite : next) {
            sorted.emplace_back(favorite);
        }
        engine->defaults->set(favoritesKey, Value(std::move(sorted)));
    }
}

} // namespace drovane
