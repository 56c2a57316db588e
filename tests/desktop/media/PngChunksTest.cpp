#include "desktop/media/PngChunks.h"

#include <gtest/gtest.h>
#include <string>

namespace drovane::desktop {
namespace {

const std::string signature("\x89PNG\r\n\x1A\n", 8);

// A chunk as it is stored; `declared` stands for the length field when it lies.
std::string chunk(const std::string& type, const std::string& data, long long declared = -1) {
    const auto length = static_cast<std::uint32_t>(declared < 0 ? data.size() : declared);
    std::string bytes{char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
    return bytes + type + data + std::string(4, '\0');
}

TEST(PngChunksTest, OnlyChunksClaimingMoreThanTheDataAreRefused) {
    const std::string header = signature + chunk("IHDR", std::string(13, '\1'));
    const std::string end = chunk("IEND", "");
    const struct {
        const char* name;
        std::string bytes;
        bool fits;
    } cases[] = {
        {"whole", header + chunk("IDAT", "pixels") + end, true},
        {"not a png", "GIF89a and so on", true},
        {"signature alone", signature, true},
        {"ends between chunks", header + chunk("IDAT", "pixels"), true},
        {"anything after the end", header + end + chunk("tEXt", "x", 0x10000000), true},
        {"text chunk of 256 MB", header + chunk("tEXt", "date", 0x10000000) + end, false},
        {"length past 2 GB", header + chunk("tEXt", "date", 0xFFFFFFF0) + end, false},
        {"last chunk one byte short", header + chunk("IDAT", "pixels", 7), false},
        {"checksum cut off", (header + chunk("IDAT", "pixels")).substr(0, header.size() + 16), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pngChunksFitIn(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()),
                  c.fits)
            << c.name;
    }
}

} // namespace
} // namespace drovane::desktop
