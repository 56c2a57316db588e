#include "library/LocaleLanguages.h"

namespace drovane {

std::optional<std::string> localeLanguage(std::string_view localeName) {
    const auto end = localeName.find_first_of("_.@-");
    const std::string_view language = localeName.substr(0, end);
    if (language.size() < 2 || language.size() > 3)
        return std::nullopt;
    std::string code;
    for (const char c : language) {
        if (c >= 'A' && c <= 'Z') {
            code.push_back(static_cast<char>(c - 'A' + 'a'));
        } else if (c >= 'a' && c <= 'z') {
            code.push_back(c);
        } else {
            return std::nullopt;
        }
    }
    return code;
}

std::vector<std::string>
preferredLanguages(const std::function<std::optional<std::string>(const std::string&)>& environment) {
    std::vector<std::string> languages;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const auto value = environment(variable);
        if (!value || value->empty())
            continue;
        // The first variable that is set decides, even when it names no language ("C").
        if (auto language = localeLanguage(*value))
            languages.push_back(std::move(*language));
        break;
    }
    languages.push_back("en");
    return languages;
}

} // namespace drovane
