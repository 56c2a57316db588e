#pragma once

#include "app/AppDelegate.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace drovane {
class LibraryStore;
class ThumbnailCache;
} // namespace drovane

namespace drovane::soak {

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
// machine: engine, policy watcher, download queue, store, thumbnail cache, status menu, library
// and settings windows, over a catalogue of films in a temporary home.
class SoakWorld {
public:
    SoakWorld();
    ~SoakWorld();
    SoakWorld(const SoakWorld&) = delete;
    SoakWorld& operator=(const SoakWorld&) = delete;

    // Starts the program as a bare executable does: the stored film plays, no window opens.
    void launch();
    // Lets the program go, as at the end of the process; the fakes' records of it too.
    void quit();

    AppModel& model() const;
    // Null until the library window was first opened.
    LibraryStore* store() const;
    ThumbnailCache* thumbnails() const;
    fakes::FakeLibraryWindow* libraryWindow() const;
    fakes::FakeSettingsWindow* settingsWindow() const;
    fakes::FakeStatusItem& statusItem() const;
    bool libraryVisible() const;
    bool settingsVisible() const;

    const Film* film(const std::string& id) const;
    // Where the downloader stores a film, and where it fetches it from.
    std::string filmPath(const std::string& id) const;
    static std::string downloadAddress(const std::string& id);
    static std::string previewAddress(const std::string& id);
    // The film's bytes as the network serves them.
    static std::string filmBody(const std::string& id);
    // Every channel of a film's still, and of its preview picture, holds this value.
    static std::uint8_t frameFill(const std::string& id);
    static std::uint8_t previewFill(const std::string& id);
    // The film a download address names; nothing for other addresses.
    static std::optional<std::string> filmOfAddress(const std::string& address);

    // Identifiers of the films in the video folder, and every file name there.
    std::set<std::string> onDisk() const;
    std::vector<std::string> videoFolderNames() const;
    std::vector<std::string> partialFolderNames() const;

    fakes::FakePlatform fake;
    const std::shared_ptr<const Library> library;
    fakes::AerialsTree aerials;
    const std::vector<Film> films;
    std::shared_ptr<AppDelegate> delegate;
};

} // namespace drovane::soak
