// The aerials manifest parser over arbitrary bytes: never crashes, and every entry it gives
// keeps the catalogue's invariants.

#include "FuzzCheck.h"
#include "library/Manifest.h"
#include "support/CaseMapping.h"

#include <cstdint>
#include <cstdlib>

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    const StringTable table = {{"AerialSubcategoryCoast", "Coast"}, {"FilmKey", "Film"}, {"", "Empty key"}};
    int tableReads = 0;
    const auto entries = parseManifest(json, [&] {
        ++tableReads;
        return table;
    });
    require(tableReads <= 1);
    if (!entries)
        return 0;
    for (const auto& entry : *entries) {
        // Identifiers are upper case, manifest films have no local file, and a film without a
        // place label is placed under its name.
        require(entry.id == upperCased(entry.id) && !entry.fileURL &&
                (!entry.location.empty() || entry.name.empty()));
    }
    return 0;
}
