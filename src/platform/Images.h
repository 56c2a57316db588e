#pragma once

#include "platform/Image.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

struct FrameResult {
    std::optional<Image> image;
    // Why no frame could be taken; empty on success.
    std::string error;
};

// Picture decoding and encoding. Every method may run on any thread, concurrently.
class Images {
public:
    virtual ~Images() = default;

    // Decodes the picture in a file, oriented upright and scaled down so that its longer side
    // is at most `maxPixelSize`. Nothing when the file is missing or not a picture.
    virtual std::optional<Image> decodeFile(const std::string& path, int maxPixelSize) = 0;
    // As decodeFile, from bytes in memory.
    virtual std::optional<Image> decodeData(const std::vector<std::uint8_t>& bytes, int maxPixelSize) = 0;
    // JPEG bytes of `image` at `quality` (0..1); nothing on failure.
    virtual std::optional<std::vector<std::uint8_t>> encodeJpeg(const Image& image, double quality) = 0;
    // A frame of the film within [`seconds` - `toleranceBefore`, `seconds` + `toleranceAfter`],
    // upright, scaled to fit inside `maxWidth` x `maxHeight` keeping its proportions.
    virtual FrameResult extractFrame(const std::string& filmPath, double seconds, double toleranceBefore,
                                     double toleranceAfter, int maxWidth, int maxHeight) = 0;
    // Why the file is not a film with a picture stream that can be shown; empty when it is.
    virtual std::string filmError(const std::string& path) = 0;
};

} // namespace drovane
