#include "SampleLibraryE2E.h"

#include <csignal>
#include <mutex>

namespace drovane::e2e {
namespace {

using Answer = std::function<void(const std::string& film, httplib::Response&)>;

// A folder's regular files, name to bytes.
std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename()] = readFile(entry.path());
        }
    }
    return files;
}

// The program fetching a film through a link on its command line from a server of the test's
// own, which answers each request as the running case says.
class DownloadFaultsTest : public SampleLibraryE2ETest {
protected:
    DownloadFaultsTest() {
        std::string catalogue = readFile(manifest());
        const std::string theirs = s_server->url("/videos/");
        for (auto at = catalogue.find(theirs); at != std::string::npos; at = catalogue.find(theirs, at)) {
            catalogue.replace(at, theirs.size(), faults.url("/videos/"));
        }
        std::ofstream(manifest(), std::ios::binary | std::ios::trunc) << catalogue;
        faults.server.Get(R"(/videos/([0-9A-F-]+)\.mov)", [this](const httplib::Request& request,
                                                                 httplib::Response& response) {
            Answer now;
            {
                std::lock_guard lock(m_mutex);
                now = m_answer;
            }
            now(readFile(*s_sample / ("server/videos/" + request.matches[1].str() + ".mov")), response);
        });
        faults.start();
    }

    // From now on the server answers with `answer`; a stalled answer of the case before ends.
    void answerWith(Answer answer) {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
        ++m_case;
    }
    // Holds the connection open until the test moves on to another answer.
    void holdUntilTheNextCase() {
        const int held = m_case;
        faults.waitUntil([&] { return m_case != held; }, 60s);
    }
    std::string partialFolder() const { return fs::path(videos()).parent_path() / ".drovane-partial"; }

    // Yosemite: missing from the sample home.
    const std::string film = "1E2D3C4B-5A69-4788-96A5-B4C3D2E1F001";
    // A film of the sample home: what the system's own download of a film would have stored.
    const std::string other = "B2A4C1F0-77E1-4D1E-9A55-2A8F0C1D3E01";

private:
    std::mutex m_mutex;
    Answer m_answer;
    std::atomic<int> m_case{0};

protected:
    desktop::LoopbackServer faults;
};

// A body of `size` bytes announced and only the first `sent` of them sent before the server
// closes the connection.
void cutShort(const std::string& film, httplib::Response& response, std::size_t sent) {
    response.set_content_provider(film.size(), "video/quicktime",
                                  [film, sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                      if (offset >= sent) {
                                          return false;
                                      }
                                      sink.write(film.data() + offset,
                                                 std::min<std::size_t>(65536, sent - offset));
                                      return true;
                                  });
}

TEST_F(DownloadFaultsTest, AFailedDownloadLeavesTheFilmsThereWereAndTheProgramRunning) {
    const std::string placed = videos() + "/" + film + ".mov";
    const struct Fault {
        const char* server;
        Answer answer;
        // The line the program logs, after "Drovane: " and the film's identifier.
        std::string logged;
        std::map<std::string, std::string> environment = {};
    } faultsTable[] = {
        {"closes the connection half-way through the body",
         [](const std::string& body, httplib::Response& response) {
             cutShort(body, response, body.size() / 2);
         },
         " failed: transfer closed with "},
        {"sends a body 100 bytes short of its length",
         [](const std::string& body, httplib::Response& response) {
             cutShort(body, response, body.size() - 100);
         },
         " failed: transfer closed with 100 bytes remaining to read"},
        {"ends a chunked body without its last chunk",
         [](const std::string& body, httplib::Response& response) {
             response.set_chunked_content_provider("video/quicktime",
                                                   [body](std::size_t offset, httplib::DataSink& sink) {
                                                       if (offset >= body.size() / 2) {
                                                           return false;
                                                       }
                                                       sink.write(body.data() + offset, body.size() / 2);
                                                       return true;
                                                   });
         },
         " failed: transfer closed with outstanding read data remaining"},
        {"answers 404",
         [](const std::string&, httplib::Response& response) {
             response.status = 404;
             response.set_content("Not Found", "text/plain");
         },
         " failed: HTTP status 404"},
        {"stalls past the low-speed limit",
         [this](const std::string& body, httplib::Response& response) {
             response.set_content_provider(
                 body.size(), "video/quicktime",
                 [this, body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                     if (offset == 0) {
                         sink.write(body.data(), 65536);
                         return true;
                     }
                     holdUntilTheNextCase();
                     return false;
                 });
         },
         " failed: Operation too slow.",
         {{"DROVANE_LOW_SPEED_SECONDS", "3"}}},
        {"answers 200 with a sign-in page",
         [](const std::string&, httplib::Response& response) {
             response.set_content("<html><body><form>Sign in to continue</form></body></html>", "text/html");
         },
         " failed: not a film (cannot open "},
        {"answers 200 with the film's first half, announced as all of it",
         [](const std::string& body, httplib::Response& response) {
             response.set_content(body.substr(0, body.size() / 2), "video/quicktime");
         },
         " failed: not a film (cut short: "},
        // Last: the film is on disk afterwards. It lands while the transfer runs, from the system's
        // own download, say; the program's must not replace it.
        {"sends the film while one of its name lands in the video folder",
         [this, placed](const std::string& body, httplib::Response& response) {
             fs::copy_file(videos() + "/" + other + ".mov", placed);
             response.set_content(body, "video/quicktime");
         },
         ".mov: File exists"},
    };
    for (const Fault& fault : faultsTable) {
        SCOPED_TRACE(std::string("the server ") + fault.server);
        answerWith(fault.answer);
        const auto before = filesIn(videos());
        auto drovane = program({"drovane://film/" + film}, fault.environment);
        const auto line = drovane.waitForLine(
            [&](const std::string& l) {
                return l.starts_with("Drovane: download of " + film + " failed: ") ||
                       l.starts_with("Drovane: cannot store " + film + ".mov: ");
            },
            60s);
        ASSERT_TRUE(line) << testing::PrintToString(drovane.lines());
        EXPECT_NE(line->find(film + fault.logged), std::string::npos) << *line;
        EXPECT_FALSE(drovane.waitForExit(300ms)) << "the program runs on";

        auto expected = before;
        if (fs::exists(placed)) {
            expected[film + ".mov"] = readFile(videos() + "/" + other + ".mov");
        }
        EXPECT_EQ(filesIn(videos()), expected) << "only the films there were, byte for byte";
        EXPECT_TRUE(filesIn(partialFolder()).empty()) << "nothing is left aside";
    }
    EXPECT_TRUE(fs::exists(placed)) << "the case that places the film ran";
}

TEST_F(DownloadFaultsTest, AKillMidDownloadLeavesOnlyWholeFilmsAndTheNextLaunchSweepsThePart) {
    const std::string body = readFile(*s_sample / ("server/videos/" + film + ".mov"));
    const std::size_t half = body.size() / 2;
    answerWith([this, half](const std::string& whole, httplib::Response& response) {
        response.set_content_provider(
            whole.size(), "video/quicktime",
            [this, half, whole](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < half) {
                    sink.write(whole.data() + offset, half - offset);
                    return true;
                }
                holdUntilTheNextCase();
                return false;
            });
    });
    const auto before = filesIn(videos());
    {
        auto drovane = program({"drovane://film/" + film});
        ASSERT_TRUE(eventually([&] {
            const auto part = filesIn(partialFolder());
            return part.size() == 1 && part.begin()->second.size() == half;
        })) << testing::PrintToString(drovane.lines());
        drovane.signal(SIGKILL);
        drovane.waitForExit(10s);
    }
    EXPECT_EQ(filesIn(videos()), before);
    const auto left = filesIn(partialFolder());
    ASSERT_EQ(left.size(), 1u);
    const std::string leftName = left.begin()->first;
    EXPECT_EQ(left.begin()->second, body.substr(0, half)) << "the part that arrived, aside";

    // The next launch sweeps the part away and fetches the film whole.
    answerWith([](const std::string& whole, httplib::Response& response) {
        response.set_content(whole, "video/quicktime");
    });
    auto next = program({"drovane://film/" + film});
    auto expected = before;
    expected[film + ".mov"] = body;
    EXPECT_TRUE(eventually([&] { return filesIn(videos()) == expected; }))
        << testing::PrintToString(next.lines());
    EXPECT_FALSE(fs::exists(partialFolder() + "/" + leftName));
    EXPECT_TRUE(filesIn(partialFolder()).empty());
    EXPECT_FALSE(next.waitForExit(300ms));
}

} // namespace
} // namespace drovane::e2e
