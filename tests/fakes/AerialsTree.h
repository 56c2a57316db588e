#pragma once

#include <optional>
#include <string>
#include <vector>

namespace drovane::fakes {

class FakeHost;

// The system's aerials as the catalogue reads them, written into a fake host's tree: the
// manifest beside the video folder, films in the video folder, and built-in wallpaper films.
class AerialsTree {
public:
    struct Film {
        std::string id;
        std::string label;    // the manifest's "accessibilityLabel", which names the film
        std::string category; // the category's localization key ("AerialCategoryUnderwater")
        std::optional<std::string> url;
        std::optional<std::string> preview;
    };

    explicit AerialsTree(const FakeHost& host);

    std::string videosDir() const { return m_videos; }
    std::string manifestPath() const { return m_manifest; }

    // Writes the manifest, with one category per distinct key, and gives it a modification time
    // later than any manifest written before, so that the catalogue reads it again.
    void writeManifest(const std::vector<Film>& films);
    // The same for a manifest of any text.
    void writeManifestJson(const std::string& json);
    // The manifest text for `films`.
    static std::string manifestJson(const std::vector<Film>& films);
    // A film file in the video folder; returns its path.
    std::string addVideo(const std::string& fileName, const std::string& contents = "film");
    // A built-in wallpaper film at `relativePath` below the system wallpapers folder.
    std::string addSystemFilm(const std::string& relativePath);

private:
    std::string m_videos;
    std::string m_manifest;
    std::string m_systemFilms;
    int m_generation = 0;
};

} // namespace drovane::fakes
