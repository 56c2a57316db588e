#include "soak/LibraryView.h"

#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "platform/Image.h"
#include "soak/SoakWorld.h"
#include "support/Settings.h"
#include "ui/TileModel.h"

#include <algorithm>

namespace drovane::soak {

namespace {

// Why `picture`, delivered for film `id`, is not what that film shows; empty when it is.
std::string wrongPicture(const SoakWorld& world, const std::string& id, bool preview,
                         const std::shared_ptr<const Image>& picture) {
    const Film* film = world.film(id);
    if (!picture) {
        // A still is always there for a film that has one; a preview may fail on the network.
        return !preview && film && film->hasFrame ? "no still for " + id + ", which has one" : "";
    }
    if (picture->isEmpty() || picture->rgba.empty()) {
        return "an empty picture for " + id;
    }
    const std::uint8_t expected = preview ? SoakWorld::previewFill(id) : SoakWorld::frameFill(id);
    if (picture->rgba.front() != expected) {
        return std::string(preview ? "the preview" : "the still") + " of " + id + " shows another picture";
    }
    if (!preview && film && !film->hasFrame) {
        return "a still for " + id + ", of which none can be taken";
    }
    return {};
}

} // namespace

void LibraryView::follow() {
    const bool visible = m_world.libraryVisible();
    if (visible && !isOpen()) {
        open();
    } else if (!visible && isOpen()) {
        close();
    }
}

void LibraryView::open() {
    const LibraryStore& store = *m_world.store();
    // Subscribed as a view is, so that the store's observers are counted while the window shows.
    auto notified = [] {};
    m_subscriptions.push_back(store.items().subscribe(notified));
    m_subscriptions.push_back(store.currentURL().subscribe(notified));
    m_subscriptions.push_back(store.manualPaused().subscribe(notified));
    m_subscriptions.push_back(store.download().subscribe(notified));
    m_subscriptions.push_back(store.missingCount().subscribe(notified));
    m_subscriptions.push_back(store.hasManifest().subscribe(notified));
    m_subscriptions.push_back(store.scanned().subscribe(notified));
    m_subscriptions.push_back(store.favorites().subscribe(notified));
    m_subscriptions.push_back(store.groups().subscribe(notified));
    m_subscriptions.push_back(store.onDiskCount().subscribe(notified));
}

void LibraryView::close() {
    m_subscriptions.clear();
    m_tiles.clear();
}

std::vector<LibraryItem> LibraryView::shownItems() const {
    const LibraryStore* store = m_world.store();
    return store ? store->items(selection) : std::vector<LibraryItem>{};
}

void LibraryView::showTiles(std::mt19937_64& random, int count) {
    const auto items = shownItems();
    if (items.empty() || !m_world.thumbnails()) {
        return;
    }
    std::uniform_int_distribution<std::size_t> pick(0, items.size() - 1);
    for (int i = 0; i < count; ++i) {
        const LibraryItem& item = items[pick(random)];
        auto& tile = m_tiles[item.id];
        if (!tile) {
            tile = std::make_shared<Tile>();
        }
        // The tile's own loading, which may hand over a picture twice (memory, then request).
        std::weak_ptr<Tile> weakTile = tile;
        TileModel::loadThumb(*m_world.thumbnails(), item,
                             [this, weakTile, id = item.id, preview = item.previewURL.has_value(),
                              problems = m_problems](std::shared_ptr<const Image> picture) {
                                 if (auto problem = wrongPicture(m_world, id, preview, picture);
                                     !problem.empty()) {
                                     problems->push_back(problem);
                                 }
                                 if (auto t = weakTile.lock(); t && picture) {
                                     t->picture = std::move(picture);
                                 }
                             });
        request(item);
    }
}

void LibraryView::request(const LibraryItem& item) {
    ThumbnailCache& cache = *m_world.thumbnails();
    const bool preview = item.previewURL.has_value();
    if (!preview && !item.url) {
        return;
    }
    auto ticket = std::make_shared<Ticket>(Ticket{item.id, 0});
    m_tickets.push_back(ticket);
    auto answered = [this, ticket, preview, problems = m_problems](ThumbnailCache::Picture picture) {
        if (++ticket->answers > 1) {
            problems->push_back("the picture request for " + ticket->key + " was answered " +
                                std::to_string(ticket->answers) + " times");
        }
        if (auto problem = wrongPicture(m_world, ticket->key, preview, picture); !problem.empty()) {
            problems->push_back(problem);
        }
    };
    if (preview) {
        cache.requestRemote(item.id, {Settings::previewURL(item.id), *item.previewURL}, answered);
    } else {
        cache.request(item.id, *item.url, answered);
    }
}

void LibraryView::hideTiles(std::mt19937_64& random) {
    std::erase_if(m_tiles,
                  [&random](const auto&) { return std::uniform_int_distribution<int>(0, 2)(random) == 0; });
}

int LibraryView::openRequests() const {
    return static_cast<int>(std::count_if(m_tickets.begin(), m_tickets.end(),
                                          [](const auto& ticket) { return ticket->answers == 0; }));
}

std::vector<std::string> LibraryView::takeProblems() {
    // Answered requests are kept only as long as a second answer could still be told apart.
    std::erase_if(m_tickets,
                  [](const auto& ticket) { return ticket->answers > 0 && ticket.use_count() == 1; });
    return std::exchange(*m_problems, {});
}

} // namespace drovane::soak
