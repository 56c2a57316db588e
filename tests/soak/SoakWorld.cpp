#include "soak/SoakWorld.h"

#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "playback/AppModel.h"
#include "support/Settings.h"
#include "ui/MainWindowController.h"

#include <algorithm>

namespace drovane::soak {

namespace {

// Four categories, long and short films, one that never loops (3 s), one that no player can
// decode and two of which no still can be taken. A few are on disk when the day begins.
std::vector<Film> catalogue() {
    return {
        {"REEF-01", "Coral Reef", "AerialCategoryUnderwater", 24.0, true, true, true},
        {"TRENCH-03", "Deep Trench", "AerialCategoryUnderwater", 12.0, true, true, false},
        {"MANTA-04", "Manta Rays", "AerialCategoryUnderwater", 3.0, true, false, false},
        {"SKYLINE-05", "Skyline at Dusk", "AerialCategoryCities", 40.0, true, true, true},
        {"BRIDGE-06", "Golden Bridge", "AerialCategoryCities", 18.0, false, false, false},
        {"HARBOR-07", "Harbor Lights", "AerialCategoryCities", std::nullopt, true, true, false},
        {"DUNES-09", "Dunes", "AerialCategoryLandscapes", 27.0, true, true, true},
        {"CANYON-11", "canyon rim", "AerialCategoryLandscapes", 22.0, false, true, false},
        {"FJORD-12", "Fjord", "AerialCategoryLandscapes", 36.0, true, false, false},
        {"AURORA-13", "Aurora", "AerialCategorySpace", 20.0, true, true, true},
        {"ORBIT-14", "Night Orbit", "AerialCategorySpace", 3.01, true, false, false},
        {"SUNRISE-15", "Sunrise over the Pacific", "AerialCategorySpace", 45.0, true, true, false},
    };
}

// Calls `f` with every value the store publishes.
template <typename F> void forEachPublished(const LibraryStore& store, F f) {
    f(store.items());
    f(store.currentURL());
    f(store.manualPaused());
    f(store.download());
    f(store.missingCount());
    f(store.hasManifest());
    f(store.scanned());
    f(store.favorites());
    f(store.groups());
    f(store.onDiskCount());
}

} // namespace

SoakWorld::SoakWorld()
    : library(std::make_shared<Library>(fake.host)), aerials(*fake.host), films(catalogue()) {
    fake.workspace->trashRemovesFiles = true;
    std::vector<fakes::AerialsTree::Film> manifest;
    for (const Film& f : films) {
        manifest.push_back(
            {f.id, f.label, f.categoryKey, "https://cdn.test/films/" + f.id + ".mov",
             f.hasPreview ? std::optional("https://cdn.test/previews/" + f.id + ".jpg") : std::nullopt});
        fake.video->durations[filmPath(f.id)] = f.duration;
        if (f.hasFrame) {
            fake.images->setFilm(filmPath(f.id), fakes::solidImage(64, 36, 128));
        }
        if (f.onDiskAtStart) {
            aerials.addVideo(f.id + ".mov", filmBody(f.id));
        }
    }
    aerials.writeManifest(manifest);
    // The film chosen on an earlier day.
    fake.defaults->set(Settings::selectedVideoKey, filmPath("DUNES-09"));
}

void SoakWorld::quit() {
    delegate.reset();
    fake.libraryWindows->made.clear();
    fake.settingsWindows->made.clear();
    fake.statusBar->items.clear();
    fake.alerts->shown.clear();
    fake.alerts->handles.clear();
}

LibraryStore* SoakWorld::store() const {
    return delegate && delegate->mainWindow ? delegate->mainWindow->store.get() : nullptr;
}

std::optional<MenuItem> SoakWorld::trayItem(const std::string& identifier) const {
    for (auto& item : fake.statusBar->items.at(0)->open()) {
        if (item.identifier == identifier) {
            return std::move(item);
        }
    }
    return std::nullopt;
}

const Film* SoakWorld::film(const std::string& id) const {
    auto it = std::find_if(films.begin(), films.end(), [&id](const Film& f) { return f.id == id; });
    return it == films.end() ? nullptr : &*it;
}

const Film* SoakWorld::playing() const {
    return model().videoURL ? film(idOf(*model().videoURL)) : nullptr;
}

void LibraryView::follow() {
    const bool visible = m_world.libraryVisible();
    if (visible && !isOpen()) {
        // Subscribed as a view is, so that the store's observers are counted while the window shows.
        forEachPublished(*m_world.store(),
                         [this](const auto& value) { m_subscriptions.push_back(value.subscribe([] {})); });
    } else if (!visible && isOpen()) {
        m_subscriptions.clear();
    }
}

std::vector<LibraryItem> LibraryView::shownItems() const {
    const LibraryStore* store = m_world.store();
    return store ? store->items(selection) : std::vector<LibraryItem>{};
}

std::size_t LibraryView::storeObservers() const {
    std::size_t observers = 0;
    if (const LibraryStore* store = m_world.store()) {
        forEachPublished(*store, [&observers](const auto& value) { observers += value.observerCount(); });
    }
    return observers;
}

} // namespace drovane::soak
