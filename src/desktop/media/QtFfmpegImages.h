#pragma once

#include "platform/Images.h"

namespace drovane::desktop {

// Pictures through Qt's image readers and writers (JPEG, PNG, WebP with the image-formats
// plugins, and whatever else is installed), decoded at the reduced size where the format can
// (JPEG scales while decoding), and film frames through FFmpeg.
class QtFfmpegImages final : public Images {
public:
    // The most pixels a picture may need while it is decoded (an 8K picture needs 33 million):
    // a hostile header must not make every worker allocate gigabytes.
    static constexpr long long maxDecodedPixels = 40'000'000;

    std::optional<Image> decodeFile(const std::string& path, int maxPixelSize) override;
    std::optional<Image> decodeData(const std::vector<std::uint8_t>& bytes, int maxPixelSize) override;
    std::optional<std::vector<std::uint8_t>> encodeJpeg(const Image& image, double quality) override;
    FrameResult extractFrame(const std::string& filmPath, double seconds, double toleranceBefore,
                             double toleranceAfter, int maxWidth, int maxHeight) override;
    std::string filmError(const std::string& path) override;
};

} // namespace drovane::desktop
