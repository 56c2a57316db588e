#include "support/PropertyList.h"

#include "fakes/BinaryPropertyList.h"
#include "support/XmlPropertyList.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace drovane {
namespace {

Value everyKind() {
    return Value(Value::Dictionary{
        {"bool", true},
        {"false", false},
        {"int", std::int64_t{-9'007'199'254'740'993}},
        {"max", std::numeric_limits<std::int64_t>::max()},
        {"real", 0.1},
        {"tiny", 5e-324},
        {"inf", -std::numeric_limits<double>::infinity()},
        {"string", "<a & b> \"quoted\" 'single' ünï \t\n\r\x01 end"},
        {"empty", ""},
        {"date", Date{123'456'789'000'000}},
        {"distantPast", Date::distantPast()},
        {"beforeEpoch", Date{-1'000'000}},
        {"data", Value::Data{0, 1, 2, 250, 255}},
        {"emptyData", Value::Data{}},
        {"array", Value::Array{"x", 1, Value::Array{}, Value::Dictionary{}}},
        {"nested", Value::Dictionary{{"k", Value::Array{Date{0}, 2.5}}}},
        {"key with <markup> & spaces", 1},
    });
}

TEST(PropertyList, EveryKindRoundTripsExactlyThroughXmlAndIsReadFromBinary) {
    const Value original = everyKind();
    const std::string xml = writeXmlPropertyList(original);
    auto back = readXmlPropertyList(xml);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, original);
    // Written again, the document is byte for byte the same.
    EXPECT_EQ(writeXmlPropertyList(*back), xml);

    auto binaryKinds = *original.asDictionary();
    binaryKinds.erase("distantPast"); // libplist's date getter holds seconds in 32 bits
    const std::string binary = testing::binaryPropertyList(Value(binaryKinds));
    EXPECT_EQ(readPropertyList(binary), Value(binaryKinds));
    // Truncated binary data is refused, as is anything else.
    EXPECT_FALSE(readPropertyList(binary.substr(0, binary.size() / 2)));
    EXPECT_FALSE(readPropertyList("bplist00"));
}

TEST(XmlPropertyList, NaNSurvives) {
    auto back = readXmlPropertyList(writeXmlPropertyList(Value(std::nan(""))));
    ASSERT_TRUE(back && back->asReal());
    EXPECT_TRUE(std::isnan(*back->asReal()));
}

TEST(XmlPropertyList, DatesAreWrittenInWholeSecondsAndReadWithAFractionToo) {
    EXPECT_EQ(formatIsoDate(Date{0}), "2001-01-01T00:00:00Z");
    EXPECT_EQ(formatIsoDate(Date{250'000}), "2001-01-01T00:00:00Z");
    // Written in the proleptic Gregorian calendar of ISO 8601.
    EXPECT_EQ(formatIsoDate(Date::distantPast()), "0000-12-30T00:00:00Z");
    EXPECT_EQ(formatIsoDate(Date{-1}), "2000-12-31T23:59:59Z"); // the second it falls in
    EXPECT_EQ(parseIsoDate("2004-11-29T21:33:09Z"), Date{123'456'789'000'000});
    EXPECT_EQ(parseIsoDate("2004-11-29T21:33:09.5Z"), Date{123'456'789'500'000});
    for (const char* bad :
         {"2004-11-29", "2004-11-29T21:33:09", "2004-13-29T21:33:09Z", "2004-11-29T21:33:09.Z",
          "2004-11-29 21:33:09Z", "20O4-11-29T21:33:09Z", "2004-11-29T21:33:09ZZ"}) {
        EXPECT_FALSE(parseIsoDate(bad)) << bad;
    }
}

TEST(XmlPropertyList, ReadsWhatOtherWritersProduce) {
    const char* text = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<!-- a comment -->
<plist version="1.0">
<dict>
    <key>s</key> <string><![CDATA[<raw>]]> &#x41;&#66;&amp;</string>
    <key>e</key><string/>
    <key>d</key><data>
        AAEC
        +v8=
    </data>
    <key>n</key><integer> +42 </integer>
    <key>dup</key><integer>1</integer>
    <key>dup</key><integer>2</integer>
</dict>
</plist>)";
    auto v = readXmlPropertyList(text);
    ASSERT_TRUE(v && v->asDictionary());
    const auto& d = *v->asDictionary();
    EXPECT_EQ(d.at("s"), Value("<raw> AB&"));
    EXPECT_EQ(d.at("e"), Value(""));
    EXPECT_EQ(d.at("d"), Value(Value::Data{0, 1, 2, 250, 255}));
    EXPECT_EQ(d.at("n"), Value(42));
    EXPECT_EQ(d.at("dup"), Value(2));
}

TEST(XmlPropertyList, RejectsMalformedDocuments) {
    const char* cases[] = {
        "",
        "not xml at all",
        "<plist><dict><key>a</key></dict></plist>",       // key without value
        "<plist><dict><string>a</string></dict></plist>", // value without key
        "<plist><dict><key>a</key><integer>1x</integer></dict></plist>",
        "<plist><integer>99999999999999999999</integer></plist>",
        "<plist><real>one</real></plist>",
        "<plist><date>yesterday</date></plist>",
        "<plist><data>!!!!</data></plist>",
        "<plist><data>AA==AA</data></plist>",
        "<plist><string>&bogus;</string></plist>",
        "<plist><string>&#xD800;</string></plist>",
        "<plist><string>unterminated</plist>",
        "<plist><array><string>a</string></plist>",
        "<plist><unknown/></plist>",
        "<plist><true/><true/></plist>",
        "<plist><dict/></plist> trailing",
        "<plist><string>a</strin></plist>",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(readXmlPropertyList(text)) << text;
    }
}

TEST(XmlPropertyList, DeepNestingIsRefusedNotACrash) {
    std::string deep = "<plist>";
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    EXPECT_FALSE(readXmlPropertyList(deep));
}

TEST(PropertyList, BinaryStringsHoldingANulAreRefusedNotACrash) {
    // A NUL (here where '#' is written) in a key, a value and a UTF-16 value, as fuzzing found:
    // libplist's getters assert on them.
    for (const auto& [key, value] : {std::pair{"k#y", "v"}, {"k", "a#b"}, {"k", "\u00FC#"}}) {
        std::string binary = testing::binaryPropertyList(Value(Value::Dictionary{{key, value}}));
        ASSERT_TRUE(readPropertyList(binary)) << "readable but for the NUL";
        binary[binary.find('#')] = '\0';
        EXPECT_FALSE(readPropertyList(binary)) << key << value;
    }
}

} // namespace
} // namespace drovane
