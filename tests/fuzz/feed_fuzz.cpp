// The version feed's decoder and the version order over arbitrary bytes: never crashes, and a
// version is never newer than itself (the order is a strict one).

#include "update/Release.h"
#include "update/VersionOrder.h"

#include <cstdlib>
#include <string_view>

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> body(data, data + size);
    if (const auto release = Release::decode(body); release && isNewer(release->version, release->version)) {
        std::abort();
    }
    // The bytes split in two as two versions: never each newer than the other.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto a = text.substr(0, size / 2), b = text.substr(size / 2);
    if (isNewer(a, b) && isNewer(b, a)) {
        std::abort();
    }
    return 0;
}
