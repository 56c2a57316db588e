// The acceptance of the system's string tables over arbitrary bytes in every property-list
// form (binary, XML, text): never crashes; a usable strings file is never empty.

#include "FuzzCheck.h"
#include "library/StringTables.h"

#include <cstdint>
#include <cstdlib>

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto strings = readStringsFile(bytes);
    require(!strings || !strings->empty());
    (void)readLocalizationTable(bytes);
    return 0;
}
