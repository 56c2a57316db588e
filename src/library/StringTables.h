#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drovane {

// Key -> title.
using StringTable = std::map<std::string, std::string>;
// Localization identifier ("de", "pt_BR") -> its titles; nothing for an inner value that is not
// a dictionary of strings.
using LocalizationTable = std::map<std::string, std::optional<StringTable>>;

// A ".strings" file's titles: a property list in any form whose root is a dictionary of string
// values holding at least one pair. Nothing for anything else.
std::optional<StringTable> readStringsFile(std::string_view bytes);

// A ".loctable" file: a property list whose root is a dictionary; each value that is a
// dictionary of strings is a usable table. Nothing when the root is not a dictionary.
std::optional<LocalizationTable> readLocalizationTable(std::string_view bytes);

// Where the system keeps its tables (real paths, already mapped below the system root).
struct StringTableSources {
    std::string systemBundle;      // a TVIdleScreenStrings.bundle folder
    std::string userBundle;        // the same below the home folder
    std::string localizationTable; // a Localizable.nocache.loctable file
};

// The merged titles: the first usable strings file of the first bundle that has one (its
// preferred languages first, then every ".lproj" folder it lists), overridden and extended by
// the localization table's first language that matches `languages`.
StringTable buildStringTable(const StringTableSources& sources, const std::vector<std::string>& languages);

} // namespace drovane
