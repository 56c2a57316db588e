// The helpers that turn the manifest's text into identifiers, titles and dates, over arbitrary
// bytes: a manifest identifier or localization key, a locale name from the environment, a
// property list's date text, and the date the input's first eight bytes make. Never crashes;
// identifiers are upper case and stay so, valid UTF-8 stays valid, a title keeps its key's
// letters, a language code is two or three lower-case letters, and a date reads back from what
// it is written as. (Which file names are films, and which identifiers name a file, are the
// library's and the downloader's tables: a copy of the code would be no oracle.)

#include "FuzzCheck.h"
#include "library/Library.h"
#include "library/LocaleLanguages.h"
#include "library/Utf8.h"
#include "support/CaseMapping.h"
#include "support/XmlPropertyList.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace drovane;

namespace {

std::string withoutBlanks(std::string_view text) {
    std::string out(text);
    out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
    return out;
}

void checkCaseMapping(std::string_view text) {
    const std::string upper = upperCased(text);
    const std::string lower = lowerCased(text);
    const std::string title = capitalized(text);
    require(upperCased(upper) == upper && lowerCased(lower) == lower);
    if (isValidUtf8(text))
        require(isValidUtf8(upper) && isValidUtf8(lower) && isValidUtf8(title));
    // Plain ASCII maps letter for letter.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        require(upper.size() == text.size() && lower.size() == text.size() && title.size() == text.size());
}

void checkReadable(const std::string& key) {
    std::string_view rest = key;
    for (const std::string_view prefix :
         {"AerialSubcategoryDescription", "AerialSubcategory", "AerialCategory"}) {
        if (rest.starts_with(prefix)) {
            rest.remove_prefix(prefix.size());
            break;
        }
    }
    const std::string title = Library::readable(key);
    require(title.size() >= rest.size() && title.size() <= rest.size() + rest.size() / 2 + 1);
    require(withoutBlanks(title) == withoutBlanks(rest));
}

void checkLanguage(std::string_view localeName) {
    if (const auto language = localeLanguage(localeName)) {
        require(language->size() == 2 || language->size() == 3);
        require(std::all_of(language->begin(), language->end(), [](char c) { return c >= 'a' && c <= 'z'; }));
    }
}

void checkDate(Date date) {
    const std::string text = formatIsoDate(date);
    // Years 0 to 9999 are what the form can write; any other is written somehow.
    const Date first = *parseIsoDate("0000-01-01T00:00:00Z");
    const Date last = *parseIsoDate("9999-12-31T23:59:59.999999Z");
    if (date >= first && date <= last)
        require(parseIsoDate(text) == toSecond(date));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkCaseMapping(text);
    checkReadable(text);
    checkLanguage(text);

    if (const auto date = parseIsoDate(text))
        checkDate(*date);
    if (size >= 8) {
        std::int64_t microseconds = 0;
        std::memcpy(&microseconds, data, sizeof microseconds);
        checkDate(Date{microseconds});
    }
    return 0;
}
