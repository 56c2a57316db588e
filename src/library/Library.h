#pragma once

#include "platform/Url.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace drovane {

class Host;
class Log;

// A film that can be played now from a local file.
struct Vid {
    Url url;
    std::string label; // the title shown for the film
    std::string group; // the name menus group it under (the entry's location)
    friend bool operator==(const Vid&, const Vid&) = default;
};

// The catalogue of aerial films: the system's aerials manifest, its video folder and the
// built-in wallpaper films, named through the localized string tables. Never writes anything;
// every failure shrinks the result. One instance per process, made by the composition root
// and handed to whoever reads the catalogue; every operation may be called from any thread.
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

        // The title a film is shown under: its name, else its place, else its identifier (a
        // catalogue fetched without the system's name tables names nothing).
        const std::string& title() const { return !name.empty() ? name : !location.empty() ? location : id; }
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

    // The catalogue of the user and the system that `host` describes. A manifest that is there
    // but cannot be used is reported to `log`, once for each new reason.
    explicit Library(std::shared_ptr<const Host> host, std::shared_ptr<Log> log = nullptr);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // "<home>/Library/Application Support/com.apple.wallpaper/aerials/videos".
    const std::string& videosDir() const { return m_videosDir; }
    // "<aerials>/manifest/entries.json", beside the videos folder.
    const std::string& manifestPath() const { return m_manifestPath; }

    // The catalogue, parsed again only when the manifest's modification time or size changes.
    std::shared_ptr<const Catalogue> load() const;
    // Reads the manifest and appends the system films.
    std::vector<Entry> parse() const;
    // The built-in system films.
    std::vector<Entry> systemVideos() const;
    // Every film playable from local files, sorted by lower-cased label (stable).
    std::vector<Vid> allVideos() const;
    // Entries with a download address that are not in the video folder, in catalogue order.
    std::vector<MissingAsset> missingAssets() const;
    // Upper-cased base names of the ".mov" files in the video folder.
    std::set<std::string> onDiskIDs() const;
    // Whether the film of this file is to be stretched rather than cropped.
    bool stretches(const Url& file) const;
    // The upper-cased identifier a file name in the video folder stands for: its base name
    // when it ends in ".mov" (case-sensitive); nothing otherwise.
    static std::optional<std::string> filmId(std::string_view fileName);
    // Whether the identifier can name a file in the video folder (itself + ".mov"): not empty,
    // and without "/" or NUL, which would name a file elsewhere or another one.
    static bool namesAFile(std::string_view id);

    // The localized string table (key -> title) from the system's tables.
    std::map<std::string, std::string> stringsTable() const;
    // The built-in category titles by localization key.
    static const std::map<std::string, std::string>& categoryNames();
    // A title made from a localization key that no table knows.
    static std::string readable(const std::string& key);

private:
    struct Cached;

    // Logs why the manifest was ignored, unless that was the last reason logged; none: it was
    // usable or absent.
    void reportManifest(const std::optional<std::string>& failure) const;

    const std::shared_ptr<const Host> m_host;
    const std::shared_ptr<Log> m_log;
    const std::string m_videosDir;
    const std::string m_manifestPath;
    // Guards m_cached; never held while parsing.
    mutable std::mutex m_cacheLock;
    mutable std::unique_ptr<Cached> m_cached;
    mutable std::mutex m_reportLock;
    mutable std::optional<std::string> m_lastReported;
};

} // namespace drovane
