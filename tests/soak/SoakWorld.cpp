#include "soak/SoakWorld.h"

#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "playback/AppModel.h"
#include "support/Files.h"
#include "support/Settings.h"
#include "ui/MainWindowController.h"
#include "ui/SettingsWindowController.h"
#include "ui/StatusMenu.h"

#include <algorithm>
#include <cassert>
#include <filesystem>

namespace drovane::soak {

namespace {

// Four categories, long and short films, one that never loops (3 s), one that no player can
// decode and two of which no still can be taken. A few are on disk when the day begins.
std::vector<Film> catalogue() {
    return {
        {"REEF-01", "Coral Reef", "AerialCategoryUnderwater", 24.0, true, true, true},
        {"KELP-02", "Kelp Forest", "AerialCategoryUnderwater", 31.5, true, false, false},
        {"TRENCH-03", "Deep Trench", "AerialCategoryUnderwater", 12.0, true, true, false},
        {"MANTA-04", "Manta Rays", "AerialCategoryUnderwater", 3.0, true, false, false},
        {"SKYLINE-05", "Skyline at Dusk", "AerialCategoryCities", 40.0, true, true, true},
        {"BRIDGE-06", "Golden Bridge", "AerialCategoryCities", 18.0, false, false, false},
        {"HARBOR-07", "Harbor Lights", "AerialCategoryCities", std::nullopt, true, true, false},
        {"AVENUE-08", "Avenue", "AerialCategoryCities", 9.5, true, false, false},
        {"DUNES-09", "Dunes", "AerialCategoryLandscapes", 27.0, true, true, true},
        {"GLACIER-10", "Glacier Bay", "AerialCategoryLandscapes", 15.0, true, false, false},
        {"CANYON-11", "canyon rim", "AerialCategoryLandscapes", 22.0, false, true, false},
        {"FJORD-12", "Fjord", "AerialCategoryLandscapes", 36.0, true, false, false},
        {"AURORA-13", "Aurora", "AerialCategorySpace", 20.0, true, true, true},
        {"ORBIT-14", "Night Orbit", "AerialCategorySpace", 3.01, true, false, false},
        {"SUNRISE-15", "Sunrise over the Pacific", "AerialCategorySpace", 45.0, true, true, false},
        {"NILE-16", "Nile Delta", "AerialCategorySpace", 11.0, true, false, false},
    };
}

std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& entry : listFolder(folder)) {
        out.push_back(entry.name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

SoakWorld::SoakWorld()
    : library(std::make_shared<Library>(fake.host)), aerials(*fake.host), films(catalogue()) {
    fake.workspace->trashRemovesFiles = true;

    std::vector<fakes::AerialsTree::Film> manifest;
    for (const Film& f : films) {
        manifest.push_back({f.id, f.label, f.categoryKey, downloadAddress(f.id),
                            f.hasPreview ? std::optional<std::string>(previewAddress(f.id)) : std::nullopt});
        const std::string path = filmPath(f.id);
        fake.video->durations[path] = f.duration;
        if (f.hasFrame) {
            fake.images->setFilm(path, fakes::solidImage(64, 36, frameFill(f.id)));
        }
        if (f.onDiskAtStart) {
            aerials.addVideo(f.id + ".mov", filmBody(f.id));
        }
    }
    aerials.writeManifest(manifest);
    // The film chosen on an earlier day.
    fake.defaults->set(Settings::selectedVideoKey, filmPath("DUNES-09"));
}

SoakWorld::~SoakWorld() {
    quit();
}

void SoakWorld::launch() {
    assert(!delegate && "the program runs once");
    delegate = AppDelegate::create(fake.platform(), library);
    delegate->applicationDidFinishLaunching();
}

void SoakWorld::quit() {
    delegate.reset();
    fake.libraryWindows->made.clear();
    fake.settingsWindows->made.clear();
    fake.statusBar->items.clear();
    fake.alerts->shown.clear();
    fake.alerts->handles.clear();
}

AppModel& SoakWorld::model() const {
    return *delegate->model;
}

LibraryStore* SoakWorld::store() const {
    return delegate && delegate->mainWindow ? delegate->mainWindow->store.get() : nullptr;
}

ThumbnailCache* SoakWorld::thumbnails() const {
    auto* window = libraryWindow();
    return window ? window->content.thumbnails.get() : nullptr;
}

fakes::FakeLibraryWindow* SoakWorld::libraryWindow() const {
    return fake.libraryWindows->made.empty() ? nullptr : fake.libraryWindows->made.front().get();
}

fakes::FakeSettingsWindow* SoakWorld::settingsWindow() const {
    return fake.settingsWindows->made.empty() ? nullptr : fake.settingsWindows->made.front().get();
}

fakes::FakeStatusItem& SoakWorld::statusItem() const {
    return *fake.statusBar->items.at(0);
}

bool SoakWorld::libraryVisible() const {
    return libraryWindow() && libraryWindow()->visible;
}

bool SoakWorld::settingsVisible() const {
    return settingsWindow() && settingsWindow()->visible;
}

const Film* SoakWorld::film(const std::string& id) const {
    auto it = std::find_if(films.begin(), films.end(), [&id](const Film& f) { return f.id == id; });
    return it == films.end() ? nullptr : &*it;
}

std::string SoakWorld::filmPath(const std::string& id) const {
    return library->videosDir() + "/" + id + ".mov";
}

std::string SoakWorld::downloadAddress(const std::string& id) {
    return "https://cdn.test/films/" + id + ".mov";
}

std::string SoakWorld::previewAddress(const std::string& id) {
    return "https://cdn.test/previews/" + id + ".jpg";
}

std::optional<std::string> SoakWorld::filmOfAddress(const std::string& address) {
    const std::string prefix = "https://cdn.test/films/";
    if (!address.starts_with(prefix) || !address.ends_with(".mov")) {
        return std::nullopt;
    }
    return address.substr(prefix.size(), address.size() - prefix.size() - 4);
}

std::string SoakWorld::filmBody(const std::string& id) {
    return "moov " + id;
}

std::uint8_t SoakWorld::frameFill(const std::string& id) {
    return static_cast<std::uint8_t>(std::hash<std::string>{}(id) % 251);
}

std::uint8_t SoakWorld::previewFill(const std::string& id) {
    return static_cast<std::uint8_t>(frameFill(id) + 1);
}

std::set<std::string> SoakWorld::onDisk() const {
    return library->onDiskIDs();
}

std::vector<std::string> SoakWorld::videoFolderNames() const {
    return names(library->videosDir());
}

std::vector<std::string> SoakWorld::partialFolderNames() const {
    return names(model().downloader->partialFolder());
}

} // namespace drovane::soak
