// A film file as the frame extractor opens it for a tile's picture, and as the downloader
// checks a finished transfer, over generated films and their mutations: never crashes and
// never hangs (the run's -timeout), a frame that comes out fits the size asked for, and a
// failure always says why. (A frame does not make a film: one cut short behind a whole index
// still gives its early frames, and is refused.)

#include "FuzzCheck.h"
#include "desktop/media/FfmpegFrames.h"
#include "fakes/TempDir.h"
#include "library/ThumbnailCache.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fakes::TempDir folder;
    const std::string path = folder / "FILM.mov";
    writeInput(path, data, size);

    constexpr int bound = ThumbnailCache::maxPixelSize;
    const FrameResult frame =
        desktop::extractFilmFrame(path, ThumbnailCache::frameSeconds, ThumbnailCache::frameTolerance,
                                  ThumbnailCache::frameTolerance, bound, bound);
    // The downloader's check of the same file: only that it never crashes or hangs.
    desktop::filmFileError(path);
    if (frame.image) {
        const Image& image = *frame.image;
        require(frame.error.empty());
        require(image.width > 0 && image.height > 0 && image.width <= bound && image.height <= bound);
        require(image.rgba.size() == image.cost());
    } else {
        require(!frame.error.empty());
    }
    return 0;
}
