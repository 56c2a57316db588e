#include "library/ThumbnailCache.h"

#include "fakes/FakeImages.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "support/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;
using Picture = ThumbnailCache::Picture;

using fakes::bytes;

Url url(const std::string& text) {
    return *Url::parse(text);
}

// What one completion saw.
struct Answer {
    int order;
    Picture picture;
};

class ThumbnailCacheTest : public testing::Test {
protected:
    ThumbnailCacheTest() { cache = ThumbnailCache::create(fake.platform()); }
    void TearDown() override {
        for (const auto& task : fake.http->tasks()) {
            EXPECT_FALSE(task->isDownload()) << "the thumbnail cache only reads into memory";
        }
    }

    fakes::ManualTaskQueue& frames() { return *fake.taskQueues->queue("app.drovane.thumbs"); }
    fakes::ManualTaskQueue& previews() { return *fake.taskQueues->queue("app.drovane.previews"); }
    std::string dir() const { return fake.host->cacheDirectory() + "/thumbs"; }

    // A film that yields a frame of the given size.
    Url film(const std::string& name, int width = 1000, int height = 500, std::uint8_t fill = 7) {
        const std::string path = fake.host->tree() / ("films/" + name + ".mov");
        images->setFilm(path, fakes::solidImage(width, height, fill));
        return Url::fromFilePath(path);
    }
    ThumbnailCache::Completion record(int order) {
        return [this, order](Picture picture) { answers.push_back({order, std::move(picture)}); };
    }
    // Runs background work, transfers and main-thread work until nothing is left.
    void settle() {
        while (frames().runAll() + previews().runAll() + fake.http->answerAll() > 0) {
        }
        fake.mainQueue->drain();
    }

    fakes::FakePlatform fake;
    std::shared_ptr<fakes::FakeImages> images = fake.images;
    std::shared_ptr<ThumbnailCache> cache;
    std::vector<Answer> answers;
};

TEST_F(ThumbnailCacheTest, AFolderThatCannotBeMadeStillAnswers) {
    fs::remove_all(dir());
    fake.host->tree().write("home/.cache/drovane/thumbs", "a file where the folder should be");
    auto blocked = ThumbnailCache::create(fake.platform());
    Url f = film("A");
    blocked->request("A", f, record(0));
    settle();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_TRUE(answers[0].picture); // the frame still arrives; only the disk copy is missing
}

TEST_F(ThumbnailCacheTest, AnUnreadableFilmLogsOncePerAttemptAndIsTriedAgain) {
    cache->request("W", url("https://cdn.test/W.mov"), record(0)); // no local file: never opened
    const Url missing = Url::fromFilePath(fake.host->tree() / "films/missing.mov");
    cache->request("M", missing, record(1));
    cache->request("M", missing, record(2));
    settle();
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_FALSE(answers[0].picture || answers[1].picture || answers[2].picture);
    EXPECT_EQ(images->extractCalls, 1);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: thumb W failed: "), 1u);
    EXPECT_EQ(fake.log->lines().back(), "Drovane: thumb M failed: cannot open " + *missing.filePath());
    EXPECT_FALSE(fs::exists(dir() + "/M.jpg"));

    cache->request("M", missing, record(3)); // failures are not remembered
    settle();
    EXPECT_EQ(images->extractCalls, 2);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: thumb M failed: "), 2u);
    EXPECT_EQ(answers.size(), 4u);
}

TEST_F(ThumbnailCacheTest, TheDiskFileIsUsedFirstAndACorruptOneIsReplaced) {
    fake.host->tree().write("home/.cache/drovane/thumbs/A.jpg", fakes::FakeImages::encode(300, 200, 9));
    fake.host->tree().write("home/.cache/drovane/thumbs/B.jpg", "not a picture");
    cache->request("A", film("A"), record(0));
    cache->request("B", film("B", 800, 600, 3), record(1));
    settle();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].picture->width, 300);
    EXPECT_EQ(answers[1].picture->width, 800);
    EXPECT_EQ(images->extractCalls, 1);
    EXPECT_EQ(readWholeFile(dir() + "/B.jpg"), fakes::FakeImages::encode(800, 600, 3));
}

TEST_F(ThumbnailCacheTest, EvictionOverTheCostLimitReloadsFromDisk) {
    // 2000 x 1000 pictures cost 8,000,000 each: twelve fit in 100,663,296, the thirteenth evicts.
    Url f = film("big", 2000, 1000);
    for (int i = 0; i < 13; ++i) {
        cache->request(std::string("F") + std::to_string(i), f, record(i));
    }
    settle();
    ASSERT_EQ(answers.size(), 13u);
    EXPECT_FALSE(cache->mem().object("F0")) << "how the memory cache evicts is its own test";
    EXPECT_EQ(images->extractCalls, 13);

    const int decodesBefore = images->decodeFileCalls;
    cache->request("F0", f, record(13));
    EXPECT_EQ(answers.size(), 13u); // a miss: answered later
    settle();
    ASSERT_EQ(answers.size(), 14u);
    EXPECT_EQ(images->extractCalls, 13);
    EXPECT_EQ(images->decodeFileCalls, decodesBefore + 1);
    EXPECT_EQ(answers[13].picture->width, 560); // downsampled from the stored file
    EXPECT_EQ(answers[13].picture->height, 280);
}

TEST_F(ThumbnailCacheTest, AFirstAddressThatFailsFallsToTheNext) {
    const std::string site = "https://site.test/preview/P.webp";
    const std::string manifest = "https://cdn.test/p.png";
    const auto body = bytes(fakes::FakeImages::encode(1200, 600, 5));
    fake.http->script[site] = {"", 404, bytes("not found")};
    fake.http->script[manifest] = {"", 200, body};

    cache->requestRemote("P", {url(site), url(manifest)}, record(0));
    cache->requestRemote("P", {url(site), url(manifest)}, record(0)); // shares the first's work
    settle();
    EXPECT_EQ(fake.http->requested, (std::vector<std::string>{site, manifest}));
    ASSERT_EQ(answers.size(), 2u);
    ASSERT_TRUE(answers[0].picture);
    EXPECT_EQ(answers[0].picture->width, 560);
    EXPECT_EQ(readWholeFile(dir() + "/P-preview.img"), std::string(body.begin(), body.end()));
    EXPECT_TRUE(cache->mem().object("P-preview"));
    EXPECT_TRUE(fake.log->lines().empty());

    // A later cache (the next launch) reads the stored bytes without a transfer.
    auto later = ThumbnailCache::create(fake.platform());
    later->requestRemote("P", {url(site)}, record(1));
    settle();
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_TRUE(answers[2].picture);
    EXPECT_EQ(fake.http->requested.size(), 2u);
}

TEST_F(ThumbnailCacheTest, EveryKindOfFailedAddressGivesNothingWithoutALogLine) {
    const auto picture = bytes(fakes::FakeImages::encode(10, 10, 1));
    struct Case {
        const char* name;
        std::optional<HttpDataResult> result; // nothing: no address at all
    };
    const Case cases[] = {
        {"transport error", HttpDataResult{"timed out", std::nullopt, std::nullopt}},
        {"error with a picture", HttpDataResult{"cancelled", 200, picture}},
        {"redirect not followed", HttpDataResult{"", 301, picture}},
        {"no body", HttpDataResult{"", 200, std::nullopt}},
        {"empty body", HttpDataResult{"", 200, std::vector<std::uint8_t>{}}},
        {"not a picture", HttpDataResult{"", 200, bytes("<html>")}},
        {"no address", std::nullopt},
    };
    int order = 0;
    for (const Case& c : cases) {
        const std::string address = "https://site.test/" + std::to_string(order) + ".webp";
        const std::string id = std::string("C") + std::to_string(order);
        if (c.result)
            fake.http->script[address] = *c.result;
        cache->requestRemote(id, c.result ? std::vector{url(address)} : std::vector<Url>{}, record(order++));
        settle();
        ASSERT_EQ(answers.size(), static_cast<std::size_t>(order)) << c.name;
        EXPECT_FALSE(answers.back().picture) << c.name;
        EXPECT_FALSE(fs::exists(dir() + "/" + id + "-preview.img")) << c.name;
    }
    EXPECT_TRUE(fake.log->lines().empty());
    fake.host->tree().write("home/.cache/drovane/thumbs/E-preview.img", fakes::FakeImages::encode(40, 30, 2));
    cache->requestRemote("E", {}, record(order));
    settle();
    EXPECT_TRUE(answers.back().picture) << "no address, but a picture stored before";
}

TEST_F(ThumbnailCacheTest, BothRequestsForOneIdentifierAreSeparateEntriesInsideTheFolder) {
    const std::string address = "https://site.test/p.webp";
    fake.http->script[address] = {"", 200, bytes(fakes::FakeImages::encode(100, 100, 4))};
    cache->request("../../escape", film("E", 50, 50, 6), record(0));
    cache->requestRemote("../../escape", {url(address)}, record(1));
    settle();
    ASSERT_EQ(answers.size(), 2u);
    ASSERT_TRUE(answers[0].picture && answers[1].picture);
    EXPECT_NE(answers[0].picture, answers[1].picture);
    EXPECT_EQ(cache->mem().object("../../escape"), answers[0].picture);
    EXPECT_EQ(cache->mem().object("../../escape-preview"), answers[1].picture);
    const fs::path above = fs::path(fake.host->cacheDirectory()).parent_path(); // where "../../" leads
    EXPECT_FALSE(fs::exists(above / "escape.jpg") || fs::exists(above / "escape-preview.img"));
    EXPECT_TRUE(fs::exists(dir() + "/..%2F..%2Fescape.jpg"));
    EXPECT_TRUE(fs::exists(dir() + "/..%2F..%2Fescape-preview.img"));
    EXPECT_NE(cache->diskFile("a/b", ".jpg"), cache->diskFile("a%2Fb", ".jpg"));
}

TEST_F(ThumbnailCacheTest, WorkLeftWhenTheCacheGoesAnswersNothingOnce) {
    cache->request("A", film("A"), record(0));
    cache->requestRemote("B", {url("https://site.test/b.webp")}, record(1));
    previews().runAll(); // the transfer is under way
    cache.reset();
    settle();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_FALSE(answers[0].picture || answers[1].picture);
    EXPECT_EQ(images->extractCalls, 0);
}

} // namespace
} // namespace drovane
