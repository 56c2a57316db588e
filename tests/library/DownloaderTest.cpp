#include "library/Downloader.h"

#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "library/Library.h"
#include "support/Files.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;
using fakes::bytes;

class DownloaderTest : public ::testing::Test {
protected:
    DownloaderTest() {
        catalogue({"A", "B", "C", "D", "E"});
        downloader = Downloader::create(fake.platform(), library);
        downloader->onItemFinished = [this] { finished.push_back(seen()); };
        downloader->onStateChanged = [this] { states.push_back(seen()); };
    }

    static std::string address(const std::string& id) { return "https://cdn.test/" + id + ".mov"; }
    // A manifest listing `ids`, each with a download address, in this order.
    void catalogue(const std::vector<std::string>& ids) {
        std::vector<fakes::AerialsTree::Film> films;
        for (const auto& id : ids) {
            films.push_back({id, "Film " + id, "AerialCategoryUnderwater", address(id), std::nullopt});
        }
        aerials.writeManifest(films);
    }
    // The queue at one moment: "running/waiting/done failed total".
    std::string seen() const {
        std::string s;
        for (const auto& [key, fraction] : downloader->active()) {
            s += (s.empty() ? "" : " ") + key;
        }
        s += "/";
        for (const auto& key : downloader->waiting()) {
            s += (s.back() == '/' ? "" : " ") + key;
        }
        return s + "/" + std::to_string(downloader->done()) + " " + std::to_string(downloader->failed()) +
               " " + std::to_string(downloader->total());
    }
    std::shared_ptr<fakes::ScriptedHttp::Task> task(const std::string& id) const {
        return fake.http->last(address(id));
    }
    // The network answers the newest transfer of `id`; the main thread then takes the outcome.
    void answer(const std::string& id, std::optional<int> status = 200) {
        fake.http->answer(task(id), {"", status, bytes("film " + id)});
        fake.mainQueue->drain();
    }
    void progress(const std::shared_ptr<fakes::ScriptedHttp::Task>& task, double fraction) {
        fake.http->progress(task, fraction);
        fake.mainQueue->drain();
    }
    double fraction(const std::string& key) const {
        auto it = downloader->active().find(key);
        return it == downloader->active().end() ? -1 : it->second;
    }
    std::string film(const std::string& key) const { return aerials.videosDir() + "/" + key + ".mov"; }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<Downloader> downloader;
    std::vector<std::string> finished;
    std::vector<std::string> states;
};

TEST_F(DownloaderTest, FiveStartedRunThreeAtATimeAndEachFinishStartsTheOldestWaiting) {
    downloader->start(std::vector<std::string>{"A", "B", "C", "D", "E"});
    EXPECT_EQ(seen(), "A B C/D E/0 0 5");
    EXPECT_EQ(states.size(), 1u);
    EXPECT_EQ(fake.http->requested, (std::vector<std::string>{address("A"), address("B"), address("C")}));
    EXPECT_TRUE(task("C")->started());
    EXPECT_EQ(task("C")->temporaryDirectory(), downloader->partialFolder());

    answer("B");
    EXPECT_EQ(readWholeFile(film("B")), "film B");
    EXPECT_EQ(seen(), "A C D/E/1 0 5");
    EXPECT_EQ(finished, std::vector<std::string>{"A C/D E/1 0 5"}) << "told before the next starts";
    answer("A", 404);
    EXPECT_EQ(seen(), "C D E//2 1 5");
    answer("C");
    answer("D");
    answer("E");
    EXPECT_EQ(seen(), "//0 0 0");
    EXPECT_EQ(finished.size(), 4u);
    EXPECT_EQ(finished.back(), "//5 1 5");
    EXPECT_EQ(states.size(), 6u);
    // The temporary files were renamed into place or removed; none is left beside the films.
    EXPECT_TRUE(fs::is_empty(downloader->partialFolder()));
    EXPECT_EQ(fs::path(downloader->partialFolder()).parent_path(),
              fs::path(aerials.videosDir()).parent_path());
}

// That the film is then stored under its upper-cased identifier, in every script, is the film
// link's test of the application delegate.
TEST_F(DownloaderTest, AnIdentifierIsQueuedOnceWhateverItsCaseAndHoweverOftenItIsStarted) {
    catalogue({"abc", "D"});
    downloader->start(std::vector<std::string>{"abc", "ABC", "aBc"});
    downloader->start(std::vector<std::string>{"Abc"});
    EXPECT_EQ(seen(), "ABC//0 0 1");
    EXPECT_EQ(fake.http->tasks().size(), 1u);
}

// Only a film answered with 200 is stored; every other outcome fails with one line saying why,
// and leaves the film missing so that it can be fetched again.
TEST_F(DownloaderTest, OnlyAFilmAnsweredWith200IsStoredAndEveryFailureSaysWhy) {
    struct Case {
        std::optional<int> status;
        std::string error;
        std::optional<std::string> body;
        std::string why; // empty: stored
    };
    const Case cases[] = {
        {200, "", "film A", ""},
        {206, "", "film A", "HTTP status 206"},
        {304, "", "film A", "HTTP status 304"},
        {200, "connection reset", "film A", "connection reset"},
        {std::nullopt, "timed out", std::nullopt, "timed out"},
        {200, "", std::nullopt, "no file arrived"},
        {200, "", "<html>Sign in to the network</html>", "not a film (no picture stream in "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        finished.clear();
        fake.log->clear();
        downloader->start(std::vector<std::string>{"A"});
        EXPECT_TRUE(downloader->failures().empty()) << "a new attempt clears the last one's failure";
        fake.http->answer(task("A"),
                          {c.error, c.status, c.body ? std::optional(bytes(*c.body)) : std::nullopt});
        fake.mainQueue->drain();
        const auto mark = downloader->failures().find("A");
        EXPECT_EQ(mark == downloader->failures().end() ? "" : mark->second.substr(0, c.why.size()), c.why);
        EXPECT_EQ(finished.size(), c.why.empty() ? 1u : 0u);
        EXPECT_EQ(fs::exists(film("A")) ? std::set<std::string>{"A"} : std::set<std::string>{},
                  library->onDiskIDs());
        EXPECT_EQ(states.back(), "//0 0 0");
        EXPECT_EQ(fake.log->lines().size(), c.why.empty() ? 0u : 1u);
        if (!c.why.empty()) {
            EXPECT_THAT(fake.log->lines().at(0),
                        ::testing::StartsWith("Drovane: download of A failed: " + c.why));
        }
        fs::remove(film("A"));
    }
    EXPECT_TRUE(fs::is_empty(downloader->partialFolder()));
}

TEST_F(DownloaderTest, CancellingFreesTheSlotLowersTheTotalAndNeverCountsAFailure) {
    catalogue({"A", "B", "C", "D", "E", "F"});
    downloader->start(std::vector<std::string>{"A", "B", "C", "D", "E", "F"});
    answer("A", 404);
    const auto runningB = task("B");
    downloader->cancel("F"); // a waiting item: the running ones go on
    EXPECT_EQ(seen(), "B C D/E/1 1 5");
    EXPECT_FALSE(task("F"));
    downloader->cancel("b");
    EXPECT_TRUE(runningB->cancelled());
    EXPECT_EQ(seen(), "C D E//1 1 4");

    // The cancelled transfer's completion still comes, even as a success, and changes nothing.
    const std::size_t before = states.size();
    fake.http->answer(runningB, {"", 200, bytes("film B")});
    fake.mainQueue->drain();
    downloader->cancel("UNKNOWN"); // neither queued nor running: nothing, not even a callback
    EXPECT_EQ(states.size(), before);
    EXPECT_FALSE(fs::exists(film("B")));

    downloader->cancelAll();
    EXPECT_EQ(seen(), "//0 0 0");
    EXPECT_EQ(states.size(), before + 1);
    EXPECT_TRUE(task("C")->cancelled() && task("D")->cancelled() && task("E")->cancelled());
    fake.http->answerAll();
    fake.mainQueue->drain();
    EXPECT_EQ(states.size(), before + 1);
    EXPECT_TRUE(finished.empty());
    EXPECT_TRUE(fs::is_empty(aerials.videosDir()));
}

TEST_F(DownloaderTest, AFilmStoredJustBeforeItsCancelReachedTheQueueStillSaysThatItLanded) {
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "cancel all" : "cancel one");
        finished.clear();
        fs::remove_all(aerials.videosDir());
        downloader->start(std::vector<std::string>{"A", "B"});
        // The network thread has stored the film; its finish has not reached the main thread.
        fake.http->answer(task("A"), {"", 200, bytes("film A")});
        all ? downloader->cancelAll() : downloader->cancel("A");
        fake.mainQueue->drain();
        ASSERT_TRUE(fs::exists(film("A")));
        EXPECT_EQ(finished.size(), 1u) << "whoever waits for a film must hear of it";
        EXPECT_EQ(downloader->done(), 0) << "a cancelled item is not counted";
        downloader->cancelAll();
        fake.http->answerAll();
        fake.mainQueue->drain();
    }
}

TEST_F(DownloaderTest, AFilmThatCannotBeStoredFailsWithTheLogLineAndLeavesNothingBehind) {
    downloader->start(std::vector<std::string>{"A"});
    aerials.addVideo("A.mov", "the system's own copy"); // arrived meanwhile: never overwritten
    answer("A");
    EXPECT_EQ(readWholeFile(film("A")), "the system's own copy");
    EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: cannot store A.mov: File exists"});
    EXPECT_EQ(downloader->failures().at("A"), "cannot store A.mov: File exists") << "logged once, shown too";

    fs::remove_all(aerials.videosDir()); // a file where the video folder should be
    fake.host->tree().write("home/Library/Application Support/com.apple.wallpaper/aerials/videos", "a file");
    downloader->start(std::vector<std::string>{"B"});
    answer("B");
    EXPECT_EQ(fake.log->countStartingWith("Drovane: cannot store B.mov: "), 1u);
    EXPECT_TRUE(finished.empty());
    EXPECT_EQ(states.back(), "//0 0 0");
    EXPECT_TRUE(fs::is_empty(downloader->partialFolder()));
}

TEST_F(DownloaderTest, LateCallbacksOfACancelledTransferNeverReachTheNextTransferOfTheSameFilm) {
    downloader->start(std::vector<std::string>{"A"});
    const auto first = task("A");
    downloader->cancel("A");
    downloader->start(std::vector<std::string>{"A"});
    const auto second = task("A");
    ASSERT_NE(first, second);

    progress(first, 0.5);
    EXPECT_EQ(fraction("A"), 0.0);
    // The first transfer's success arrives late: it neither stores nor finishes the second.
    fake.http->answer(first, {"", 200, bytes("stale")});
    fake.mainQueue->drain();
    EXPECT_FALSE(fs::exists(film("A")));
    EXPECT_EQ(seen(), "A//0 0 1");

    progress(second, 0.3);
    EXPECT_EQ(fraction("A"), 0.3);
    fake.http->answer(second, {"", 200, bytes("fresh")});
    fake.mainQueue->drain();
    EXPECT_EQ(readWholeFile(film("A")), "fresh");
    EXPECT_EQ(finished.size(), 1u);
}

// The empty identifier would be stored as ".mov", which the catalogue never reads as a film.
TEST_F(DownloaderTest, AnIdentifierThatCannotNameAFileInTheFolderIsNeverFetched) {
    catalogue({"../../ESCAPE", "", "A"});
    downloader->start(std::vector<std::string>{"../../escape", "", "A"});
    EXPECT_EQ(seen(), "A//0 0 1");
    EXPECT_EQ(fake.log->lines(),
              (std::vector<std::string>{"Drovane: cannot store ../../ESCAPE.mov: not a file name",
                                        "Drovane: cannot store .mov: not a file name"}));
}

TEST_F(DownloaderTest, CallbacksAfterTheQueueIsGoneDoNothing) {
    downloader->start(std::vector<std::string>{"A", "B"});
    const auto a = task("A");
    const auto b = task("B");
    fake.http->progress(a, 0.5);
    downloader.reset();
    EXPECT_TRUE(a->cancelled() && b->cancelled()) << "a queue that goes stops its transfers";
    fake.http->answer(b, {"", 200, bytes("film")});
    fake.mainQueue->drain();
    EXPECT_FALSE(fs::exists(film("B")));
    EXPECT_TRUE(states.size() == 1u && finished.empty());
}

// Sweeping the partial files a killed run left is the built program's own test.
TEST_F(DownloaderTest, PartialFilesOfAnEarlierRunAreRemovedAtCreation) {
    fake.host->tree().write(
        "home/Library/Application Support/com.apple.wallpaper/aerials/.drovane-partial/.drovane-x1",
        "half a film");
    auto again = Downloader::create(fake.platform(), library);
    EXPECT_TRUE(fs::is_empty(downloader->partialFolder()));
}

TEST_F(DownloaderTest, WithoutANetworkEveryItemFails) {
    fake.platform().http = nullptr;
    auto offline = Downloader::create(fake.platform(), library);
    int changes = 0;
    offline->onStateChanged = [&] { ++changes; };
    offline->start(std::vector<std::string>{"A"});
    EXPECT_EQ(offline->active().size(), 1u);
    fake.mainQueue->drain();
    EXPECT_TRUE(offline->active().empty());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: download of A failed: no network"});
}

} // namespace
} // namespace drovane