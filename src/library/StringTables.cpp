#include "library/StringTables.h"

#include "library/TextPropertyList.h"
#include "support/Files.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace drovane {

namespace {

// The system's tables are a few hundred kilobytes; anything far larger is not one of them.
constexpr std::size_t maxTableBytes = 64u << 20;

std::optional<StringTable> stringDictionary(const Value& value) {
    const auto* dict = value.asDictionary();
    if (!dict)
        return std::nullopt;
    StringTable table;
    for (const auto& [key, item] : *dict) {
        const auto text = item.asString();
        if (!text)
            return std::nullopt;
        table.emplace_hint(table.end(), key, *text);
    }
    return table;
}

} // namespace

std::optional<StringTable> readStringsFile(std::string_view bytes) {
    const auto root = readAnyPropertyList(bytes);
    if (!root)
        return std::nullopt;
    auto table = stringDictionary(*root);
    if (!table || table->empty())
        return std::nullopt;
    return table;
}

std::optional<LocalizationTable> readLocalizationTable(std::string_view bytes) {
    const auto root = readAnyPropertyList(bytes);
    if (!root || !root->asDictionary())
        return std::nullopt;
    LocalizationTable result;
    for (const auto& [language, inner] : *root->asDictionary())
        result.emplace_hint(result.end(), language, stringDictionary(inner));
    return result;
}

namespace {

std::optional<StringTable> firstUsableStringsFile(const std::string& bundle,
                                                  const std::vector<std::string>& languages) {
    std::vector<std::string> candidates;
    for (const auto& language : languages)
        candidates.push_back(language + ".lproj");
    for (auto& entry : listFolder(bundle)) {
        if (entry.name.ends_with(".lproj"))
            candidates.push_back(std::move(entry.name));
    }
    for (const auto& candidate : candidates) {
        const auto bytes =
            readWholeFile(bundle + "/" + candidate + "/Localizable.nocache.strings", maxTableBytes);
        if (!bytes)
            continue;
        if (auto table = readStringsFile(*bytes))
            return table;
    }
    return std::nullopt;
}

} // namespace

StringTable buildStringTable(const StringTableSources& sources, const std::vector<std::string>& languages) {
    StringTable result;
    for (const auto* bundle : {&sources.systemBundle, &sources.userBundle}) {
        if (auto table = firstUsableStringsFile(*bundle, languages)) {
            result = std::move(*table);
            break;
        }
    }

    const auto bytes = readWholeFile(sources.localizationTable, maxTableBytes);
    const auto localizations = bytes ? readLocalizationTable(*bytes) : std::nullopt;
    if (!localizations)
        return result;
    for (const auto& language : languages) {
        auto chosen = localizations->find(language);
        if (chosen == localizations->end()) {
            // A regional table ("pt_BR") stands in for the bare language; the first in key order.
            const std::string prefix = language + "_";
            chosen = localizations->lower_bound(prefix);
            if (chosen != localizations->end() && !chosen->first.starts_with(prefix))
                chosen = localizations->end();
        }
        if (chosen != localizations->end() && chosen->second) {
            for (const auto& [key, title] : *chosen->second)
                result.insert_or_assign(key, title);
            return result;
        }
    }
    return result;
}

} // namespace drovane
