#include "fakes/AerialsTree.h"

#include "fakes/FakeHost.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

namespace drovane::fakes {

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20) {
                static const char* hex = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xf];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

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
    std::string assets;
    std::set<std::string> keys;
    for (const Film& film : films) {
        if (!assets.empty()) {
            assets += ",";
        }
        assets += "{\"id\":" + quoted(film.id) + ",\"accessibilityLabel\":" + quoted(film.label) +
                  ",\"categories\":[" + quoted("cat-" + film.category) + "]";
        if (film.url) {
            assets += ",\"url-4K-SDR-240FPS\":" + quoted(*film.url);
        }
        if (film.preview) {
            assets += ",\"previewImage\":" + quoted(*film.preview);
        }
        assets += "}";
        keys.insert(film.category);
    }
    std::string categories;
    for (const std::string& key : keys) {
        if (!categories.empty()) {
            categories += ",";
        }
        categories += "{\"id\":" + quoted("cat-" + key) + ",\"localizedNameKey\":" + quoted(key) + "}";
    }
    return "{\"assets\":[" + assets + "],\"categories\":[" + categories + "]}";
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
