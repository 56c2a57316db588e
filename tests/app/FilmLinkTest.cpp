#include "app/FilmLink.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(FilmLink, TheIdentifierIsTheLastPathComponentOfAFilmLinkThatNamesAFile) {
    const struct {
        const char* link;
        std::optional<std::string> expected;
    } cases[] = {
        {"drovane://film/b2", "b2"},
        {"drovane://film/x/Y7/", "Y7"},
        {"drovane://film/a%2Fb", "b"}, // a decoded "/" separates too
        {"drovane://film/str%C3%A4nd?x=1#top", "str\xC3\xA4nd"},
        {"drovane://film/..", ".."}, // "...mov" stays inside the video folder
        {"drovane://other/b2", std::nullopt},
        {"Drovane://film/b2", std::nullopt},
        {"drovane://FILM/b2", std::nullopt},
        {"drovane:film/b2", std::nullopt},
        {"drovane://film", std::nullopt},
        {"drovane://film/", std::nullopt},
        {"drovane://film/b2%00.jpg", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto url = Url::parse(c.link);
        ASSERT_TRUE(url) << c.link;
        EXPECT_EQ(filmLinkIdentifier(*url), c.expected) << c.link;
    }
}

} // namespace
} // namespace drovane
