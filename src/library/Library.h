#pragma once

#include "platform/Url.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace drovane {

// A film that can be played now from a local file.
struct Vid {
    Url url;
    std::string label; // the title shown for the film
    std::string group; // the name menus group it under (the entry's location)
    friend bool operator==(const Vid&, const Vid&) = default;
};

// The catalogue of aerial films: the system's aerials manifest, its video folder and the
// built-in wallpaper films, named through the localized string tables. Never writes anything;
// every failure shrinks the result. Every operation may be called from any thread.
//
// Folders come from the installed platform's Host: the home folder, and the system root below
// which absolute system paths are looked up. The values computed once (videosDir()) and the
// parse cache belong to the Host installed when they were made: installing a platform with
// another Host (a test's fresh FakePlatform) makes the next call compute them anew.
// resetForTesting() forgets them outright.
class Library {
public:
    struct Entry {
        std::string id;       // upper case
        std::string name;     // display name
        std::string location; // place label
        std::string category; // category title
        std::optional<Url> cdnURL;
        std::optional<Url> previewURL;
        std::optional<Url> fileURL; // system films only
        bool stretches = false;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // The catalogue as loaded: entries in catalogue order, and by identifier (the later of two
    // entries sharing an identifier wins in the map).
    struct Catalogue {
        std::vector<Entry> entries;
        std::map<std::string, Entry> byId;
    };

    struct MissingAsset {
        std::string id; // upper case
        Url url;
        friend bool operator==(const MissingAsset&, const MissingAsset&) = default;
    };

    Library() = delete;

    // "<home>/Library/Application Support/com.apple.wallpaper/aerials/videos", computed once
    // (per installed Host).
    static const std::string& videosDir();
    // "<aerials>/manifest/entries.json", beside the videos folder.
    static std::string manifestPath();

    // The catalogue, parsed again only when the manifest's modification time changes.
    static std::shared_ptr<const Catalogue> load();
    // Reads the manifest and appends the system films.
    static std::vector<Entry> parse();
    // The built-in system films.
    static std::vector<Entry> systemVideos();
    // Every film playable from local files, sorted by lower-cased label (stable).
    static std::vector<Vid> allVideos();
    // Entries with a download address that are not in the video folder, in catalogue order.
    static std::vector<MissingAsset> missingAssets();
    // Upper-cased base names of the ".mov" files in the video folder.
    static std::set<std::string> onDiskIDs();
    // Whether the film of this file is to be stretched rather than cropped.
    static bool stretches(const Url& file);

    // The localized string table (key -> title) from the system's tables.
    static std::map<std::string, std::string> stringsTable();
    // The built-in category titles by localization key.
    static const std::map<std::string, std::string>& categoryNames();
    // A title made from a localization key that no table knows.
    static std::string readable(const std::string& key);

    // How many times the manifest has been parsed in this process (by load() or parse()).
    static std::uint64_t parseCount();
    // Forgets the parse cache and the once-computed folders, so that the next call works
    // against the platform installed then. Test fixtures call it; never while another thread
    // uses Library. References returned by videosDir() earlier stay valid.
    static void resetForTesting();
};

} // namespace drovane
