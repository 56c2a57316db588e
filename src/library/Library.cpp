#include "library/Library.h"

#include "library/Manifest.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "support/CaseMapping.h"
#include "support/Files.h"

#include <algorithm>
#include <cassert>
#include <filesystem>

namespace drovane {

namespace {

namespace fs = std::filesystem;

constexpr const char* aerialsBelowHome = "Library/Application Support/com.apple.wallpaper/aerials";

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

std::string aerialsFolder(const Host& host) {
    return joinPath(host.homeDirectory(), aerialsBelowHome);
}

} // namespace

struct Library::Cached {
    Stamp stamp;
    std::shared_ptr<const Catalogue> catalogue;
};

Library::Library(std::shared_ptr<const Host> host, std::shared_ptr<Log> log)
    : m_host(std::move(host)), m_log(std::move(log)), m_videosDir(joinPath(aerialsFolder(*m_host), "videos")),
      m_manifestPath(joinPath(aerialsFolder(*m_host), "manifest/entries.json")) {}

Library::~Library() = default;

std::optional<std::string> Library::filmId(std::string_view fileName) {
    constexpr std::string_view suffix = ".mov";
    if (fileName.size() <= suffix.size() || !fileName.ends_with(suffix))
        return std::nullopt;
    return upperCased(fileName.substr(0, fileName.size() - suffix.size()));
}

bool Library::namesAFile(std::string_view id) {
    return !id.empty() && id.find('/') == std::string_view::npos && id.find('\0') == std::string_view::npos;
}

std::vector<Library::Entry> Library::parse() const {
    std::vector<Entry> entries;
    std::optional<std::string> failure;
    if (const auto bytes = readWholeFile(m_manifestPath)) {
        std::string whyNot;
        if (auto manifest = parseManifest(
                *bytes, [this] { return stringsTable(); }, &whyNot))
            entries = std::move(*manifest);
        else
            failure = std::move(whyNot);
    } else if (std::error_code ec; fs::exists(m_manifestPath, ec)) {
        failure = "cannot be read";
    }
    reportManifest(failure);
    auto system = systemVideos();
    entries.insert(entries.end(), std::make_move_iterator(system.begin()),
                   std::make_move_iterator(system.end()));
    return entries;
}

void Library::reportManifest(const std::optional<std::string>& failure) const {
    // Scans parse again whenever the file changes: a manifest rewritten as broken as before
    // is not news.
    std::lock_guard lock(m_reportLock);
    if (failure == m_lastReported)
        return;
    m_lastReported = failure;
    if (failure && m_log)
        m_log->line("Drovane: ignoring the manifest " + m_manifestPath + ": " + *failure);
}

std::shared_ptr<const Library::Catalogue> Library::load() const {
    const Stamp stamp = stampOf(m_manifestPath);
    {
        std::lock_guard lock(m_cacheLock);
        if (m_cached && m_cached->stamp == stamp)
            return m_cached->catalogue;
    }

    auto catalogue = std::make_shared<Catalogue>();
    catalogue->entries = parse();
    for (const auto& entry : catalogue->entries)
        catalogue->byId.insert_or_assign(entry.id, entry);

    std::lock_guard lock(m_cacheLock);
    m_cached = std::make_unique<Cached>(Cached{stamp, catalogue});
    return catalogue;
}

std::vector<Vid> Library::allVideos() const {
    const auto catalogue = load();
    std::vector<Vid> films;
    for (const auto& entry : catalogue->entries) {
        if (entry.fileURL)
            films.push_back(Vid{*entry.fileURL, entry.title(), entry.location});
    }
    for (const auto& file : listFolder(m_videosDir)) {
        // A FIFO or a device named like a film would block whoever opens it.
        const auto id = file.isRegularFile ? filmId(file.name) : std::nullopt;
        if (!id)
            continue;
        const auto it = catalogue->byId.find(*id);
        const Url url = Url::fromFilePath(joinPath(m_videosDir, file.name));
        if (it == catalogue->byId.end()) {
            films.push_back(Vid{url, *id, *id});
        } else {
            films.push_back(Vid{url, it->second.title(), it->second.location});
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

std::vector<Library::MissingAsset> Library::missingAssets() const {
    const auto onDisk = onDiskIDs();
    const auto catalogue = load();
    std::vector<MissingAsset> missing;
    for (const auto& entry : catalogue->entries) {
        if (entry.cdnURL && !onDisk.contains(entry.id))
            missing.push_back(MissingAsset{entry.id, *entry.cdnURL});
    }
    return missing;
}

std::set<std::string> Library::onDiskIDs() const {
    std::set<std::string> ids;
    for (const auto& file : listFolder(m_videosDir)) {
        if (auto id = file.isRegularFile ? filmId(file.name) : std::nullopt)
            ids.insert(std::move(*id));
    }
    return ids;
}

bool Library::stretches(const Url& file) const {
    const std::string id = upperCased(file.deletingPathExtension().lastPathComponent());
    const auto catalogue = load();
    const auto it = catalogue->byId.find(id);
    return it != catalogue->byId.end() && it->second.stretches;
}

} // namespace drovane
