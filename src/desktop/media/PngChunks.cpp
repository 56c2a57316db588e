#include "desktop/media/PngChunks.h"

#include <cstring>

namespace drovane::desktop {

namespace {

constexpr std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
           std::uint32_t{bytes[3]};
}

} // namespace

bool pngChunksFitIn(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof signature || std::memcmp(data, signature, sizeof signature) != 0) {
        return true;
    }
    // Each chunk: length, type, data, checksum.
    std::size_t offset = sizeof signature;
    while (size - offset >= 8) {
        const std::size_t length = bigEndian32(data + offset);
        if (length > size - offset - 8 || size - offset - 8 - length < 4) {
            return false;
        }
        if (std::memcmp(data + offset + 4, "IEND", 4) == 0) {
            return true;
        }
        offset += 12 + length;
    }
    // Ends between chunks: libpng stops at the end of the data.
    return true;
}

} // namespace drovane::desktop
