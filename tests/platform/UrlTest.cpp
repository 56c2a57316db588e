#include "platform/Url.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(Url, RejectsTextThatIsNotAUri) {
    for (const char* bad : {"http://exa mple.com/", "ht tp://x", "http://[::1", "%zz", "a b"}) {
        EXPECT_FALSE(Url::parse(bad)) << bad;
    }
}

TEST(Url, SplitsComponents) {
    struct Case {
        std::string text, scheme, host, path, last, extension;
    };
    // clang-format off
    const Case cases[] = {
        {"drovane://film/abc123", "drovane", "film", "/abc123", "abc123", ""},
        {"drovane://film/", "drovane", "film", "/", "/", ""},
        {"drovane://film", "drovane", "film", "", "", ""},
        {"https://cdn.example.com:8443/a/b/Film%20One.mov?x=1#t", "https", "cdn.example.com","/a/b/Film One.mov", "Film One.mov", "mov"},
        {"file:///home/u/Library/x.tar.gz", "file", "", "/home/u/Library/x.tar.gz", "x.tar.gz", "gz"},
        {"https://h/dir/", "https", "h", "/dir/", "dir", ""},
        {"relative/path.webp", "", "", "relative/path.webp", "path.webp", "webp"},
        {"https://h/.hidden", "https", "h", "/.hidden", ".hidden", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        auto url = Url::parse(c.text);
        ASSERT_TRUE(url) << c.text;
        EXPECT_EQ(url->string(), c.text);
        EXPECT_EQ(url->scheme(), c.scheme) << c.text;
        EXPECT_EQ(url->host(), c.host) << c.text;
        EXPECT_EQ(url->path(), c.path) << c.text;
        EXPECT_EQ(url->lastPathComponent(), c.last) << c.text;
        EXPECT_EQ(url->pathExtension(), c.extension) << c.text;
    }
}

TEST(Url, DeletingTheExtensionCutsAtTheDotItNamesEvenWhenEscaped) {
    // "x%2Ey" once lost "b.c/x%2Ey" from the end instead of ".y": the cut fell on the last
    // literal dot while the extension was read from the decoded path.
    const struct {
        std::string text, expected;
    } cases[] = {
        {"https://h/b.c/x%2Ey?q", "https://h/b.c/x?q"}, {"https://h/a.b%2Ec", "https://h/a.b"},
        {"https://h/a%2Fb.c", "https://h/a%2Fb"},       {"https://h/a.b/", "https://h/a"},
        {"https://h/a%2E%2e", "https://h/a%2E%2e"}, // "a..": no extension
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Url::parse(c.text)->deletingPathExtension().string(), c.expected) << c.text;
    }
}

TEST(Url, QueryItemsArePercentEncodedAndDecoded) {
    const std::vector<Url::QueryItem> items{{"app", "1.2 beta"},
                                            {"system", "14.4.1"},
                                            {"mac", "Think&Pad=X1/+?"},
                                            {"flag", std::nullopt},
                                            {"displays", "2"}};
    auto url = Url::parse("https://h/feedback/")->withQueryItems(items);
    EXPECT_EQ(
        url.string(),
        "https://h/feedback/?app=1.2%20beta&system=14.4.1&mac=Think%26Pad%3DX1%2F%2B%3F&flag&displays=2");
    EXPECT_EQ(url.queryItems(), items);
    // '+' in a query is a plus, not a space.
    EXPECT_EQ(Url::parse("https://h/?q=a+b")->queryItems().front().value, "a+b");
    EXPECT_TRUE(Url::parse("https://h/")->queryItems().empty());
}

TEST(Url, PercentDecodingKeepsMalformedEscapes) {
    EXPECT_EQ(percentDecode("a%20b%2"), "a b%2");
    EXPECT_EQ(percentDecode("%zz%41"), "%zzA");
    EXPECT_EQ(percentDecode("%"), "%");
}

} // namespace
} // namespace drovane
