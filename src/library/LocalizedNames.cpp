// The localized-name members of Library: the system's string tables, the built-in category
// titles, and titles made from keys.

#include "library/Library.h"
#include "library/LocaleLanguages.h"
#include "library/StringTables.h"
#include "platform/Host.h"

namespace drovane {

namespace {

constexpr const char* stringsBundle = "Library/Application Support/com.apple.idleassetsd/Customer/"
                                      "TVIdleScreenStrings.bundle";
constexpr const char* localizationTablePath =
    "/System/Library/ExtensionKit/Extensions/WallpaperAerialsExtension.appex/Contents/Resources/"
    "TVIdleScreenStrings.bundle/Contents/Resources/Localizable.nocache.loctable";

bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

} // namespace

std::map<std::string, std::string> Library::stringsTable() const {
    const Host& host = *m_host;
    StringTableSources sources;
    sources.systemBundle = host.systemPath(std::string("/") + stringsBundle);
    sources.userBundle = host.homeDirectory() + "/" + stringsBundle;
    sources.localizationTable = host.systemPath(localizationTablePath);
    return buildStringTable(
        sources, preferredLanguages([&host](const std::string& name) { return host.environment(name); }));
}

const std::map<std::string, std::string>& Library::categoryNames() {
    static const std::map<std::string, std::string> names{
        {"AerialCategorySpace", "Earth from Space"},
        {"AerialCategoryCities", "Cityscapes"},
        {"AerialCategoryLandscapes", "Landscapes"},
        {"AerialCategoryUnderwater", "Underwater"},
        {"AerialCategoryMac", "System"},
        {"AerialCategoryDynamic", "System"},
    };
    return names;
}

std::string Library::readable(const std::string& key) {
    std::string_view rest = key;
    // The description prefix is tested before the shorter one it begins with.
    for (const std::string_view prefix :
         {"AerialSubcategoryDescription", "AerialSubcategory", "AerialCategory"}) {
        if (rest.starts_with(prefix)) {
            rest.remove_prefix(prefix.size());
            break;
        }
    }
    std::string out;
    out.reserve(rest.size() + rest.size() / 4);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        out.push_back(rest[i]);
        // Matches do not overlap: the upper-case letter of one pair cannot start the next.
        if (isLower(rest[i]) && i + 1 < rest.size() && isUpper(rest[i + 1])) {
            out.push_back(' ');
            out.push_back(rest[++i]);
        }
    }
    return out;
}

} // namespace drovane
