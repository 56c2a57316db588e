#include "desktop/net/CurlHttp.h"

#include "desktop/LoopbackServer.h"
#include "fakes/TempDir.h"
#include "support/Files.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace drovane::desktop {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Bytes no fault could come by: a shifted or repeated piece does not match.
std::string filmBytes(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

Url url(const std::string& text) {
    return *Url::parse(text);
}

std::size_t entriesIn(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// What the network thread reported for one transfer. Shared with the callbacks, which may run
// as late as the backend's destruction.
struct Probe {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<double> fractions;
    int completions = 0;
    HttpDownloadResult download;
    HttpDataResult data;
    // The temporary file's folder and contents, read while the completion ran.
    std::string temporaryFolder;
    std::optional<std::string> contents;
    bool completedOnCallerThread = false;
    const std::thread::id caller = std::this_thread::get_id();

    static std::shared_ptr<Probe> make() { return std::make_shared<Probe>(); }

    // Until the transfer ends or, if `orProgress`, reports progress first.
    bool waitForCompletion(bool orProgress = false) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 20s,
                                [&] { return completions > 0 || (orProgress && !fractions.empty()); });
    }
};

std::function<void(double)> progressOf(const std::shared_ptr<Probe>& probe) {
    return [probe](double fraction) {
        std::lock_guard lock(probe->mutex);
        probe->fractions.push_back(fraction);
        probe->changed.notify_all();
    };
}

// Records a completion of either kind; a download's file is read while it still exists.
template <typename Result>
std::function<void(const Result&)> completionOf(const std::shared_ptr<Probe>& probe) {
    return [probe](const Result& result) {
        std::lock_guard lock(probe->mutex);
        ++probe->completions;
        probe->completedOnCallerThread = std::this_thread::get_id() == probe->caller;
        if constexpr (std::is_same_v<Result, HttpDownloadResult>) {
            probe->download = result;
            if (result.temporaryFile) {
                probe->temporaryFolder = fs::path(*result.temporaryFile).parent_path().string();
                probe->contents = readWholeFile(*result.temporaryFile);
            }
        } else {
            probe->data = result;
        }
        probe->changed.notify_all();
    };
}

class CurlHttpTest : public ::testing::Test {
protected:
    CurlHttpTest() { fs::create_directories(folder()); }

    std::string folder() const { return tree / "partial"; }
    CurlHttp& http() {
        if (!m_http) {
            m_http = std::make_unique<CurlHttp>(options);
        }
        return *m_http;
    }
    void dropBackend() { m_http.reset(); }

    // Starts a download of `address` into `into` (by default a path on the server into folder()).
    std::shared_ptr<Probe> fetch(const std::string& address, std::shared_ptr<HttpTask>* taskOut = nullptr,
                                 const std::string& into = {}, std::uint64_t maxBytes = Http::unlimited) {
        auto probe = Probe::make();
        auto task = http().download(url(address.starts_with("/") ? server.url(address) : address),
                                    into.empty() ? folder() : into, progressOf(probe),
                                    completionOf<HttpDownloadResult>(probe), maxBytes);
        task->resume();
        if (taskOut) {
            *taskOut = task;
        }
        return probe;
    }
    // Starts a GET of `path` on the server.
    std::shared_ptr<Probe> get(const std::string& path, double timeout = 10) {
        auto probe = Probe::make();
        http().get(url(server.url(path)), timeout, completionOf<HttpDataResult>(probe))->resume();
        return probe;
    }

    fakes::TempDir tree;
    LoopbackServer server;
    CurlHttpOptions options;

private:
    std::unique_ptr<CurlHttp> m_http;
};

// Three at once, two directly and one after a redirect (whose own page is no part of the film).
TEST_F(CurlHttpTest, DownloadsRunThreeAtOnceAndArriveInTheNamedFolderWithTheirProgressAndGoAfterwards) {
    const std::string films[] = {filmBytes(3 << 20, 0), filmBytes(3 << 20, 1), filmBytes(3 << 20, 2)};
    std::atomic<int> arrived{0};
    std::atomic<int> metOthers{0};
    server.server.Get(R"(/film/(\d)\.mov)", [&](const httplib::Request& req, httplib::Response& res) {
        ++arrived;
        // Each answer waits until all three requests are in: one at a time would never get there.
        if (server.waitUntil([&] { return arrived.load() >= 3; }, 10s)) {
            ++metOthers;
        }
        res.set_content(films[std::stoi(req.matches[1].str())], "video/quicktime");
    });
    server.server.Get("/old.mov", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(5000, 'r'), "text/plain");
        res.set_header("Location", server.url("/film/2.mov"));
        res.status = 302;
    });
    server.start();

    // The redirected one is bounded by the film's own size: the redirect's page does not count.
    const std::shared_ptr<Probe> probes[] = {fetch("/film/0.mov"), fetch("/film/1.mov"),
                                             fetch("/old.mov", nullptr, {}, films[2].size())};
    for (const auto& probe : probes) {
        ASSERT_TRUE(probe->waitForCompletion());
    }
    dropBackend(); // every transfer has ended, its clean-up too
    for (std::size_t i = 0; i < std::size(probes); ++i) {
        const auto& probe = probes[i];
        std::lock_guard lock(probe->mutex);
        EXPECT_EQ(probe->download.error, "");
        EXPECT_EQ(probe->download.statusCode, 200);
        ASSERT_TRUE(probe->download.temporaryFile);
        EXPECT_EQ(probe->temporaryFolder, folder());
        EXPECT_TRUE(probe->contents == films[i]) << i;
        EXPECT_FALSE(probe->completedOnCallerThread);
        const auto& f = probe->fractions;
        EXPECT_TRUE(!f.empty() && std::ranges::is_sorted(f) && f.front() >= 0.0 && f.back() == 1.0)
            << ::testing::PrintToString(f);
        EXPECT_EQ(fs::status(*probe->download.temporaryFile).type(), fs::file_type::not_found);
    }
    EXPECT_EQ(metOthers.load(), 3);
    EXPECT_EQ(entriesIn(folder()), 0u) << "the file lives only while the completion runs";
}

// Every transfer that cannot end well completes once, with an error, no file and nothing left
// behind: no server, no folder to write into, an address that is not HTTP, a body past its bound
// (announced or not), a task cancelled before it ran. An error status is no failure of the
// transfer: its page arrives, but as no part of the film's progress.
TEST_F(CurlHttpTest, EveryFailedDownloadCompletesOnceWithAnErrorAndLeavesNoFile) {
    auto film = std::make_shared<const std::string>(filmBytes(1 << 20));
    server.serve("/big.mov", *film);
    server.server.Get("/unannounced.mov", [film](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "video/quicktime", [film](std::size_t offset, httplib::DataSink& sink) {
                if (offset < film->size()) {
                    sink.write(film->data() + offset, std::min<std::size_t>(65536, film->size() - offset));
                } else {
                    sink.done();
                }
                return true;
            });
    });
    server.server.Get("/cut.mov", [film](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(film->size(), "video/quicktime",
                                 [film](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     const std::size_t half = film->size() / 2;
                                     if (offset >= half) {
                                         return false; // the server goes away mid-body
                                     }
                                     sink.write(film->data() + offset, half - offset);
                                     return true;
                                 });
    });
    server.serve("/gone.mov", "not found", 404, "text/plain");
    server.start();
    const std::string closed = "http://127.0.0.1:1/x.mov"; // nobody listens on port 1

    auto early = Probe::make();
    auto task = http().download(url(server.url("/never.mov")), folder(), progressOf(early),
                                completionOf<HttpDownloadResult>(early));
    task->cancel();
    task->resume();
    auto gone = fetch("/gone.mov");
    const std::shared_ptr<Probe> probes[] = {fetch("/cut.mov"),
                                             fetch(closed),
                                             fetch(closed, nullptr, tree / "missing"),
                                             fetch("ftp://127.0.0.1/x.mov"),
                                             fetch("/big.mov", nullptr, {}, (1 << 20) - 1),
                                             fetch("/unannounced.mov", nullptr, {}, 100'000),
                                             early};
    for (const auto& probe : probes) {
        ASSERT_TRUE(probe->waitForCompletion());
    }
    ASSERT_TRUE(gone->waitForCompletion());
    dropBackend();
    for (const auto& probe : probes) {
        std::lock_guard lock(probe->mutex);
        EXPECT_EQ(probe->completions, 1);
        EXPECT_NE(probe->download.error, "");
        EXPECT_FALSE(probe->download.temporaryFile);
    }
    EXPECT_EQ(early->download.error, "cancelled");
    EXPECT_FALSE(early->download.statusCode);
    EXPECT_EQ(gone->download.error, "");
    EXPECT_EQ(gone->download.statusCode, 404);
    EXPECT_EQ(gone->contents, "not found");
    EXPECT_TRUE(gone->fractions.empty()) << "an error page is not the film's progress";
    EXPECT_EQ(entriesIn(folder()), 0u);
}

TEST_F(CurlHttpTest, CancellingOrDroppingTheBackendMidTransferCompletesOnceWithAnErrorAndLeavesNoFile) {
    server.serveSlowly("/slow.mov", 100u << 20);
    server.start();

    std::shared_ptr<HttpTask> task;
    auto cancelled = fetch("/slow.mov", &task);
    auto dropped = fetch("/slow.mov");
    ASSERT_TRUE(cancelled->waitForCompletion(true));
    ASSERT_TRUE(dropped->waitForCompletion(true));
    EXPECT_EQ(entriesIn(folder()), 2u) << "the partial files are in the named folder";
    task->cancel();
    ASSERT_TRUE(cancelled->waitForCompletion());
    task->cancel(); // again, and after the end: nothing more
    task->resume();
    dropBackend(); // ends what still runs

    for (const auto& probe : {cancelled, dropped}) {
        std::lock_guard lock(probe->mutex);
        EXPECT_EQ(probe->completions, 1);
        EXPECT_FALSE(probe->download.temporaryFile);
    }
    EXPECT_EQ(cancelled->download.error, "cancelled");
    EXPECT_NE(dropped->download.error, "");
    EXPECT_EQ(entriesIn(folder()), 0u);
}

TEST_F(CurlHttpTest, AGetReadsTheBodyIntoMemoryPastEveryCacheAndFailsOnItsTimeoutSizeOrAFile) {
    options.maxBodyBytes = 1000;
    std::string cacheControl;
    const std::string json = R"({"version":"1.2"})";
    server.server.Get("/feed.json", [&](const httplib::Request& req, httplib::Response& res) {
        cacheControl = req.get_header_value("Cache-Control");
        res.set_content(json, "application/json");
    });
    server.serve("/missing", "no", 404, "text/plain");
    server.server.Get("/moved", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(server.url("/feed.json"));
    });
    server.server.Get("/late", [&](const httplib::Request&, httplib::Response& res) {
        server.waitUntil([] { return false; }, 10s);
        res.set_content("too late", "text/plain");
    });
    server.serve("/huge", std::string(5000, 'h'), 200, "text/plain");
    server.server.Get("/local", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("file:///etc/hostname");
    });
    server.start();

    auto feed = get("/feed.json");
    auto missing = get("/missing");
    auto moved = get("/moved");
    for (const auto& probe : {get("/late", 0.3), get("/huge"), get("/local"), feed, missing, moved}) {
        ASSERT_TRUE(probe->waitForCompletion());
        std::lock_guard lock(probe->mutex);
        EXPECT_EQ(probe->data.error.empty(), probe == feed || probe == missing || probe == moved);
        EXPECT_EQ(probe->data.body.has_value(), probe->data.error.empty());
    }
    EXPECT_EQ(feed->data.statusCode, 200);
    EXPECT_EQ(feed->data.body, std::vector<std::uint8_t>(json.begin(), json.end()));
    EXPECT_FALSE(feed->completedOnCallerThread);
    EXPECT_EQ(cacheControl, "no-cache");
    EXPECT_EQ(missing->data.statusCode, 404);
    EXPECT_EQ(moved->data.statusCode, 200);
    EXPECT_EQ(moved->data.body, feed->data.body);
}

TEST(CurlHttpOptionsTest, OnlyAWholeNumberOfSecondsShortensTheLowSpeedTime) {
    const CurlHttpOptions defaults;
    const struct {
        std::optional<std::string> variable;
        long seconds; // 0: the variable is ignored
    } cases[] = {
        {std::nullopt, 0}, {"", 0},   {"5", 5},  {"3600", 3600}, {"0", 0},
        {"3601", 0},       {"-5", 0}, {"5s", 0}, {" 5", 0},      {"99999999999999999999", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable.value_or("(unset)"));
        const std::string set = "Drovane: DROVANE_LOW_SPEED_SECONDS=" + c.variable.value_or("");
        std::string line = "stale";
        const CurlHttpOptions options = curlHttpOptionsFor(c.variable, line);
        EXPECT_EQ(options.lowSpeedSeconds, c.seconds ? c.seconds : defaults.lowSpeedSeconds);
        EXPECT_EQ(line, c.seconds ? set + ": downloads that stall for " + *c.variable + " s are abandoned"
                        : c.variable.value_or("").empty()
                            ? ""
                            : set + " is not a whole number of seconds from 1 to 3600, ignored");
    }
}

} // namespace
} // namespace drovane::desktop
