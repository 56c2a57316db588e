#include "LaunchFixture.h"
#include "library/Downloader.h"

#include <filesystem>
#include <sys/stat.h>

namespace drovane {
namespace {

class AppDelegateTest : public testing::LaunchFixture {
protected:
    std::string videoPath(const std::string& name) const { return library->videosDir() + "/" + name; }
    std::string addFilm(const std::string& name) { return aerials.addVideo(name); }
    std::string addLooseFilm(const std::string& name) {
        return fake.host->tree().write("elsewhere/" + name, "film");
    }
    std::optional<std::string> playing(const AppDelegate& d) const {
        return d.model->videoURL ? d.model->videoURL->filePath() : std::nullopt;
    }
};

TEST_F(AppDelegateTest, TheLaunchFilmIsChosenByFourRulesInOrder) {
    const std::string first = addFilm("AAA.mov");
    addFilm("BBB.mov");
    // Named to come first, but no film: opening it would block the launch for good.
    ASSERT_EQ(::mkfifo(videoPath("A.mov").c_str(), 0600), 0);
    const std::string given = addLooseFilm("given.mov");
    const std::string upper = addLooseFilm("upper.MOV");
    const std::string stored = addLooseFilm("stored.mov");

    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::optional<std::string> selected, expected;
    };
    const std::vector<Case> cases = {
        {"a positional film that exists", {given}, stored, given},
        {"only the first positional counts", {"--size", "1x1", given, first}, std::nullopt, given},
        {"upper-case .MOV is no film", {upper}, std::nullopt, first},
        {"a positional path that does not exist", {"/nowhere/x.mov"}, stored, stored},
        {"onboarding wins over everything", {given, "--onboarding"}, stored, std::nullopt},
        {"the stored choice", {}, stored, stored},
        {"a stored choice that vanished", {}, std::string("/gone/film.mov"), first},
        {"the catalogue's first film", {}, std::nullopt, first},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.selected) {
            fake.defaults->set(Settings::selectedVideoKey, *c.selected);
        } else {
            fake.defaults->remove(Settings::selectedVideoKey);
        }
        auto delegate = launch(c.arguments);
        EXPECT_EQ(playing(*delegate), c.expected);
        EXPECT_EQ(delegate->model->windows.empty(), !c.expected.has_value());
        EXPECT_EQ(fake.defaults->string(Settings::selectedVideoKey), c.selected)
            << "the launch choice is not stored again";
    }
}

TEST_F(AppDelegateTest, WithoutAFilmTheLaunchSaysSoAndRunsOn) {
    auto delegate = launch();
    EXPECT_FALSE(delegate->model->videoURL);
    EXPECT_TRUE(delegate->model->windows.empty());
    EXPECT_EQ(fake.log->lines(),
              std::vector<std::string>{"Drovane: no video found in " + library->videosDir() +
                                       ", running without a wallpaper layer"});
}

TEST_F(AppDelegateTest, FirstLaunchIsWrittenOnceAndMigrationRunsFirst) {
    fake.defaults->suite("drovane")->set(Settings::selectedVideoKey, addFilm("OLD.mov"));
    auto delegate = launch();
    const auto firstLaunch = fake.defaults->value(Settings::firstLaunchKey);
    ASSERT_TRUE(firstLaunch && firstLaunch->asDate());
    EXPECT_EQ(*firstLaunch->asDate(), fake.clock->now());
    EXPECT_EQ(playing(*delegate), videoPath("OLD.mov")) << "the migrated choice plays";

    fake.mainQueue->advance(100);
    launch();
    EXPECT_EQ(fake.defaults->value(Settings::firstLaunchKey), firstLaunch);
}

TEST_F(AppDelegateTest, AFilmAskedForByUrlIsDownloadedAndThenPlaysInEveryScript) {
    // The identifier as the manifest and the link write it, and the file it is stored under:
    // full Unicode case mapping, the same in the catalogue, the queue and the link.
    const struct {
        std::string id, file;
    } cases[] = {
        {"c1", "C1.mov"},         {"straße", "STRASSE.mov"},  {"ǆungla", "ǄUNGLA.mov"},
        {"ấp-bắc", "ẤP-BẮC.mov"}, {"աղբյուր", "ԱՂԲՅՈՒՐ.mov"}, {"ꭰꭱ", "ᎠᎡ.mov"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const std::string address = "https://cdn.example/" + percentEncode(c.id) + ".mov";
        downloadable({{c.id, "Film", "AerialCategoryLandscape", address, {}}});
        auto delegate = launch();
        ASSERT_FALSE(delegate->model->videoURL);

        delegate->openUrls({*Url::parse("drovane://film/" + percentEncode(c.id))});
        EXPECT_EQ(delegate->model->downloader->active().size(), 1u) << "the queue was asked for the film";
        EXPECT_EQ(fake.http->answerAll(), 1u);
        fake.mainQueue->drain();

        EXPECT_FALSE(delegate->pendingFilm);
        EXPECT_EQ(playing(*delegate), videoPath(c.file));
        std::filesystem::remove(videoPath(c.file));
    }
}

} // namespace
} // namespace drovane
