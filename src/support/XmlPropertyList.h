#pragma once

#include "platform/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace drovane {

// The XML property-list format, read and written exactly: dates keep their microseconds
// (written as ISO 8601 with a fraction when they have one) and reals their every bit.

// A complete XML document holding `root`.
std::string writeXmlPropertyList(const Value& root);

// The root value of an XML property list; nothing when the text is not one (malformed XML,
// unknown elements, bad numbers, dates or base64, nesting deeper than 512).
std::optional<Value> readXmlPropertyList(std::string_view text);

// "2026-12-06T20:10:12Z", or "2026-12-06T20:10:12.25Z" for a date with a fraction.
std::string formatIsoDate(Date date);
std::optional<Date> parseIsoDate(std::string_view text);

} // namespace drovane
