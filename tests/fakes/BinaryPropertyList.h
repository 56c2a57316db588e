#pragma once

#include "platform/Value.h"
#include "support/XmlPropertyList.h"

#include <iconv.h>
#include <plist/plist.h>
#include <string>

namespace drovane::testing {

// A binary property list holding `value`, the form the system keeps its localization table in:
// our XML form converted by libplist's writer.
inline std::string binaryPropertyList(const Value& value) {
    const std::string xml = writeXmlPropertyList(value);
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string out(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(root);
    return out;
}

// UTF-8 `text` as UTF-16 with a byte-order mark.
inline std::string utf16(const std::string& text, bool bigEndian) {
    iconv_t convert = iconv_open(bigEndian ? "UTF-16BE" : "UTF-16LE", "UTF-8");
    std::string out(text.size() * 4, '\0');
    char* in = const_cast<char*>(text.data());
    char* at = out.data();
    std::size_t inLeft = text.size();
    std::size_t outLeft = out.size();
    iconv(convert, &in, &inLeft, &at, &outLeft);
    iconv_close(convert);
    out.resize(out.size() - outLeft);
    return (bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE")) + out;
}

} // namespace drovane::testing
