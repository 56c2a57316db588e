// The thumbnail cache on the real picture backend: films and pictures made with FFmpeg and Qt.

#include "desktop/LoopbackServer.h"
#include "desktop/MediaFixtures.h"
#include "desktop/media/QtFfmpegImages.h"
#include "desktop/net/CurlHttp.h"
#include "fakes/FakePlatform.h"
#include "library/ThumbnailCache.h"

#include <QBuffer>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace drovane {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;
using Picture = ThumbnailCache::Picture;

class ThumbnailCacheBackendTest : public ::testing::Test {
protected:
    ThumbnailCacheBackendTest() {
        fake.platform().images = std::make_shared<desktop::QtFfmpegImages>();
        cache = ThumbnailCache::create(fake.platform());
        fs::create_directories(films());
    }

    std::string films() const { return fake.host->tree() / "films"; }
    std::string thumbs() const { return fake.host->cacheDirectory() + "/thumbs"; }

    // Runs the queued work and the main queue; what each completion received, in order.
    std::vector<Picture> settle() {
        while (fake.taskQueues->queue(ThumbnailCache::framesQueueLabel)->runAll() +
                   fake.taskQueues->queue(ThumbnailCache::previewsQueueLabel)->runAll() >
               0) {
        }
        fake.mainQueue->drain();
        return std::exchange(answers, {});
    }
    ThumbnailCache::Completion record() {
        return [this](Picture picture) { answers.push_back(std::move(picture)); };
    }

    fakes::FakePlatform fake;
    std::shared_ptr<ThumbnailCache> cache;
    std::vector<Picture> answers;
};

TEST_F(ThumbnailCacheBackendTest, AFilmFrameIsStoredAsJpegAndReadBackAtTheNextLaunch) {
    const std::string film = films() + "/HEVC.mov";
    ASSERT_TRUE(patternFilm(film, Codec::Hevc10, 1920, 1080, 3));
    cache->request("HEVC", Url::fromFilePath(film), record());
    auto got = settle();
    ASSERT_EQ(got.size(), 1u);
    ASSERT_TRUE(got[0]);
    EXPECT_EQ(got[0]->width, 560);
    EXPECT_EQ(got[0]->height, 315);
    const std::string jpeg = readBytes(thumbs() + "/HEVC.jpg");
    ASSERT_GT(jpeg.size(), 1000u);
    EXPECT_TRUE(jpeg.starts_with("\xFF\xD8"));
    EXPECT_TRUE(fake.log->lines().empty());

    // The next launch finds the stored frame; the film is not needed any more.
    fs::remove(film);
    auto later = ThumbnailCache::create(fake.platform());
    later->request("HEVC", Url::fromFilePath(film), record());
    got = settle();
    ASSERT_EQ(got.size(), 1u);
    ASSERT_TRUE(got[0]);
    EXPECT_EQ(got[0]->width, 560);
    EXPECT_EQ(got[0]->height, 315);
    EXPECT_GT(distinctColours(*got[0]), 40u);
}

TEST_F(ThumbnailCacheBackendTest, APreviewMissingAtTheFirstAddressComesFromTheSecond) {
    QByteArray webp;
    {
        QBuffer buffer(&webp);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(busyPicture(1600, 900).save(&buffer, "webp"));
    }
    desktop::LoopbackServer server;
    std::atomic<int> requests{0};
    server.server.set_pre_routing_handler([&](const httplib::Request&, httplib::Response&) {
        ++requests;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.serve("/missing/P.webp", "not here", 404, "text/plain");
    server.serve("/preview/P.webp", webp.toStdString(), 200, "image/webp");
    server.start();
    fake.platform().http = std::make_shared<desktop::CurlHttp>();
    cache = ThumbnailCache::create(fake.platform());

    cache->requestRemote(
        "P", {*Url::parse(server.url("/missing/P.webp")), *Url::parse(server.url("/preview/P.webp"))},
        record());
    // The transfers answer on the network thread; keep running the queues until the answer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::vector<Picture> got;
    while (got.empty() && std::chrono::steady_clock::now() < deadline) {
        got = settle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(got.size(), 1u);
    ASSERT_TRUE(got[0]);
    EXPECT_EQ(got[0]->width, 560);
    EXPECT_EQ(got[0]->height, 315);
    EXPECT_EQ(requests.load(), 2);
    EXPECT_EQ(readBytes(thumbs() + "/P-preview.img"), webp.toStdString()) << "the body is kept as it came";
}

} // namespace
} // namespace drovane
