#include "support/PropertyList.h"

#include "fakes/BinaryPropertyList.h"
#include "support/XmlPropertyList.h"

#include <bit>
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
    // NaN, which equals nothing, survives too.
    const auto nan = readXmlPropertyList(writeXmlPropertyList(Value(std::nan(""))));
    EXPECT_TRUE(std::isnan(nan.value_or(Value(0)).asReal().value_or(0)));

    const std::string binary = testing::binaryPropertyList(original);
    EXPECT_EQ(readPropertyList(binary), original);
    // Truncated binary data is refused, as is anything else.
    EXPECT_FALSE(readPropertyList(binary.substr(0, binary.size() / 2)));
    EXPECT_FALSE(readPropertyList("bplist00"));
}

TEST(XmlPropertyList, DatesAreWrittenInWholeSecondsAndReadWithAFractionToo) {
    EXPECT_EQ(formatIsoDate(Date{0}), "2001-01-01T00:00:00Z");
    EXPECT_EQ(formatIsoDate(Date{250'000}), "2001-01-01T00:00:00Z");
    // Written in the proleptic Gregorian calendar of ISO 8601.
    EXPECT_EQ(formatIsoDate(Date::distantPast()), "0000-12-30T00:00:00Z");
    EXPECT_EQ(formatIsoDate(Date{-1}), "2000-12-31T23:59:59Z"); // the second it falls in
    EXPECT_EQ(parseIsoDate("2004-11-29T21:33:09Z"), Date{123'456'789'000'000});
    EXPECT_EQ(parseIsoDate("2004-11-29T21:33:09.5Z"), Date{123'456'789'500'000});
    EXPECT_EQ(parseIsoDate("9999-12-31T23:59:59.999999Z"), Date{252'423'993'599'999'999});
    // The earliest and latest dates overflowed on their way to seconds since 1970 (found by
    // fuzzing); years outside 0 to 9999 are written, but not in a form anything reads.
    for (const Date extreme :
         {Date{std::numeric_limits<std::int64_t>::min()}, Date{std::numeric_limits<std::int64_t>::max()}}) {
        EXPECT_FALSE(parseIsoDate(formatIsoDate(extreme)));
    }
    for (const char* bad :
         {"2004-11-29", "2004-11-29T21:33:09", "2004-13-29T21:33:09Z", "2004-11-29T21:33:09.Z",
          "2004-11-29 21:33:09Z", "20O4-11-29T21:33:09Z", "2004-11-29T21:33:09ZZ",
          // Past the last day of 9999 by a leap second (found by fuzzing); nothing could write it.
          "9999-12-31T23:59:60Z", "9999-12-31T23:59:60.999999Z"}) {
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

TEST(XmlPropertyList, RejectsMalformedOrTooDeeplyNestedDocuments) {
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
    };
    for (const char* text : cases) {
        EXPECT_FALSE(readXmlPropertyList(text)) << text;
    }
    // Deep nesting is refused, not a crash.
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

// A binary list of one date whose seconds since the reference date are `seconds`, written
// into the real that libplist's writer puts after the date marker.
std::string binaryDate(double seconds) {
    std::string binary = testing::binaryPropertyList(Value(Value::Array{Date{0}}));
    const auto at = binary.find('\x33');
    const auto bits = std::bit_cast<std::uint64_t>(seconds);
    for (int i = 0; i < 8; ++i)
        binary[at + 1 + i] = static_cast<char>(bits >> (56 - 8 * i));
    return binary;
}

TEST(PropertyList, BinaryDatesReadWhole) {
    // libplist's getter held the seconds in 32 bits: a date before 1933 or after 2069 read as
    // garbage (undefined behaviour), and one before 2001 was off by its fraction.
    const struct {
        double seconds;
        std::optional<Date> expected;
    } cases[] = {
        {-1.5, Date{-1'500'000}},
        {3'155'760'000.25, Date{3'155'760'000'250'000}}, // 2101
        {-3'155'673'600, Date{-3'155'673'600'000'000}},  // 1901
        {Date::distantPast().secondsSinceReferenceDate(), Date::distantPast()},
        {Date::distantFuture().secondsSinceReferenceDate(), Date::distantFuture()},
        // Beyond the years 0 to 9999 no settings file could hold it again.
        // The last microsecond of 9999 as a real rounds up into the year 10000.
        {Date{252'423'993'599'999'999}.secondsSinceReferenceDate(), std::nullopt},
        {-63'200'000'000.0, std::nullopt},
        {253'000'000'000.0, std::nullopt},
        {1e300, std::nullopt},
        {std::nan(""), std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto value = readPropertyList(binaryDate(c.seconds));
        if (c.expected) {
            EXPECT_EQ(value, Value(Value::Array{*c.expected})) << c.seconds;
        } else {
            EXPECT_FALSE(value) << c.seconds;
        }
    }
}

} // namespace
} // namespace drovane
