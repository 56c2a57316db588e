#pragma once

#include "app/AppDelegate.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"
#include "library/SidebarSelection.h"

#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace drovane {
class LibraryStore;
class ThumbnailCache;
} // namespace drovane

namespace drovane::soak {

using Random = std::mt19937_64;

inline int uniform(Random& random, int from, int to) {
    return std::uniform_int_distribution<int>(from, to)(random);
}

template <typename T> const T& pick(const std::vector<T>& from, Random& random) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

// One film of the day's catalogue, and how its file and pictures behave.
struct Film {
    std::string id; // upper case, as the catalogue keys it
    std::string label;
    std::string categoryKey;
    // Nothing: a file no player can decode (its layer never shows a frame).
    std::optional<double> duration;
    // A still can be taken from its file.
    bool hasFrame = true;
    // The manifest gives a preview picture for it.
    bool hasPreview = false;
    // In the video folder when the day begins.
    bool onDiskAtStart = false;
};

// The whole program as a user runs it, built through the application delegate on the fake
// machine, over a catalogue of films in a temporary home.
class SoakWorld {
public:
    SoakWorld();
    ~SoakWorld() { quit(); }
    SoakWorld(const SoakWorld&) = delete;
    SoakWorld& operator=(const SoakWorld&) = delete;

    // Starts the program as a bare executable does: the stored film plays, no window opens.
    void launch() {
        delegate = AppDelegate::create(fake.platform(), library);
        delegate->applicationDidFinishLaunching();
    }
    // Lets the program go, as at the end of the process; the fakes' records of it too.
    void quit();

    AppModel& model() const { return *delegate->model; }
    // Null until the library window was first opened.
    LibraryStore* store() const;
    ThumbnailCache* thumbnails() const {
        return libraryWindow() ? libraryWindow()->content.thumbnails.get() : nullptr;
    }
    fakes::FakeLibraryWindow* libraryWindow() const {
        return fake.libraryWindows->made.empty() ? nullptr : fake.libraryWindows->made.front().get();
    }
    fakes::FakeSettingsWindow* settingsWindow() const {
        return fake.settingsWindows->made.empty() ? nullptr : fake.settingsWindows->made.front().get();
    }
    bool libraryVisible() const { return libraryWindow() && libraryWindow()->visible; }
    bool settingsVisible() const { return settingsWindow() && settingsWindow()->visible; }
    // The tray menu's top-level item with this identifier, as the menu opens now.
    std::optional<MenuItem> trayItem(const std::string& identifier) const;

    const Film* film(const std::string& id) const;
    // The film that plays; null when none does.
    const Film* playing() const;
    // Where the downloader stores a film.
    std::string filmPath(const std::string& id) const { return library->videosDir() + "/" + id + ".mov"; }
    std::set<std::string> onDisk() const { return library->onDiskIDs(); }

    // The film a film's address or file names.
    static std::string idOf(const Url& url) { return url.deletingPathExtension().lastPathComponent(); }
    // The film's bytes as the network serves them.
    static std::string filmBody(const std::string& id) { return "moov " + id; }

    fakes::FakePlatform fake;
    const std::shared_ptr<const Library> library;
    fakes::AerialsTree aerials;
    const std::vector<Film> films;
    std::shared_ptr<AppDelegate> delegate;
};

// What the library window's views hold while the window shows, as the toolkit's views would: a
// subscription to every published value of the store. (The tiles' pictures are the thumbnail
// cache's tests' and the window's.)
class LibraryView {
public:
    explicit LibraryView(SoakWorld& world) : m_world(world) {}

    // Opens when the window has come on screen, closes when it has gone.
    void follow();
    bool isOpen() const { return !m_subscriptions.empty(); }

    // The sidebar's choice and the films it shows now.
    SidebarSelection selection;
    std::vector<LibraryItem> shownItems() const;

    // Observers of the store's published values, the views' and the program's.
    std::size_t storeObservers() const;

private:
    SoakWorld& m_world;
    std::vector<Subscription> m_subscriptions;
};

// The user and the machine: picks an event that fits the moment, with weights that make a
// plausible day, and makes it happen through the program's own surfaces (tray menu, library
// window actions and tiles, settings switches, URLs, the machine's notifications).
// Makes one event happen; returns its name, for the failure report.
std::string act(SoakWorld& world, LibraryView& view, Random& random);
// Brings the machine and the user back to rest: windows closed, downloads cancelled, the screen
// unlocked and awake, nothing covered, nothing paused, alerts answered.
void rest(SoakWorld& world);

} // namespace drovane::soak
