#pragma once

#include <cstddef>
#include <cstdint>

namespace drovane::desktop {

// False for a PNG whose chunks claim more bytes than there are. libpng allocates a chunk's
// declared length before it reads the chunk, so a few bytes naming a 256 MB text chunk would
// cost every decoding worker that much; such a file is cut short or forged, never a picture.
// Anything that is not a PNG passes.
bool pngChunksFitIn(const std::uint8_t* data, std::size_t size);

} // namespace drovane::desktop
