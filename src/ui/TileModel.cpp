#include "ui/TileModel.h"

#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "support/Settings.h"
#include "ui/MainWindowActions.h"
#include "ui/Wording.h"

#include <algorithm>
#include <cmath>

namespace drovane::TileModel {

State state(const LibraryStore& store, const LibraryItem& item) {
    State tile{item, false, false, std::nullopt, false, std::nullopt};
    const auto& current = store.currentURL().value();
    tile.isCurrent = item.url && current && item.url->path() == current->path();
    tile.isFavorite = store.favorites().value().contains(item.id);
    const auto& download = store.download().value();
    if (auto it = download.active.find(item.id); it != download.active.end()) {
        tile.progress = it->second;
    }
    tile.waiting = download.waiting.contains(item.id);
    if (auto failed = download.failed.find(item.id);
        failed != download.failed.end() && !tile.busy() && !item.isOnDisk()) {
        tile.failure = failed->second;
    }
    return tile;
}

Tap tap(const State& tile) {
    if (tile.busy()) {
        return Tap::CancelDownload;
    }
    return tile.item.isOnDisk() ? Tap::Select : Tap::Download;
}

void performTap(const State& tile, const MainWindowActions& actions) {
    switch (tap(tile)) {
    case Tap::CancelDownload:
        actions.cancelItem(tile.item);
        break;
    case Tap::Select:
        actions.select(tile.item);
        break;
    case Tap::Download:
        actions.download(tile.item);
        break;
    }
}

std::optional<std::string> badgeSymbol(const State& tile, bool hover) {
    if (tile.progress) {
        return hover ? "xmark.circle.fill" : "arrow.down.circle.fill";
    }
    if (tile.waiting) {
        return hover ? "xmark.circle.fill" : "ellipsis.circle.fill";
    }
    if (tile.failure) {
        return "exclamationmark.circle.fill";
    }
    if (!tile.item.isOnDisk()) {
        return "arrow.down.circle.fill";
    }
    return std::nullopt;
}

std::string failureText(const State& tile) {
    return tile.failure ? "Download failed: " + *tile.failure : std::string();
}

std::string accessibleState(const State& tile) {
    std::string out;
    if (tile.progress) {
        const long percent = std::lround(std::clamp(*tile.progress, 0.0, 1.0) * 100);
        out = "downloading, " + std::to_string(percent) + " percent";
    } else if (tile.waiting) {
        out = "waiting";
    } else {
        out = tile.item.isOnDisk() ? "on disk" : "not downloaded";
    }
    if (tile.isCurrent) {
        out += ", playing";
    }
    if (tile.isFavorite) {
        out += ", favourite";
    }
    return out;
}

std::optional<double> ringFraction(const State& tile) {
    if (!tile.progress) {
        return std::nullopt;
    }
    return std::clamp(*tile.progress, 0.02, 1.0);
}

std::string heartSymbol(const State& tile) {
    return tile.isFavorite ? "heart.fill" : "heart";
}

std::string heartTooltip(const State& tile) {
    return tile.isFavorite ? "Remove from Favorites" : "Add to Favorites";
}

HeartColor heartColor(const State& tile, bool hasPicture) {
    if (tile.isFavorite) {
        return HeartColor::Red;
    }
    return hasPicture ? HeartColor::White : HeartColor::Secondary;
}

double heartShadowOpacity(const State& tile, bool hasPicture) {
    return hasPicture || tile.isFavorite ? 0.5 : 0.0;
}

bool isDeletable(const LibraryItem& item, const std::string& videosDir) {
    if (!item.url || videosDir.empty()) {
        return false;
    }
    // A whole folder name: ".../videos2/x.mov" is not in ".../videos".
    const std::string folder = videosDir.ends_with('/') ? videosDir : videosDir + "/";
    return item.url->path().starts_with(folder);
}

Menu menu(const State& tile, const MainWindowActions& actions, const std::function<void()>& toggleFavorite,
          const std::string& videosDir) {
    Menu out;
    const LibraryItem& item = tile.item;
    auto add = [&out](std::string title, std::function<void()> action) {
        MenuItem entry;
        entry.title = std::move(title);
        entry.action = std::move(action);
        out.push_back(std::move(entry));
    };
    if (tile.busy()) {
        add("Cancel Download", [f = actions.cancelItem, item] { f(item); });
        out.push_back(MenuItem::separator());
    } else if (!item.isOnDisk()) {
        add("Download", [f = actions.download, item] { f(item); });
        out.push_back(MenuItem::separator());
    } else if (!tile.isCurrent) {
        add("Set as Wallpaper", [f = actions.select, item] { f(item); });
        out.push_back(MenuItem::separator());
    }
    add(heartTooltip(tile), toggleFavorite);
    if (item.isOnDisk()) {
        out.push_back(MenuItem::separator());
        add(wording().revealItem, [f = actions.revealInFinder, item] { f(item); });
        if (isDeletable(item, videosDir)) {
            add("Delete from Device", [f = actions.deleteItem, item] { f(item); });
        }
    }
    return out;
}

void loadThumb(ThumbnailCache& cache, const LibraryItem& item,
               const std::function<void(std::shared_ptr<const Image>)>& deliver) {
    if (item.previewURL) {
        if (auto hit = cache.mem().object(item.id + "-preview")) {
            deliver(*hit);
        }
        cache.requestRemote(item.id, {Settings::previewURL(item.id), *item.previewURL}, deliver);
    } else if (item.url) {
        if (auto hit = cache.mem().object(item.id)) {
            deliver(*hit);
        }
        cache.request(item.id, *item.url, deliver);
    }
}

} // namespace drovane::TileModel
