#include "ui/DetailModel.h"

#include "library/LibraryStore.h"
#include "ui/MainWindowActions.h"
#include "ui/Wording.h"

#include <algorithm>

namespace drovane::DetailModel {

std::string title(const SidebarSelection& selection) {
    switch (selection.kind) {
    case SidebarSelection::Kind::All:
        return "All Aerials";
    case SidebarSelection::Kind::Favorites:
        return "Favorites";
    case SidebarSelection::Kind::OnDisk:
        return "On Disk";
    case SidebarSelection::Kind::Group:
        break;
    }
    return selection.group;
}

std::string subtitle(const std::vector<LibraryItem>& films) {
    const auto n = films.size();
    const auto k =
        std::count_if(films.begin(), films.end(), [](const LibraryItem& f) { return f.isOnDisk(); });
    return std::to_string(n) + (n == 1 ? " film" : " films") + " \u00B7 " + std::to_string(k) + " on disk";
}

Content content(const LibraryStore& store) {
    if (!store.scanned().value()) {
        return Content::Loading;
    }
    if (store.hasManifest().value() && !store.items().value().empty()) {
        return Content::Grid;
    }
    return Content::Empty;
}

std::vector<GridSection> sections(const LibraryStore& store, const std::vector<LibraryItem>& films) {
    std::vector<GridSection> out;
    for (const auto& group : store.groups().value()) {
        GridSection section;
        for (const auto& film : films) {
            if (film.group == group.name) {
                section.items.push_back(film);
            }
        }
        if (!section.items.empty()) {
            section.title = group.name;
            out.push_back(std::move(section));
        }
    }
    if (out.size() == 1) {
        out.front().title.reset();
    }
    return out;
}

EmptyState emptyState(const LibraryStore& store, const MainWindowActions& actions) {
    const Wording& words = wording();
    EmptyState state{words.emptyLabel, "photo.on.rectangle.angled", {}, {}, {}};
    if (!store.hasManifest().value()) {
        state.description = words.noCatalogDescription;
        const auto& fetch = store.catalogFetch().value();
        state.buttons.push_back(
            {words.fetchCatalogButton, true, actions.openWallpaperSettings, fetch.running});
        if (!fetch.running && !fetch.failure.empty()) {
            state.error = "Could not fetch the catalog: " + fetch.failure;
        }
        return state;
    }
    state.description = "The catalog is here, but no films are downloaded yet.";
    auto batch = actions.downloadBatch;
    state.buttons.push_back(
        {"Download " + std::to_string(batchSize), true, [batch] { batch(batchSize); }, false});
    if (const int missing = store.missingCount().value(); missing > batchSize) {
        state.buttons.push_back({"Download All (" + std::to_string(missing) + ")", false,
                                 [batch, missing] { batch(missing); }, false});
    }
    return state;
}

} // namespace drovane::DetailModel
