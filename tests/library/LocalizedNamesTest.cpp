#include "fakes/BinaryPropertyList.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"
#include "library/LocaleLanguages.h"
#include "library/StringTables.h"
#include "support/XmlPropertyList.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

using Dict = Value::Dictionary;

TEST(Readable, StripsOnePrefixAndSplitsCamelCase) {
    const struct {
        std::string key, expected;
    } cases[] = {
        {"AerialCategoryUnderwater", "Underwater"},
        {"AerialSubcategoryCoastalCliffs", "Coastal Cliffs"},
        {"AerialSubcategoryDescriptionReefs", "Reefs"},
        {"AerialSubcategoryDescription", ""},
        {"AerialCategory", ""},
        {"AerialCategoryAerialCategoryX", "Aerial Category X"}, // only one prefix goes
        {"MyFancyKey", "My Fancy Key"},
        {"aBC", "a BC"},        // matches do not overlap: "BC" gains no space
        {"ABCdef", "ABCdef"},   // upper before lower is left alone
        {"caféBar", "caféBar"}, // only ASCII letters
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Library::readable(c.key), c.expected) << c.key;
}

TEST(LocaleLanguages, TakesTheFirstSetVariable) {
    using Env = std::map<std::string, std::string>;
    const struct {
        const char* name;
        Env env;
        std::vector<std::string> expected;
    } cases[] = {
        {"unset", {}, {"en"}},
        {"LANG", {{"LANG", "de_DE.UTF-8"}}, {"de", "en"}},
        {"LC_MESSAGES over LANG", {{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, {"fr", "en"}},
        {"LC_ALL over everything", {{"LC_ALL", "pt_BR.UTF-8"}, {"LC_MESSAGES", "fr_FR"}}, {"pt", "en"}},
        {"an empty variable is unset", {{"LC_ALL", ""}, {"LANG", "it_IT"}}, {"it", "en"}},
        {"C decides even over LANG", {{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, {"en"}},
        {"C.UTF-8", {{"LANG", "C.UTF-8"}}, {"en"}},
        {"not a language", {{"LANG", "/usr/share/locale"}}, {"en"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto languages =
            preferredLanguages([&](const std::string& variable) -> std::optional<std::string> {
                auto it = c.env.find(variable);
                return it == c.env.end() ? std::nullopt : std::optional<std::string>(it->second);
            });
        EXPECT_EQ(languages, c.expected);
    }
}

constexpr const char* bundle =
    "Library/Application Support/com.apple.idleassetsd/Customer/TVIdleScreenStrings.bundle";
const std::string loctable = "root/System/Library/ExtensionKit/Extensions/WallpaperAerialsExtension.appex/"
                             "Contents/Resources/TVIdleScreenStrings.bundle/Contents/Resources/"
                             "Localizable.nocache.loctable";

// The strings file of `lproj` in the system ("root") or the user's ("home") bundle.
std::string strings(const char* where, const char* lproj) {
    return std::string(where) + "/" + bundle + "/" + lproj + "/Localizable.nocache.strings";
}

// Each case runs on a tree of its own, with the given locale variable and files.
TEST(StringsTable, TakesTheBundleAndLocalizationTableOfTheUsersLanguage) {
    using testing::binaryPropertyList;
    const std::string english = R"("k" = "English";)";
    const struct {
        const char* name;
        const char* locale; // LANG
        std::vector<std::pair<std::string, std::string>> files;
        StringTable expected;
    } cases[] = {
        {"no table exists", "de_DE.UTF-8", {}, {}},
        {"the system bundle tries every language before the user bundle",
         "de_DE.UTF-8",
         {{strings("root", "en.lproj"), english}, {strings("home", "de.lproj"), R"("k" = "Deutsch";)"}},
         {{"k", "English"}}},
        {"the user's language comes first within a bundle",
         "de_DE.UTF-8",
         {{strings("root", "en.lproj"), english},
          {strings("root", "de.lproj"), testing::utf16(R"("k" = "Grüße";)", false)}},
         {{"k", "Grüße"}}},
        {"no usable system file: the user bundle",
         "de_DE.UTF-8",
         {{strings("root", "de.lproj"), ""},
          {strings("root", "en.lproj"), writeXmlPropertyList(Value(Dict{{"k", "x"}, {"n", 1}}))},
          {strings("home", "en.lproj"), R"("k" = "User";)"}},
         {{"k", "User"}}},
        {"any localization the bundle has",
         "de_DE.UTF-8",
         {{strings("root", "fr.lproj"), binaryPropertyList(Value(Dict{{"k", "Français"}}))},
          {strings("root", "notes.txt"), R"("k" = "not a localization";)"}},
         {{"k", "Français"}}},
        {"the localization table overrides and extends the strings",
         "de_DE.UTF-8",
         {{strings("root", "de.lproj"), R"("shared" = "from strings"; "only" = "strings";)"},
          {loctable,
           binaryPropertyList(Value(Dict{{"de", Value(Dict{{"shared", "from table"}, {"extra", "table"}})},
                                         {"en", Value(Dict{{"shared", "English"}})}}))}},
         {{"shared", "from table"}, {"only", "strings"}, {"extra", "table"}}},
        {"an unusable language table gives way to English",
         "de_DE.UTF-8",
         {{strings("root", "en.lproj"), R"("a" = "strings";)"},
          {loctable, binaryPropertyList(Value(Dict{{"de", Value(Dict{{"k", "Titel"}, {"n", 2}})},
                                                   {"en", Value(Dict{{"k", "Title"}})}}))}},
         {{"a", "strings"}, {"k", "Title"}}},
        {"no table for the language leaves the strings",
         "ja_JP.UTF-8",
         {{strings("root", "en.lproj"), R"("a" = "strings";)"},
          {loctable, binaryPropertyList(Value(Dict{{"de", Value(Dict{{"a", "Titel"}})}}))}},
         {{"a", "strings"}}},
        {"an unusable table file leaves the strings",
         "ja_JP.UTF-8",
         {{strings("root", "en.lproj"), R"("a" = "strings";)"},
          {loctable, writeXmlPropertyList(Value(Value::Array{"x"}))}},
         {{"a", "strings"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::FakePlatform fake;
        std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
        fake.host->env["LANG"] = c.locale;
        for (const auto& [path, bytes] : c.files) {
            fake.host->tree().write(path, bytes);
        }
        EXPECT_EQ(library->stringsTable(), c.expected);
    }
}

} // namespace
} // namespace drovane
