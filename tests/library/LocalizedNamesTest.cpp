#include "fakes/FakePlatform.h"
#include "library/BinaryPropertyList.h"
#include "library/Library.h"
#include "library/LocaleLanguages.h"
#include "library/StringTables.h"
#include "platform/XmlPropertyList.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

using Dict = Value::Dictionary;

TEST(Readable, StripsOnePrefixAndSplitsCamelCase) {
    const struct {
        std::string key;
        std::string expected;
    } cases[] = {
        {"AerialCategoryUnderwater", "Underwater"},
        {"AerialSubcategoryCoastalCliffs", "Coastal Cliffs"},
        {"AerialSubcategoryDescriptionReefs", "Reefs"},
        {"AerialSubcategoryDescription", ""},
        {"AerialCategory", ""},
        {"AerialCategoryAerialCategoryX", "Aerial Category X"}, // only one prefix goes
        {"MyFancyKey", "My Fancy Key"},
        {"already spaced Words", "already spaced Words"},
        {"aBC", "a BC"}, // matches do not overlap: "BC" gains no space
        {"aBcD", "a Bc D"},
        {"ABCdef", "ABCdef"},   // upper before lower is left alone
        {"x1Y", "x1Y"},         // only letters pair up
        {"caféBar", "caféBar"}, // only ASCII letters
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Library::readable(c.key), c.expected) << c.key;
}

TEST(CategoryNames, MapsTheBuiltInKeys) {
    const auto& names = Library::categoryNames();
    EXPECT_EQ(names.size(), 6u);
    EXPECT_EQ(names.at("AerialCategorySpace"), "Earth from Space");
    EXPECT_EQ(names.at("AerialCategoryCities"), "Cityscapes");
    EXPECT_EQ(names.at("AerialCategoryMac"), "System");
    EXPECT_EQ(names.at("AerialCategoryDynamic"), "System");
    EXPECT_EQ(&names, &Library::categoryNames());
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
        {"English twice", {{"LANG", "en_GB.UTF-8"}}, {"en", "en"}},
        {"LC_MESSAGES over LANG", {{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, {"fr", "en"}},
        {"LC_ALL over everything", {{"LC_ALL", "pt_BR.UTF-8"}, {"LC_MESSAGES", "fr_FR"}}, {"pt", "en"}},
        {"an empty variable is unset", {{"LC_ALL", ""}, {"LANG", "it_IT"}}, {"it", "en"}},
        {"C decides even over LANG", {{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, {"en"}},
        {"POSIX", {{"LANG", "POSIX"}}, {"en"}},
        {"C.UTF-8", {{"LANG", "C.UTF-8"}}, {"en"}},
        {"modifier", {{"LANG", "de@euro"}}, {"de", "en"}},
        {"bare code, upper case", {{"LANG", "NL"}}, {"nl", "en"}},
        {"three letters", {{"LANG", "fil_PH.UTF-8"}}, {"fil", "en"}},
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
constexpr const char* loctable =
    "System/Library/ExtensionKit/Extensions/WallpaperAerialsExtension.appex/Contents/"
    "Resources/TVIdleScreenStrings.bundle/Contents/Resources/"
    "Localizable.nocache.loctable";

class StringsTable : public ::testing::Test {
protected:
    void SetUp() override { Library::resetForTesting(); }

    const fakes::TempDir& tree() { return fake.host->tree(); }
    void systemStrings(const std::string& lproj, const std::string& bytes) {
        tree().write(std::string("root/") + bundle + "/" + lproj + "/Localizable.nocache.strings", bytes);
    }
    void userStrings(const std::string& lproj, const std::string& bytes) {
        tree().write(std::string("home/") + bundle + "/" + lproj + "/Localizable.nocache.strings", bytes);
    }
    void localizationTable(const Value& root) {
        tree().write(std::string("root/") + loctable, testing::binaryPropertyList(root));
    }

    fakes::FakePlatform fake;
};

TEST_F(StringsTable, EmptyWhenNoTableExists) {
    EXPECT_TRUE(Library::stringsTable().empty());
}

TEST_F(StringsTable, SystemBundleTriesEveryLanguageBeforeTheUserBundle) {
    fake.host->env["LANG"] = "de_DE.UTF-8";
    systemStrings("en.lproj", R"("k" = "English";)");
    userStrings("de.lproj", R"("k" = "Deutsch";)");
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"k", "English"}}));
}

TEST_F(StringsTable, PrefersTheUserLanguageWithinABundle) {
    fake.host->env["LANG"] = "de_DE.UTF-8";
    systemStrings("en.lproj", R"("k" = "English";)");
    systemStrings("de.lproj", testing::utf16(R"("k" = "Grüße";)", false));
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"k", "Grüße"}}));
}

TEST_F(StringsTable, PassesOverUnusableFilesInTheSameBundle) {
    fake.host->env["LANG"] = "de_DE.UTF-8";
    systemStrings("de.lproj", "");
    systemStrings("en.lproj", R"("k" = "English";)");
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"k", "English"}}));

    systemStrings("en.lproj", writeXmlPropertyList(Value(Dict{{"k", "x"}, {"n", 1}})));
    userStrings("en.lproj", R"("k" = "User";)");
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"k", "User"}}))
        << "no usable system file: the user bundle";
}

TEST_F(StringsTable, FallsBackToAnyLocalizationTheBundleHas) {
    fake.host->env["LANG"] = "de_DE.UTF-8";
    systemStrings("fr.lproj", testing::binaryPropertyList(Value(Dict{{"k", "Français"}})));
    systemStrings("notes.txt", R"("k" = "not a localization";)");
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"k", "Français"}}));
}

TEST_F(StringsTable, LocalizationTableOverridesAndExtendsTheStrings) {
    fake.host->env["LANG"] = "de_DE.UTF-8";
    systemStrings("de.lproj", R"("shared" = "from strings"; "only" = "strings";)");
    localizationTable(Value(Dict{{"de", Value(Dict{{"shared", "from table"}, {"extra", "table"}})},
                                 {"en", Value(Dict{{"shared", "English"}})}}));
    EXPECT_EQ(Library::stringsTable(),
              (StringTable{{"shared", "from table"}, {"only", "strings"}, {"extra", "table"}}));
}

TEST_F(StringsTable, RegionalTableStandsInForTheBareLanguage) {
    fake.host->env["LC_ALL"] = "pt_PT.UTF-8";
    localizationTable(Value(Dict{{"pt_BR", Value(Dict{{"k", "Brasil"}})},
                                 {"pt_PT", Value(Dict{{"k", "Portugal"}})},
                                 {"en", Value(Dict{{"k", "English"}})},
                                 {"ptx", Value(Dict{{"k", "not Portuguese"}})}}));
    const auto table = Library::stringsTable();
    ASSERT_EQ(table.size(), 1u);
    EXPECT_TRUE(table.at("k") == "Brasil" || table.at("k") == "Portugal") << table.at("k");
}

TEST_F(StringsTable, AnUnusableLanguageTableGivesWayToEnglish) {
    fake.host->env["LANG"] = "de_DE.UTF-8";
    systemStrings("en.lproj", R"("a" = "strings";)");
    localizationTable(
        Value(Dict{{"de", Value(Dict{{"k", "Titel"}, {"n", 2}})}, {"en", Value(Dict{{"k", "Title"}})}}));
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"a", "strings"}, {"k", "Title"}}));
}

TEST_F(StringsTable, NoMatchingOrUsableTableLeavesTheStrings) {
    fake.host->env["LANG"] = "ja_JP.UTF-8";
    systemStrings("en.lproj", R"("a" = "strings";)");
    localizationTable(Value(Dict{{"de", Value(Dict{{"a", "Titel"}})}}));
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"a", "strings"}}));

    tree().write(std::string("root/") + loctable, writeXmlPropertyList(Value(Value::Array{"x"})));
    EXPECT_EQ(Library::stringsTable(), (StringTable{{"a", "strings"}}));
}

} // namespace
} // namespace drovane
