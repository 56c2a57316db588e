#include "fakes/FakeImages.h"

#include "support/AtomicFile.h"
#include "support/Files.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace drovane::fakes {

namespace {

std::optional<Image> parse(const std::string& text, int maxPixelSize) {
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

} // namespace

Image solidImage(int width, int height, std::uint8_t fill) {
    return Image{width, height, std::vector<std::uint8_t>(std::size_t{4} * width * height, fill)};
}

std::string FakeImages::encode(int width, int height, std::uint8_t fill) {
    return "fakeimage " + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(fill);
}

std::optional<Image> FakeImages::decodeFile(const std::string& path, int maxPixelSize) {
    ++decodeFileCalls;
    auto text = readWholeFile(path);
    return text ? parse(*text, maxPixelSize) : std::nullopt;
}

std::optional<Image> FakeImages::decodeData(const std::vector<std::uint8_t>& bytes, int maxPixelSize) {
    return parse(std::string(bytes.begin(), bytes.end()), maxPixelSize);
}

std::optional<std::vector<std::uint8_t>> FakeImages::encodeJpeg(const Image& image, double quality) {
    lastQuality = quality;
    if (image.isEmpty()) {
        return std::nullopt;
    }
    const std::string text = encode(image.width, image.height, image.rgba.front());
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

FrameResult FakeImages::extractFrame(const std::string& filmPath, double seconds, double toleranceBefore,
                                     double toleranceAfter, int maxWidth, int maxHeight) {
    ++extractCalls;
    std::lock_guard lock(m_mutex);
    m_lastFrameRequest = {seconds, toleranceBefore, toleranceAfter, maxWidth, maxHeight};
    auto it = m_films.find(filmPath);
    if (it == m_films.end()) {
        return {std::nullopt, "cannot open " + filmPath};
    }
    return {it->second, {}};
}

std::string FakeImages::filmError(const std::string& path) {
    const auto bytes = readWholeFile(path);
    if (!bytes) {
        return "cannot open " + path;
    }
    return bytes->starts_with("<") ? "no picture stream in " + path : std::string();
}

void FakeImages::setFilm(const std::string& path, Image frame) {
    std::lock_guard lock(m_mutex);
    m_films[path] = std::move(frame);
}

} // namespace drovane::fakes
