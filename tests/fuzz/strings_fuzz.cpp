// The text property-list reader (".strings" files and old-style dictionaries) over arbitrary
// text: never crashes, and every string it gives is valid UTF-8.

#include "FuzzCheck.h"
#include "library/TextPropertyList.h"

#include <cstdint>
#include <cstdlib>

using namespace drovane;

namespace {

void checkStrings(const Value& value) {
    if (auto text = value.asString()) {
        require(decodePropertyListText(*text).has_value());
    } else if (const auto* array = value.asArray()) {
        for (const auto& item : *array)
            checkStrings(item);
    } else if (const auto* dict = value.asDictionary()) {
        for (const auto& [key, item] : *dict) {
            require(decodePropertyListText(key).has_value());
            checkStrings(item);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto text = decodePropertyListText(bytes);
    if (!text)
        return 0;
    if (const auto value = readTextPropertyList(*text))
        checkStrings(*value);
    return 0;
}
