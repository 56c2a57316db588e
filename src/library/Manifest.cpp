#include "library/Manifest.h"

#include "support/CaseMapping.h"

#include <nlohmann/json.hpp>

namespace drovane {

namespace {

using Json = nlohmann::json;
using Titles = std::map<std::string, std::string>;

const Json* member(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const std::string* stringMember(const Json& object, const char* key) {
    const Json* value = member(object, key);
    return value && value->is_string() ? value->get_ptr<const std::string*>() : nullptr;
}

bool allOf(const Json& array, Json::value_t type) {
    for (const auto& element : array) {
        if (element.type() != type)
            return false;
    }
    return true;
}

// An array member whose every element has `type`; null otherwise.
const Json* arrayMember(const Json& object, const char* key, Json::value_t type) {
    const Json* value = member(object, key);
    return value && value->is_array() && allOf(*value, type) ? value : nullptr;
}

// The first element of a string-array member.
const std::string* firstString(const Json& object, const char* key) {
    const Json* array = arrayMember(object, key, Json::value_t::string);
    return array && !array->empty() ? array->front().get_ptr<const std::string*>() : nullptr;
}

const std::string* lookup(const Titles& titles, const std::string& key) {
    const auto it = titles.find(key);
    return it == titles.end() ? nullptr : &it->second;
}

struct CategoryTitles {
    Titles categories;
    Titles subcategories;
};

CategoryTitles categoryTitles(const Json& root, const StringTable& table) {
    CategoryTitles titles;
    const Json* categories = arrayMember(root, "categories", Json::value_t::object);
    if (!categories)
        return titles;
    const auto& builtIn = Library::categoryNames();
    for (const auto& category : *categories) {
        const std::string* id = stringMember(category, "id");
        if (!id)
            continue;
        const std::string* keyText = stringMember(category, "localizedNameKey");
        const std::string key = keyText ? *keyText : std::string();
        const std::string* title = lookup(builtIn, key);
        if (!title)
            title = lookup(table, key);
        titles.categories.insert_or_assign(*id, title ? *title : Library::readable(key));

        const Json* subcategories = arrayMember(category, "subcategories", Json::value_t::object);
        if (!subcategories)
            continue;
        for (const auto& subcategory : *subcategories) {
            const std::string* subId = stringMember(subcategory, "id");
            if (!subId)
                continue;
            const std::string* subKeyText = stringMember(subcategory, "localizedNameKey");
            const std::string subKey = subKeyText ? *subKeyText : std::string();
            const std::string* subTitle = lookup(table, subKey);
            titles.subcategories.insert_or_assign(*subId, subTitle ? *subTitle : Library::readable(subKey));
        }
    }
    return titles;
}

std::optional<Url> urlMember(const Json& object, const char* key) {
    const std::string* text = stringMember(object, key);
    if (!text || text->empty())
        return std::nullopt;
    return Url::parse(*text);
}

// An object member whose every value is a string.
const Json* variantMember(const Json& asset) {
    const Json* variant = member(asset, "variant");
    return variant && variant->is_object() && allOf(*variant, Json::value_t::string) ? variant : nullptr;
}

} // namespace

std::optional<std::vector<Library::Entry>>
parseManifest(std::string_view json, const std::function<StringTable()>& stringsTable, std::string* whyNot) {
    const auto fail = [whyNot](std::string reason) {
        if (whyNot)
            *whyNot = std::move(reason);
        return std::nullopt;
    };
    Json root;
    try {
        root = Json::parse(json);
    } catch (const Json::parse_error& error) {
        return fail("not JSON (error at byte " + std::to_string(error.byte) + ")");
    } catch (const Json::exception&) {
        return fail("not JSON");
    }
    if (!root.is_object())
        return fail("not a JSON object");
    const Json* assets = arrayMember(root, "assets", Json::value_t::object);
    if (!assets)
        return fail("no \"assets\" array of objects");

    const StringTable table = stringsTable();
    const CategoryTitles titles = categoryTitles(root, table);

    std::vector<Library::Entry> entries;
    entries.reserve(assets->size());
    for (const auto& asset : *assets) {
        const std::string* id = stringMember(asset, "id");
        if (!id)
            continue;
        const std::string* labelText = stringMember(asset, "accessibilityLabel");
        const std::string label = labelText ? *labelText : std::string();

        std::string name = label;
        if (const std::string* key = stringMember(asset, "localizedNameKey")) {
            if (const std::string* title = lookup(table, *key))
                name = *title;
        }

        if (const Json* variant = variantMember(asset)) {
            const std::string* orientation = stringMember(*variant, "orientation");
            if (orientation && *orientation == "portrait")
                continue;
            const std::string* base = nullptr;
            if (const std::string* subcategory = firstString(asset, "subcategories"))
                base = lookup(titles.subcategories, *subcategory);
            name = base ? *base : label;
            // A variant without an appearance keeps its base name, without a trailing space.
            const std::string* appearance = stringMember(*variant, "appearance");
            if (appearance && !appearance->empty())
                name += " " + capitalized(*appearance);
        }

        const std::string* categoryTitle = nullptr;
        if (const std::string* category = firstString(asset, "categories"))
            categoryTitle = lookup(titles.categories, *category);

        const std::string* gravity = stringMember(asset, "videoGravity");

        Library::Entry entry;
        entry.id = upperCased(*id);
        entry.location = label.empty() ? name : label;
        entry.name = std::move(name);
        entry.category = categoryTitle ? *categoryTitle : "Other";
        entry.cdnURL = urlMember(asset, "url-4K-SDR-240FPS");
        entry.previewURL = urlMember(asset, "previewImage");
        entry.stretches = gravity && *gravity == "resize";
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace drovane
