#pragma once

#include "platform/Images.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace drovane::fakes {

// Pictures in a tiny text form ("fakeimage <width> <height> <fill>"), so that tests can write
// picture files and bodies by hand; frames of films are scripted by path. Any file is a film
// but markup (bytes starting with "<", an error page). Counts every call.
class FakeImages final : public Images {
public:
    // The bytes of a picture of the given size whose every channel holds `fill`.
    static std::string encode(int width, int height, std::uint8_t fill);

    std::optional<Image> decodeFile(const std::string& path, int maxPixelSize) override;
    std::optional<Image> decodeData(const std::vector<std::uint8_t>& bytes, int maxPixelSize) override;
    std::optional<std::vector<std::uint8_t>> encodeJpeg(const Image& image, double quality) override;
    FrameResult extractFrame(const std::string& filmPath, double seconds, double toleranceBefore,
                             double toleranceAfter, int maxWidth, int maxHeight) override;
    std::string filmError(const std::string& path) override;

    // The frame a film yields; a film not set here fails with "cannot open <path>".
    void setFilm(const std::string& path, Image frame);

    std::atomic<int> decodeFileCalls{0};
    std::atomic<int> extractCalls{0};
    std::atomic<double> lastQuality{0};

    struct FrameRequest {
        double seconds = 0, toleranceBefore = 0, toleranceAfter = 0;
        int maxWidth = 0, maxHeight = 0;
        friend bool operator==(const FrameRequest&, const FrameRequest&) = default;
    };
    FrameRequest lastFrameRequest() {
        std::lock_guard lock(m_mutex);
        return m_lastFrameRequest;
    }

private:
    std::mutex m_mutex;
    std::map<std::string, Image> m_films;
    FrameRequest m_lastFrameRequest;
};

// A picture of the given size whose every channel holds `fill`.
Image solidImage(int width, int height, std::uint8_t fill);

} // namespace drovane::fakes
