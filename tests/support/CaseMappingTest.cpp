#include "support/CaseMapping.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(CaseMapping, MapsLettersOfTheCommonScriptsAndKeepsEverythingElse) {
    const struct {
        std::string text, upper, lower;
    } cases[] = {
        {"b2a4c1f0-77e1-4d1e", "B2A4C1F0-77E1-4D1E", "b2a4c1f0-77e1-4d1e"},
        {"Zürich Öl", "ZÜRICH ÖL", "zürich öl"},
        {"straße", "STRASSE", "straße"}, // full mappings: ß upper-cases to two letters
        {"Łódź", "ŁÓDŹ", "łódź"},
        {"Ÿÿ", "ŸŸ", "ÿÿ"},
        {"Αθήνα", "ΑΘΉΝΑ", "αθήνα"},
        {"Москва Ёж", "МОСКВА ЁЖ", "москва ёж"},
        {"東京 😀", "東京 😀", "東京 😀"},
        {"×÷", "×÷", "×÷"},
        {std::string("a\xC3") + "b", std::string("A\xC3") + "B",
         std::string("a\xC3") + "b"},                           // broken UTF-8 kept
        {"ǅemal Ǉubljana", "ǄEMAL ǇUBLJANA", "ǆemal ǉubljana"}, // Latin Extended-B
        {"Ấp Bắc", "ẤP BẮC", "ấp bắc"},                         // Vietnamese
        {"Երևան", "ԵՐԵՒԱՆ", "երևան"},                           // Armenian, with its ligature
        {"Ꭰꭱ", "ᎠᎡ", "ꭰꭱ"},                             // Cherokee
        {"İstanbul", "İSTANBUL", "i̇stanbul"},                   // the same in every locale, Turkish too
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(upperCased(c.text), c.upper) << c.text;
        EXPECT_EQ(lowerCased(c.text), c.lower) << c.text;
    }
}

} // namespace
} // namespace drovane
