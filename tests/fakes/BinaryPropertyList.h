#pragma once

#include "platform/Value.h"

#include <plist/plist.h>
#include <string>

namespace drovane::testing {

// A binary property list holding `value` (booleans, integers, reals, strings, arrays and
// dictionaries), the form the system keeps its localization table in.
inline plist_t toPlistNode(const Value& value) {
    switch (value.kind()) {
    case Value::Kind::Boolean:
        return plist_new_bool(*value.asBool());
    case Value::Kind::Integer:
        return plist_new_uint(static_cast<std::uint64_t>(*value.asInteger()));
    case Value::Kind::Real:
        return plist_new_real(*value.asReal());
    case Value::Kind::Array: {
        plist_t array = plist_new_array();
        for (const auto& item : *value.asArray())
            plist_array_append_item(array, toPlistNode(item));
        return array;
    }
    case Value::Kind::Dictionary: {
        plist_t dict = plist_new_dict();
        for (const auto& [key, item] : *value.asDictionary())
            plist_dict_set_item(dict, key.c_str(), toPlistNode(item));
        return dict;
    }
    default:
        return plist_new_string(value.asString().value_or("").c_str());
    }
}

inline std::string binaryPropertyList(const Value& value) {
    plist_t root = toPlistNode(value);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string out(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(root);
    return out;
}

// `text` (ASCII or UTF-8 restricted to the Basic Multilingual Plane) as UTF-16 with a byte-order mark.
inline std::string utf16(const std::string& text, bool bigEndian) {
    std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (std::size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        char32_t cp = b0;
        int length = 1;
        if (b0 >= 0xE0) {
            cp = (b0 & 0x0F) << 12 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F);
            length = 3;
        } else if (b0 >= 0xC0) {
            cp = (b0 & 0x1F) << 6 | (text[i + 1] & 0x3F);
            length = 2;
        }
        i += length;
        const char hi = static_cast<char>(cp >> 8);
        const char lo = static_cast<char>(cp & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

} // namespace drovane::testing
