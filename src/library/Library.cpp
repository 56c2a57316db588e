#include "library/Library.h"

#include "library/CaseMapping.h"
#include "library/Manifest.h"
#include "library/StringTables.h"
#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <filesystem>
#include <list>
#include <mutex>

namespace drovane {

namespace {

namespace fs = std::filesystem;

constexpr const char* videosBelowHome = "Library/Application Support/com.apple.wallpaper/aerials/videos";
// The real manifest is a few megabytes; a file beyond this is not one and is treated as unreadable.
constexpr std::size_t maxManifestBytes = 256u << 20;

std::shared_ptr<Host> currentHost() {
    auto host = platform().host;
    assert(host && "the catalogue needs the platform's Host");
    return host;
}

bool sameHost(const std::weak_ptr<Host>& cached, const std::shared_ptr<Host>& host) {
    // An expired pointer never matches, even when a new Host reuses the old one's address.
    return !cached.owner_before(host) && !host.owner_before(cached) && !cached.expired();
}

std::string joinPath(std::string_view folder, std::string_view component) {
    while (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);
    std::string out(folder);
    out += '/';
    out += component;
    return out;
}

// The manifest's identity as load() compares it: its modification time, exactly, and its
// size, which tells apart two writes that land within one tick of a coarse file-system clock.
struct Stamp {
    bool present = false; // false: the distant past
    fs::file_time_type::rep modified = 0;
    std::uintmax_t size = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};

Stamp stampOf(const std::string& path) {
    std::error_code ec;
    const auto modified = fs::last_write_time(path, ec);
    if (ec)
        return {};
    Stamp stamp{true, modified.time_since_epoch().count(), 0};
    const auto size = fs::file_size(path, ec);
    if (!ec)
        stamp.size = size;
    return stamp;
}

struct Cached {
    std::weak_ptr<Host> host;
    Stamp stamp;
    std::shared_ptr<const Library::Catalogue> catalogue;
};

// Guards g_cached; never held while parsing.
std::mutex g_cacheLock;
std::optional<Cached> g_cached;
std::atomic<std::uint64_t> g_parseCount{0};

std::mutex g_videosDirLock;
std::weak_ptr<Host> g_videosDirHost;
// Every folder path handed out, so that a reference from videosDir() outlives a new Host.
std::list<std::string> g_videosDirs;
const std::string* g_videosDir = nullptr;

// The names directly inside `folder`, in the order the file system lists them.
std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

// The upper-cased base name of a film file (the ".mov" suffix is case-sensitive).
std::optional<std::string> filmId(const std::string& name) {
    constexpr std::string_view suffix = ".mov";
    if (name.size() <= suffix.size() || !name.ends_with(suffix))
        return std::nullopt;
    return upperCased(std::string_view(name).substr(0, name.size() - suffix.size()));
}

} // namespace

const std::string& Library::videosDir() {
    const auto host = currentHost();
    std::lock_guard lock(g_videosDirLock);
    if (!g_videosDir || !sameHost(g_videosDirHost, host)) {
        g_videosDirs.push_back(joinPath(host->homeDirectory(), videosBelowHome));
        g_videosDir = &g_videosDirs.back();
        g_videosDirHost = host;
    }
    return *g_videosDir;
}

std::string Library::manifestPath() {
    const fs::path aerials = fs::path(videosDir()).parent_path();
    return joinPath(aerials.string(), "manifest/entries.json");
}

std::uint64_t Library::parseCount() {
    return g_parseCount.load();
}

void Library::resetForTesting() {
    {
        std::lock_guard lock(g_cacheLock);
        g_cached.reset();
    }
    std::lock_guard lock(g_videosDirLock);
    g_videosDir = nullptr;
    g_videosDirHost.reset();
}

std::vector<Library::Entry> Library::parse() {
    g_parseCount.fetch_add(1);
    std::vector<Entry> entries;
    if (const auto bytes = readWholeFile(manifestPath(), maxManifestBytes)) {
        if (auto manifest = parseManifest(*bytes, [] { return stringsTable(); }))
            entries = std::move(*manifest);
    }
    auto system = systemVideos();
    entries.insert(entries.end(), std::make_move_iterator(system.begin()),
                   std::make_move_iterator(system.end()));
    return entries;
}

std::shared_ptr<const Library::Catalogue> Library::load() {
    const auto host = currentHost();
    const Stamp stamp = stampOf(manifestPath());
    {
        std::lock_guard lock(g_cacheLock);
        if (g_cached && g_cached->stamp == stamp && sameHost(g_cached->host, host))
            return g_cached->catalogue;
    }

    auto catalogue = std::make_shared<Catalogue>();
    catalogue->entries = parse();
    for (const auto& entry : catalogue->entries)
        catalogue->byId.insert_or_assign(entry.id, entry);

    std::lock_guard lock(g_cacheLock);
    g_cached = Cached{host, stamp, catalogue};
    return catalogue;
}

std::vector<Vid> Library::allVideos() {
    const auto catalogue = load();
    std::vector<Vid> films;
    for (const auto& entry : catalogue->entries) {
        if (entry.fileURL)
            films.push_back(Vid{*entry.fileURL, entry.name, entry.location});
    }
    const std::string& folder = videosDir();
    for (const auto& name : folderNames(folder)) {
        const auto id = filmId(name);
        if (!id)
            continue;
        const auto it = catalogue->byId.find(*id);
        const Url url = Url::fromFilePath(joinPath(folder, name));
        if (it == catalogue->byId.end()) {
            films.push_back(Vid{url, *id, *id});
        } else {
            films.push_back(Vid{url, it->second.name, it->second.location});
        }
    }
    std::vector<std::pair<std::string, Vid>> keyed;
    keyed.reserve(films.size());
    for (auto& film : films) {
        std::string key = lowerCased(film.label);
        keyed.emplace_back(std::move(key), std::move(film));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    films.clear();
    for (auto& [key, film] : keyed)
        films.push_back(std::move(film));
    return films;
}

std::vector<Library::MissingAsset> Library::missingAssets() {
    const auto onDisk = onDiskIDs();
    const auto catalogue = load();
    std::vector<MissingAsset> missing;
    for (const auto& entry : catalogue->entries) {
        if (entry.cdnURL && !onDisk.contains(entry.id))
            missing.push_back(MissingAsset{entry.id, *entry.cdnURL});
    }
    return missing;
}

std::set<std::string> Library::onDiskIDs() {
    std::set<std::string> ids;
    for (const auto& name : folderNames(videosDir())) {
        if (auto id = filmId(name))
            ids.insert(std::move(*id));
    }
    return ids;
}

bool Library::stretches(const Url& file) {
    const std::string id = upperCased(file.deletingPathExtension().lastPathComponent());
    const auto catalogue = load();
    const auto it = catalogue->byId.find(id);
    return it != catalogue->byId.end() && it->second.stretches;
}

} // namespace drovane
