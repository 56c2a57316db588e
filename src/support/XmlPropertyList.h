#pragma once

#include "platform/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace drovane {

// The XML property-list format. Reals keep their every bit. Dates are written as the format
// defines them, in whole seconds ("2026-12-06T20:10:12Z": other readers refuse a fraction),
// and read with or without one.

// A complete XML document holding `root`.
std::string writeXmlPropertyList(const Value& root);

// The root value of an XML property list; nothing when the text is not one (malformed XML,
// unknown elements, bad numbers, dates or base64, nesting deeper than 512).
std::optional<Value> readXmlPropertyList(std::string_view text);

// "2026-12-06T20:10:12Z": the date's second (earlier, for a date with a fraction). Dates
// outside the years 0 to 9999 get a text that no reader takes.
std::string formatIsoDate(Date date);
// Reads "2026-12-06T20:10:12Z" and also "2026-12-06T20:10:12.25Z".
std::optional<Date> parseIsoDate(std::string_view text);

} // namespace drovane
