#include "library/TextPropertyList.h"

#include "fakes/BinaryPropertyList.h"
#include "library/StringTables.h"
#include "support/XmlPropertyList.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

using Dict = Value::Dictionary;

struct TextCase {
    const char* name;
    std::string text;
    std::optional<Value> expected;
};

TEST(TextPropertyList, ReadsTheStringsFormAndOldStyleValues) {
    // clang-format off
    const std::vector<TextCase> cases = {
        {"quoted pairs", R"("a" = "b"; "c" = "d";)", Value(Dict{{"a", "b"}, {"c", "d"}})},
        {"unquoted keys and values", "Key_1 = value.with/odd:chars-$;", Value(Dict{{"Key_1", "value.with/odd:chars-$"}})},
        {"single quotes", "'it''s' = 'x';", std::nullopt},
        {"single-quoted strings", R"('a' = 'say "hi"';)", Value(Dict{{"a", "say \"hi\""}})},
        {"a key alone stands for itself", R"("Done"; "x" = "y";)", Value(Dict{{"Done", "Done"}, {"x", "y"}})},
        {"block and line comments","/* header\n * more */\n\"a\" = /* inline */ \"b\"; // trailing\n// \"c\" = \"d\";\n", Value(Dict{{"a", "b"}})},
        {"a comment marker inside a string is text", R"("a" = "x // y /* z */";)", Value(Dict{{"a", "x // y /* z */"}})},
        {"the usual escapes", R"("k" = "q\" bs\\ n\n t\t r\r a\a b\b f\f v\v sq\' other\z";)", Value(Dict{{"k", "q\" bs\\ n\n t\t r\r a\a b\b f\f v\v sq' otherz"}})},
        {"four-digit unicode escapes", R"("k" = "\U00e9\U20AC";)", Value(Dict{{"k", "\xC3\xA9\xE2\x82\xAC"}})},
        {"short unicode escapes end at a non-hex character", R"("k" = "\U41x";)", Value(Dict{{"k", "Ax"}})},
        {"a surrogate pair of escapes is one character", R"("k" = "\UD83D\UDE00";)", Value(Dict{{"k", "\xF0\x9F\x98\x80"}})},
        {"a lone surrogate becomes the replacement character", R"("k" = "\UD83Dz";)", Value(Dict{{"k", "\xEF\xBF\xBDz"}})},
        {"octal escapes", R"("k" = "\101\0619";)", Value(Dict{{"k", "A19"}})},
        {"raw UTF-8 and line breaks inside quotes", "\"k\" = \"Zürich\nSee\";", Value(Dict{{"k", "Zürich\nSee"}})},
        {"later duplicates win", R"("a" = "1"; "a" = "2";)", Value(Dict{{"a", "2"}})},
        {"empty text is an empty dictionary", " \n/* nothing */\n", Value(Dict{})},
        {"a braced dictionary with nesting",R"({ de = { "a" = "b"; }; list = ( x, "y z", ); data = <0fbd 77>; })", Value(Dict{{"de", Value(Dict{{"a", "b"}})}, {"list", Value(Value::Array{"x", "y z"})}, {"data", Value(Value::Data{0x0f, 0xbd, 0x77})}})},
        {"a lone string is a string root", R"("just text")", Value("just text")},
        {"missing semicolon", R"("a" = "b")", std::nullopt},
        {"missing semicolon between pairs", R"("a" = "b" "c" = "d";)", std::nullopt},
        {"missing value", R"("a" = ;)", std::nullopt},
        {"unterminated string", R"("a" = "b;)", std::nullopt},
        {"unterminated comment", R"("a" = "b"; /* never closed)", std::nullopt},
        {"unbalanced brace", R"({ "a" = "b"; )", std::nullopt},
        {"odd number of hex digits", "{ d = <0fb>; }", std::nullopt},
        {"a stray character", R"("a" = "b"; #)", std::nullopt},
        {"a backslash at the very end", "\"a\" = \"b\\", std::nullopt},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readTextPropertyList(c.text), c.expected);
    }
}

TEST(TextPropertyList, RejectsNestingBeyondTheLimit) {
    const std::string deep = std::string(2000, '(') + std::string(2000, ')');
    EXPECT_EQ(readTextPropertyList(deep), std::nullopt);
    const std::string shallow = std::string(100, '(') + std::string(100, ')');
    EXPECT_NE(readTextPropertyList(shallow), std::nullopt);
}

TEST(TextPropertyList, DecodesEveryTextEncodingOfTheSystemTables) {
    using testing::utf16;
    const std::string text = "\"Café\" = \"Zürich €\";";
    const Value expected(Dict{{"Café", "Zürich €"}});
    EXPECT_EQ(readAnyPropertyList(text), expected);
    EXPECT_EQ(readAnyPropertyList("\xEF\xBB\xBF" + text), expected);
    EXPECT_EQ(readAnyPropertyList(utf16(text, false)), expected);
    EXPECT_EQ(readAnyPropertyList(utf16(text, true)), expected);
    EXPECT_EQ(readAnyPropertyList(utf16(writeXmlPropertyList(expected), false)), expected);

    EXPECT_EQ(decodePropertyListText(std::string("\xFF\xFE") + "a"), std::nullopt) << "odd byte count";
    EXPECT_EQ(decodePropertyListText(std::string("\xFF\xFE\x3D\xD8", 4)), std::nullopt) << "lone surrogate";
    EXPECT_EQ(decodePropertyListText(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)), "\xF0\x9F\x98\x80");
    EXPECT_EQ(decodePropertyListText("\"a\" = \"\xC3\";"), std::nullopt) << "truncated UTF-8";
    EXPECT_EQ(decodePropertyListText("\xED\xA0\x80"), std::nullopt) << "encoded surrogate";
    EXPECT_EQ(decodePropertyListText("\xC0\xAF"), std::nullopt) << "overlong";
}

TEST(StringsFile, AcceptsOnlyANonEmptyDictionaryOfStrings) {
    const struct {
        const char* name;
        std::string bytes;
        std::optional<StringTable> expected;
    } cases[] = {
        {"text form", R"("a" = "b";)", StringTable{{"a", "b"}}},
        {"xml form", writeXmlPropertyList(Value(Dict{{"a", "b"}})), StringTable{{"a", "b"}}},
        {"only comments", "/* empty */", std::nullopt},
        {"a nested dictionary", R"({ "a" = { "b" = "c"; }; })", std::nullopt},
        {"root is an array", writeXmlPropertyList(Value(Value::Array{"a"})), std::nullopt},
        {"root is a string", R"("a")", std::nullopt},
        {"not a property list", "\x01\x02garbage", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readStringsFile(c.bytes), c.expected);
    }
}

TEST(LocalizationTableFile, KeepsTheLanguagesAndMarksUnusableTables) {
    const Value root(Dict{{"de", Value(Dict{{"k", "Titel"}})},
                          {"fr", Value(Dict{{"k", "titre"}, {"bad", 1}})},
                          {"it", "not a table"}});
    const auto table = readLocalizationTable(testing::binaryPropertyList(root));
    ASSERT_TRUE(table);
    EXPECT_EQ(*table, (LocalizationTable{
                          {"de", StringTable{{"k", "Titel"}}}, {"fr", std::nullopt}, {"it", std::nullopt}}));

    EXPECT_EQ(readLocalizationTable("garbage ;;"), std::nullopt);
    EXPECT_EQ(readLocalizationTable(writeXmlPropertyList(Value(Dict{}))), LocalizationTable{});
}

} // namespace
} // namespace drovane
