#include "fakes/AerialsTree.h"

#include "fakes/FakeHost.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

namespace drovane::fakes {

namespace {

namespace fs = std::filesystem;

void writeFile(const std::string& path, const std::string& contents) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

} // namespace

AerialsTree::AerialsTree(const FakeHost& host)
    : m_videos(host.homeDirectory() + "/Library/Application Support/com.apple.wallpaper/aerials/videos"),
      m_manifest(host.homeDirectory() +
                 "/Library/Application Support/com.apple.wallpaper/aerials/manifest/entries.json"),
      m_systemFilms(host.systemPath("/System/Library/Desktop Pictures/.wallpapers")) {}

std::string AerialsTree::manifestJson(const std::vector<Film>& films) {
    auto assets = nlohmann::json::array();
    auto categories = nlohmann::json::array();
    std::set<std::string> keys;
    for (const Film& film : films) {
        nlohmann::json asset = {
            {"id", film.id}, {"accessibilityLabel", film.label}, {"categories", {"cat-" + film.category}}};
        if (film.url)
            asset["url-4K-SDR-240FPS"] = *film.url;
        if (film.preview)
            asset["previewImage"] = *film.preview;
        assets.push_back(asset);
        if (keys.insert(film.category).second)
            categories.push_back({{"id", "cat-" + film.category}, {"localizedNameKey", film.category}});
    }
    return nlohmann::json{{"assets", assets}, {"categories", categories}}.dump();
}

void AerialsTree::writeManifest(const std::vector<Film>& films) {
    writeManifestJson(manifestJson(films));
}

void AerialsTree::writeManifestJson(const std::string& json) {
    writeFile(m_manifest, json);
    // Whole seconds apart: a modification time of its own even on coarse file systems.
    const auto stamp = fs::file_time_type::clock::now() + std::chrono::seconds(++m_generation);
    fs::last_write_time(m_manifest, stamp);
}

std::string AerialsTree::addVideo(const std::string& fileName, const std::string& contents) {
    const std::string path = m_videos + "/" + fileName;
    writeFile(path, contents);
    return path;
}

std::string AerialsTree::addSystemFilm(const std::string& relativePath) {
    const std::string path = m_systemFilms + "/" + relativePath;
    writeFile(path, "system film");
    return path;
}

} // namespace drovane::fakes
