// The version feed's decoder and the version order over arbitrary bytes: never crashes, and
// the order is a strict one (never newer than itself, never both ways, and transitive).

#include "FuzzCheck.h"
#include "update/Release.h"
#include "update/VersionOrder.h"

#include <cstdlib>
#include <string_view>

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> body(data, data + size);
    const auto release = Release::decode(body);
    require(!release || !isNewer(release->version, release->version));
    // The bytes split in two as two versions: never each newer than the other.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto a = text.substr(0, size / 2), b = text.substr(size / 2);
    require(!isNewer(a, b) || !isNewer(b, a));
    // In three: a chain of newer versions never comes back round.
    const auto x = text.substr(0, size / 3), y = text.substr(size / 3, size / 3),
               z = text.substr(2 * (size / 3));
    require(!isNewer(x, y) || !isNewer(y, z) || isNewer(x, z));
    return 0;
}
