// A preview picture's bytes as they come from the network, decoded and scaled down by the
// desktop backend for a film tile: never crashes, never holds more than the picture it gives,
// and a picture that decodes fits the size asked for; the copy kept on disk decodes to the
// same picture when it is read back.

#include "FuzzCheck.h"
#include "desktop/media/QtFfmpegImages.h"
#include "fakes/TempDir.h"
#include "library/ThumbnailCache.h"

#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>
#include <fstream>

using namespace drovane;

namespace {

void requireFits(const std::optional<Image>& image, int maxPixelSize) {
    if (image) {
        require(image->width > 0 && image->height > 0);
        require(image->width <= maxPixelSize && image->height <= maxPixelSize);
        require(image->rgba.size() == image->cost());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt finds its image format plugins through the application object.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static desktop::QtFfmpegImages images;
    static const fakes::TempDir folder;
    const std::vector<std::uint8_t> body(data, data + size);

    const int maxPixelSize = ThumbnailCache::maxPixelSize;
    const auto image = images.decodeData(body, maxPixelSize);
    requireFits(image, maxPixelSize);
    if (!image) {
        return 0;
    }
    // The cache keeps the body as a file and decodes that on the next launch.
    const std::string path = folder / "preview.img";
    writeInput(path, data, size);
    const auto again = images.decodeFile(path, maxPixelSize);
    require(again && again->width == image->width && again->height == image->height &&
            again->rgba == image->rgba);
    // Far smaller, as a reader that scales while decoding does it.
    requireFits(images.decodeData(body, 17), 17);
    return 0;
}
