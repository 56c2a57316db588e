#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drovane {

// The bare ISO 639 language of a POSIX locale name: "de_DE.UTF-8" and "de@euro" give "de";
// "C", "POSIX", "C.UTF-8", the empty name and anything not starting with two or three letters
// give nothing.
std::optional<std::string> localeLanguage(std::string_view localeName);

// The languages to look titles up in: the process locale's language (from the first of
// LC_ALL, LC_MESSAGES and LANG that is set and not empty), when it has one, then "en". An
// English user gets "en" twice. `environment` answers a variable's value.
std::vector<std::string>
preferredLanguages(const std::function<std::optional<std::string>(const std::string&)>& environment);

} // namespace drovane
