#include "ui/SidebarModel.h"

#include "library/LibraryStore.h"
#include "ui/MainWindowActions.h"

namespace drovane::SidebarModel {

std::vector<Section> sections(const LibraryStore& store) {
    std::vector<Section> out;
    out.push_back(
        {"Library",
         {{"All Aerials", "circle.grid.2x2.fill", static_cast<int>(store.items().value().size()),
           SidebarSelection::all()},
          {"Favorites", "heart.circle.fill", favCount(store), SidebarSelection::favorites()},
          {"On Disk", "arrow.down.circle.fill", store.onDiskCount().value(), SidebarSelection::onDisk()}}});
    const auto& groups = store.groups().value();
    if (!groups.empty()) {
        Section categories{"Categories", {}};
        for (const auto& group : groups) {
            categories.rows.push_back(
                {group.name, symbol(group.name), group.total, SidebarSelection::named(group.name)});
        }
        out.push_back(std::move(categories));
    }
    return out;
}

int favCount(const LibraryStore& store) {
    const auto& favorites = store.favorites().value();
    int count = 0;
    for (const auto& item : store.items().value()) {
        count += favorites.contains(item.id) ? 1 : 0;
    }
    return count;
}

std::string symbol(const std::string& group) {
    if (group == "Landscapes") {
        return "mountain.2.circle.fill";
    }
    if (group == "Cityscapes") {
        return "building.2.crop.circle.fill";
    }
    if (group == "Earth from Space") {
        return "globe.americas.fill";
    }
    if (group == "Underwater") {
        return "drop.circle.fill";
    }
    if (group == "System") {
        return "command.circle.fill";
    }
    return "photo.circle.fill";
}

Menu sectionMenu(const LibraryStore& store, const MainWindowActions& actions, const SidebarSelection& row) {
    std::vector<LibraryItem> missing;
    std::vector<LibraryItem> onDisk;
    for (auto& film : store.items(row)) {
        (film.url ? onDisk : missing).push_back(std::move(film));
    }
    Menu menu;
    if (!missing.empty()) {
        MenuItem item;
        item.title = "Download All (" + std::to_string(missing.size()) + ")";
        item.action = [download = actions.downloadMany, missing] { download(missing); };
        menu.push_back(std::move(item));
    }
    if (!onDisk.empty()) {
        MenuItem item;
        item.title = "Delete All (" + std::to_string(onDisk.size()) + ")";
        item.action = [remove = actions.deleteMany, onDisk] { remove(onDisk); };
        menu.push_back(std::move(item));
    }
    return menu;
}

} // namespace drovane::SidebarModel
