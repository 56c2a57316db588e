#pragma once

#include "platform/Images.h"
#include "support/Files.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

namespace drovane::fakes {

// A picture of the given size whose every channel holds `fill`.
inline Image solidImage(int width, int height, std::uint8_t fill) {
    return Image{width, height, std::vector<std::uint8_t>(std::size_t{4} * width * height, fill)};
}

// Pictures in a tiny text form ("fakeimage <width> <height> <fill>"), so that tests can write
// picture files and bodies by hand; frames of films are scripted by path. Any file is a film
// but markup (bytes starting with "<", an error page). Counts every call.
class FakeImages final : public Images {
public:
    // The bytes of a picture of the given size whose every channel holds `fill`.
    static std::string encode(int width, int height, std::uint8_t fill) {
        return "fakeimage " + std::to_string(width) + " " + std::to_string(height) + " " +
               std::to_string(fill);
    }

    std::optional<Image> decodeFile(const std::string& path, int maxPixelSize) override {
        ++decodeFileCalls;
        auto text = readWholeFile(path);
        return text ? parse(*text, maxPixelSize) : std::nullopt;
    }
    std::optional<Image> decodeData(const std::vector<std::uint8_t>& bytes, int maxPixelSize) override {
        return parse(std::string(bytes.begin(), bytes.end()), maxPixelSize);
    }
    std::optional<std::vector<std::uint8_t>> encodeJpeg(const Image& image, double) override {
        if (image.isEmpty()) {
            return std::nullopt;
        }
        const std::string text = encode(image.width, image.height, image.rgba.front());
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }
    FrameResult extractFrame(const std::string& filmPath, double, double, double, int, int) override {
        ++extractCalls;
        std::lock_guard lock(m_mutex);
        auto it = m_films.find(filmPath);
        if (it == m_films.end()) {
            return {std::nullopt, "cannot open " + filmPath};
        }
        return {it->second, {}};
    }
    std::string filmError(const std::string& path) override {
        const auto bytes = readWholeFile(path);
        if (!bytes) {
            return "cannot open " + path;
        }
        return bytes->starts_with("<") ? "no picture stream in " + path : std::string();
    }

    // The frame a film yields; a film not set here fails with "cannot open <path>".
    void setFilm(const std::string& path, Image frame) {
        std::lock_guard lock(m_mutex);
        m_films[path] = std::move(frame);
    }

    std::atomic<int> decodeFileCalls{0};
    std::atomic<int> extractCalls{0};

private:
    static std::optional<Image> parse(const std::string& text, int maxPixelSize) {
        std::istringstream in(text);
        std::string magic;
        int width = 0;
        int height = 0;
        int fill = 0;
        if (!(in >> magic >> width >> height >> fill) || magic != "fakeimage" || width <= 0 || height <= 0) {
            return std::nullopt;
        }
        const int longer = std::max(width, height);
        if (longer > maxPixelSize) {
            const double scale = static_cast<double>(maxPixelSize) / longer;
            width = std::max(1, static_cast<int>(std::lround(width * scale)));
            height = std::max(1, static_cast<int>(std::lround(height * scale)));
        }
        return solidImage(width, height, static_cast<std::uint8_t>(fill));
    }

    std::mutex m_mutex;
    std::map<std::string, Image> m_films;
};

} // namespace drovane::fakes
