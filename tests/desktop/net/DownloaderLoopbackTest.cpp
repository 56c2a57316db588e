#include "desktop/LoopbackServer.h"
#include "desktop/MediaFixtures.h"
#include "desktop/media/QtFfmpegImages.h"
#include "desktop/net/CurlHttp.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Downloader.h"
#include "library/Library.h"
#include "support/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The download queue over the real network layer and the real film check, against a server on
// the loopback interface: only the film lands, renamed from beside the video folder; a missing
// film and an error page answered with 200 (a captive portal) leave nothing and stay missing.
TEST(DownloaderLoopbackTest, OnlyARealFilmLandsInTheVideoFolder) {
    fakes::FakePlatform fake;
    fakes::AerialsTree aerials{*fake.host};
    const std::string source = fake.host->tree() / "source.mov";
    ASSERT_TRUE(fixtures::patternFilm(source, fixtures::Codec::H264, 320, 180, 2));
    const std::string film = fixtures::readBytes(source);

    LoopbackServer server;
    server.serve("/A.mov", film);
    server.serve("/B.mov", "not found", 404, "text/plain");
    server.serve("/C.mov", "<html><body>Sign in to continue</body></html>", 200, "text/html");
    server.start();
    std::vector<fakes::AerialsTree::Film> films;
    for (const char* id : {"A", "B", "C"}) {
        films.push_back({id, id, "AerialCategoryUnderwater", server.url(std::string("/") + id + ".mov"), {}});
    }
    aerials.writeManifest(films);

    auto curl = std::make_shared<CurlHttp>();
    fake.platform().http = curl;
    fake.platform().images = std::make_shared<QtFfmpegImages>();
    auto library = std::make_shared<const Library>(fake.host);
    auto downloader = Downloader::create(fake.platform(), library);
    int finished = 0;
    downloader->onItemFinished = [&] { ++finished; };
    downloader->start(std::vector<std::string>{"a", "b", "c"});
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while ((!downloader->active().empty() || !downloader->waiting().empty()) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
        fake.mainQueue->drain();
    }
    downloader.reset();
    fake.platform().http = nullptr;
    curl.reset(); // the network thread ends here, before the main queue it posts to

    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(readWholeFile(aerials.videosDir() + "/A.mov") == film);
    EXPECT_EQ(library->onDiskIDs(), std::set<std::string>{"A"});
    EXPECT_EQ(library->missingAssets().size(), 2u);
    EXPECT_TRUE(fs::is_empty(Downloader::create(fake.platform(), library)->partialFolder()));
    EXPECT_EQ(fake.log->countStartingWith("Drovane: download of B failed: HTTP status 404"), 1u);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: download of C failed: not a film ("), 1u);
}

} // namespace
} // namespace drovane::desktop
