#pragma once

#include "platform/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace drovane {

// The text encodings of a property-list file: UTF-8 with or without a byte-order mark, or
// UTF-16 little or big endian with one. The UTF-8 text; nothing when the bytes are not valid in
// the encoding they announce.
std::optional<std::string> decodePropertyListText(std::string_view bytes);

// The old-style text property list: a single value (a "{ key = value; }" dictionary, a
// "( a, b )" array, "<0fbd>" data, or a quoted or unquoted string), or the body of a
// dictionary without its braces as ".strings" files hold it ("key" = "value"; and "key";,
// which maps the key to itself). Comments are "/* */" and "//". Nothing when the text is
// neither, or nests deeper than 512. `text` is UTF-8 (see decodePropertyListText()).
std::optional<Value> readTextPropertyList(std::string_view text);

// A property list in any form a system table may take: binary, XML, or text in any of the
// encodings above. Nothing when it is none of them.
std::optional<Value> readAnyPropertyList(std::string_view bytes);

} // namespace drovane
