#pragma once

#include "library/Library.h"
#include "library/StringTables.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drovane {

// The films of an aerials manifest (JSON), in manifest order, named through the string table.
// A value counts only with exactly the JSON type the manifest's format gives it; an array only
// when every element has the element type. Nothing when the text is not JSON, its root is not
// an object, or it has no usable "assets" array; then `whyNot`, when given, says which.
// `stringsTable` is called at most once, and only for a usable manifest.
std::optional<std::vector<Library::Entry>> parseManifest(std::string_view json,
                                                         const std::function<StringTable()>& stringsTable,
                                                         std::string* whyNot = nullptr);

} // namespace drovane
