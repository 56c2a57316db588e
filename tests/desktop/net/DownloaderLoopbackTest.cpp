#include "desktop/LoopbackServer.h"
#include "desktop/net/CurlHttp.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Downloader.h"
#include "library/Library.h"
#include "support/AtomicFile.h"
#include "support/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool isEmptyFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec) && fs::is_empty(path, ec);
}

// The download queue over the real network layer, against a server on the loopback interface.
class DownloaderLoopbackTest : public ::testing::Test {
protected:
    DownloaderLoopbackTest() {
        fake.platform().http = curl;
        film = std::string(4 << 20, 'f');
        for (std::size_t i = 0; i < film.size(); i += 4096) {
            film[i] = static_cast<char>(i / 4096);
        }
        server.serve("/A.mov", film);
        server.serve("/B.mov", "not found", 404, "text/plain");
        server.server.Get("/C.mov", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(film.size(), "video/quicktime",
                                     [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         if (offset > 0) {
                                             return false; // gone after the first piece
                                         }
                                         sink.write(film.data(), film.size() / 3);
                                         return true;
                                     });
        });
        server.serveSlowly("/D.mov", 100u << 20);
        server.start();

        std::vector<fakes::AerialsTree::Film> films;
        for (const char* id : {"A", "B", "C", "D"}) {
            films.push_back(
                {id, id, "AerialCategoryUnderwater", server.url(std::string("/") + id + ".mov"), {}});
        }
        aerials.writeManifest(films);

        downloader = Downloader::create(fake.platform(), library);
        downloader->onItemFinished = [this] { ++finished; };
        downloader->onStateChanged = [this] {
            for (const auto& [key, fraction] : downloader->active()) {
                if (fraction > 0) {
                    sawProgress.insert(key);
                }
            }
        };
    }
    ~DownloaderLoopbackTest() override {
        downloader.reset();
        fake.platform().http = nullptr;
        curl.reset(); // the network thread ends here, before the main queue it posts to
    }

    // Runs the main queue until `condition` holds; false after 20 seconds.
    template <typename Condition> bool runUntil(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(5ms);
            fake.mainQueue->drain();
        }
        return true;
    }
    bool drained() const { return downloader->active().empty() && downloader->waiting().empty(); }

    // Before the server, which may still be sending it while it stops.
    std::string film;
    LoopbackServer server;
    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<CurlHttp> curl = std::make_shared<CurlHttp>();
    std::shared_ptr<Downloader> downloader;
    int finished = 0;
    std::set<std::string> sawProgress;
};

TEST_F(DownloaderLoopbackTest, ARealDownloadLandsInTheVideoFolderAndIsAnnounced) {
    downloader->start(std::vector<std::string>{"a"});
    ASSERT_TRUE(runUntil([&] { return finished > 0; }));
    EXPECT_TRUE(readWholeFile(aerials.videosDir() + "/A.mov") == film);
    EXPECT_EQ(library->onDiskIDs(), std::set<std::string>{"A"});
    EXPECT_TRUE(sawProgress.contains("A"));
    EXPECT_TRUE(drained());
    EXPECT_EQ(downloader->done() + downloader->failed() + downloader->total(), 0);
    EXPECT_TRUE(isEmptyFolder(downloader->partialFolder()));
    EXPECT_TRUE(fake.log->lines().empty());
}

TEST_F(DownloaderLoopbackTest, AMissingFilmAndABrokenTransferLeaveNothingInTheVideoFolder) {
    int failed = 0;
    downloader->onStateChanged = [&] { failed = std::max(failed, downloader->failed()); };
    downloader->start(std::vector<std::string>{"B", "C"});
    ASSERT_TRUE(runUntil([&] { return drained(); }));
    EXPECT_EQ(failed, 1) << "the first failure is counted; the second drains the queue and resets";
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(isEmptyFolder(aerials.videosDir()));
    EXPECT_TRUE(runUntil([&] { return isEmptyFolder(downloader->partialFolder()); }));
}

TEST_F(DownloaderLoopbackTest, CancellingMidTransferLeavesNothingBehind) {
    downloader->start(std::vector<std::string>{"D"});
    ASSERT_TRUE(runUntil([&] { return sawProgress.contains("D"); }));
    EXPECT_EQ(fs::directory_iterator(downloader->partialFolder())->path().parent_path(),
              fs::path(downloader->partialFolder()))
        << "the film grows beside the video folder, not in it";
    EXPECT_TRUE(isEmptyFolder(aerials.videosDir()));

    downloader->cancel("D");
    EXPECT_TRUE(drained());
    EXPECT_TRUE(runUntil([&] { return isEmptyFolder(downloader->partialFolder()); }));
    EXPECT_TRUE(isEmptyFolder(aerials.videosDir()));
    EXPECT_EQ(finished, 0);
}

} // namespace
} // namespace drovane::desktop
