#include "library/Manifest.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

// One line per entry: id|name|location|category|cdn|preview|stretches.
std::vector<std::string> describe(const std::vector<Library::Entry>& entries) {
    std::vector<std::string> lines;
    for (const auto& e : entries) {
        EXPECT_FALSE(e.fileURL) << "manifest films have no local file";
        lines.push_back(e.id + "|" + e.name + "|" + e.location + "|" + e.category + "|" +
                        (e.cdnURL ? e.cdnURL->string() : "-") + "|" +
                        (e.previewURL ? e.previewURL->string() : "-") + "|" +
                        (e.stretches ? "stretch" : "crop"));
    }
    return lines;
}

const StringTable table = {
    {"FilmKey", "Film Title"},
    {"CatKey", "Category From Table"},
    {"AerialSubcategoryCoast", "Coast"},
    {"AerialCategoryUnderwater", "Unterwasser"},
};

// A manifest with the given categories around the given assets.
std::string manifest(const std::string& assets, const std::string& categories = R"([
    {"id": "cat-1", "localizedNameKey": "AerialCategoryUnderwater", "subcategories": [
        {"id": "sub-coast", "localizedNameKey": "AerialSubcategoryCoast"},
        {"id": "sub-raw", "localizedNameKey": "AerialSubcategoryDeepReefs"}]},
    {"id": "cat-2", "localizedNameKey": "CatKey"},
    {"id": "cat-3", "localizedNameKey": "AerialCategoryDeepSea"},
    {"id": "cat-4", "localizedNameKey": "AerialCategoryDynamic"}])") {
    return R"({"version": 1, "categories": )" + categories + R"(, "assets": )" + assets + "}";
}

struct Case {
    const char* name;
    std::string json;
    std::optional<std::vector<std::string>> expected; // nothing: the manifest is unusable
};

TEST(Manifest, ReadsEveryKeyWithExactlyItsType) {
    // clang-format off
    const std::vector<Case> cases = {
        {"no assets", R"({"categories": []})", std::nullopt},
        {"minimal asset", R"({"assets": [{"id": "a1"}]})", std::vector<std::string>{"A1|||Other|-|-|crop"}},
        {"assets without a string id are skipped", manifest(R"([{"accessibilityLabel": "x"}, {"id": 7}, {"id": null}, {"id": "ok"}])"), std::vector<std::string>{"OK|||Other|-|-|crop"}},
        {"lower-case id", manifest(R"([{"id": "b2a4-c1f0", "accessibilityLabel": "Reef"}])"), std::vector<std::string>{"B2A4-C1F0|Reef|Reef|Other|-|-|crop"}},
        {"name from the table, place from the label", manifest(R"([{"id": "a", "accessibilityLabel": "Hawaii", "localizedNameKey": "FilmKey"}])"), std::vector<std::string>{"A|Film Title|Hawaii|Other|-|-|crop"}},
        {"a key the table lacks gives the label", manifest(R"([{"id": "a", "accessibilityLabel": "Hawaii", "localizedNameKey": "Unknown"}])"), std::vector<std::string>{"A|Hawaii|Hawaii|Other|-|-|crop"}},
        {"without a label the place is the name", manifest(R"([{"id": "a", "localizedNameKey": "FilmKey"}])"), std::vector<std::string>{"A|Film Title|Film Title|Other|-|-|crop"}},
        {"values of other types count as absent", manifest(R"([{"id": "a", "accessibilityLabel": 5, "localizedNameKey": ["FilmKey"],
                       "categories": "cat-2", "url-4K-SDR-240FPS": 1, "previewImage": {}, "videoGravity": true}])"), std::vector<std::string>{"A|||Other|-|-|crop"}},
        {"portrait variant is left out", manifest(R"([{"id": "p", "variant": {"orientation": "portrait", "appearance": "dark"}}, {"id": "q"}])"), std::vector<std::string>{"Q|||Other|-|-|crop"}},
        {"orientation is compared exactly", manifest(R"([{"id": "p", "accessibilityLabel": "Bay", "variant": {"orientation": "Portrait"}}])"), std::vector<std::string>{"P|Bay|Bay|Other|-|-|crop"}},
        {"variant named after its first subcategory and appearance", manifest(R"([{"id": "v", "accessibilityLabel": "Big Sur", "localizedNameKey": "FilmKey",
                       "variant": {"orientation": "landscape", "appearance": "dark"},
                       "subcategories": ["sub-coast", "sub-raw"]}])"), std::vector<std::string>{"V|Coast Dark|Big Sur|Other|-|-|crop"}},
        {"a subcategory title made from its key", manifest(R"([{"id": "v", "variant": {"appearance": "LIGHT mode"}, "subcategories": ["sub-raw"]}])"), std::vector<std::string>{"V|Deep Reefs Light Mode|Deep Reefs Light Mode|Other|-|-|crop"}},
        {"an unknown subcategory gives the label as base", manifest(R"([{"id": "v", "accessibilityLabel": "Big Sur", "localizedNameKey": "FilmKey",
                       "variant": {"appearance": "dark"}, "subcategories": ["nope", "sub-coast"]}])"), std::vector<std::string>{"V|Big Sur Dark|Big Sur|Other|-|-|crop"}},
        {"subcategories with a non-string element are unusable", manifest(R"([{"id": "v", "accessibilityLabel": "Big Sur", "variant": {"appearance": "dark"},
                       "subcategories": ["sub-coast", 2]}])"), std::vector<std::string>{"V|Big Sur Dark|Big Sur|Other|-|-|crop"}},
        {"subcategories count only for variants", manifest(R"([{"id": "v", "accessibilityLabel": "Big Sur", "subcategories": ["sub-coast"]}])"), std::vector<std::string>{"V|Big Sur|Big Sur|Other|-|-|crop"}},
        {"a variant without appearance keeps the bare base", manifest(R"([{"id": "v", "variant": {"orientation": "landscape"}, "subcategories": ["sub-coast"]}])"), std::vector<std::string>{"V|Coast|Coast|Other|-|-|crop"}},
        {"a variant with a non-string value is no variant, portrait or not", manifest(R"([{"id": "v", "accessibilityLabel": "Bay", "variant": {"orientation": "portrait", "index": 1},
                       "subcategories": ["sub-coast"]}])"), std::vector<std::string>{"V|Bay|Bay|Other|-|-|crop"}},
        {"category titles: built-in, then table, then the key made readable", manifest(R"([{"id": "a", "categories": ["cat-1"]}, {"id": "b", "categories": ["cat-2"]},
                      {"id": "c", "categories": ["cat-3", "cat-1"]}, {"id": "d", "categories": ["cat-4"]}])"), std::vector<std::string>{"A|||Underwater|-|-|crop", "B|||Category From Table|-|-|crop","C|||Deep Sea|-|-|crop", "D|||System|-|-|crop"}},
        {"only the first category is looked at", manifest(R"([{"id": "a", "categories": ["no-title", "cat-2"]}, {"id": "b", "categories": []}])"), std::vector<std::string>{"A|||Other|-|-|crop", "B|||Other|-|-|crop"}},
        {"categories with a non-object element are unusable", manifest(R"([{"id": "a", "categories": ["cat-2"]}])",R"([{"id": "cat-2", "localizedNameKey": "CatKey"}, 1])"), std::vector<std::string>{"A|||Other|-|-|crop"}},
        {"categories without a string id are skipped with their subcategories", manifest(R"([{"id": "a", "categories": ["7"], "variant": {}, "subcategories": ["s"]}])",R"([{"id": 7, "localizedNameKey": "CatKey", "subcategories": [{"id": "s", "localizedNameKey": "X"}]}])"), std::vector<std::string>{"A|||Other|-|-|crop"}},
        {"a category without a key has an empty title, and later ids replace earlier ones", manifest(R"([{"id": "a", "categories": ["c"]}, {"id": "b", "categories": ["d"]}])",R"([{"id": "c", "localizedNameKey": "CatKey"}, {"id": "c", "localizedNameKey": "AerialCategorySpace"},
                      {"id": "d"}])"), std::vector<std::string>{"A|||Earth from Space|-|-|crop", "B||||-|-|crop"}},
        {"subcategory titles never take the built-in category names", manifest(R"([{"id": "a", "variant": {"appearance": "dark"}, "subcategories": ["s"]}])",R"([{"id": "c", "subcategories": [{"id": "s", "localizedNameKey": "AerialCategoryUnderwater"},
                                                   {"localizedNameKey": "CatKey"}]}])"), std::vector<std::string>{"A|Unterwasser Dark|Unterwasser Dark|Other|-|-|crop"}},
        {"addresses and gravity", manifest(R"([{"id": "a", "url-4K-SDR-240FPS": "https://cdn.example/a.mov",
                       "previewImage": "https://cdn.example/a.jpg", "videoGravity": "resize"},
                      {"id": "b", "url-4K-SDR-240FPS": "", "previewImage": "http://bad host/x", "videoGravity": "Resize"}])"), std::vector<std::string>{"A|||Other|https://cdn.example/a.mov|https://cdn.example/a.jpg|stretch","B|||Other|-|-|crop"}},
        {"duplicate ids all stay, in order", manifest(R"([{"id": "a", "accessibilityLabel": "one"}, {"id": "A", "accessibilityLabel": "two"}])"), std::vector<std::string>{"A|one|one|Other|-|-|crop", "A|two|two|Other|-|-|crop"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int tableReads = 0;
        const auto entries = parseManifest(c.json, [&] {
            ++tableReads;
            return table;
        });
        ASSERT_EQ(entries.has_value(), c.expected.has_value());
        EXPECT_EQ(tableReads, entries ? 1 : 0) << "the table is read once, and only for a usable manifest";
        if (entries) {
            EXPECT_EQ(describe(*entries), *c.expected);
        }
    }
}

} // namespace
} // namespace drovane
