#include "SampleLibraryE2E.h"

#include <unistd.h>

namespace drovane::e2e {
namespace {

// What the kernel says of a running process: its CPU time so far and its threads.
struct Usage {
    double cpuSeconds = 0;
    int threads = 0;
};

std::optional<Usage> usageOf(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid);
    const std::string stat = readFile(dir + "/stat");
    // The fields after the command name, which may hold spaces, start after its ')'.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    Usage usage;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 20 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        } else if (i == 20) {
            usage.threads = std::stoi(field);
        }
    }
    usage.cpuSeconds = double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
    return usage.threads > 0 ? std::optional(usage) : std::nullopt;
}

// The playing film cut to its first few kilobytes: the header says twenty seconds, the pictures
// end almost at once.
class TruncatedFilmTest : public SampleLibraryE2ETest, public testing::WithParamInterface<int> {};

// Such a film once made the program make players as fast as they could end, for good: 1.7
// cores, 166 threads, 600 MB, and not a line said.
TEST_P(TruncatedFilmTest, ATruncatedFilmLeavesCpuAndThreadsFlatAndIsToldOnce) {
    fs::path film;
    for (const auto& entry : fs::directory_iterator(videos())) {
        film = entry.path();
    }
    ASSERT_FALSE(film.empty());
    fs::resize_file(film, std::uintmax_t(GetParam()) * 1024);

    auto drovane = program({film.string()});
    std::vector<Usage> seconds;
    for (int second = 0; second <= 30; ++second) {
        std::this_thread::sleep_for(1s);
        const auto usage = usageOf(drovane.pid());
        ASSERT_TRUE(usage) << "the program ended: " << testing::PrintToString(drovane.lines());
        seconds.push_back(*usage);
    }
    // A retry makes a new set of players for a moment: the middle of each stretch is compared.
    const auto typicalThreads = [&](int from, int to) {
        std::vector<int> threads;
        for (int s = from; s <= to; ++s) {
            threads.push_back(seconds[s].threads);
        }
        std::nth_element(threads.begin(), threads.begin() + threads.size() / 2, threads.end());
        return threads[threads.size() / 2];
    };
    std::string threads;
    for (const auto& usage : seconds) {
        threads += std::to_string(usage.threads) + " ";
    }
    const double cores = (seconds[30].cpuSeconds - seconds[10].cpuSeconds) / 20.0;
    // Standing still it needs next to nothing (0.03 of a core with a retry); spinning, it took
    // 0.4 of a core on a busy machine and 1.7 on an idle one.
    EXPECT_LT(cores, 0.2) << "it keeps working";
    EXPECT_LE(typicalThreads(20, 30), typicalThreads(5, 15) + 4) << "its threads keep growing: " << threads;

    const std::string said = "Drovane: cannot play " + film.string() + ": ";
    drovane.waitForLine("(the log so far)", 200ms);
    std::size_t told = 0;
    for (const auto& line : drovane.lines()) {
        told += line.starts_with(said);
    }
    EXPECT_EQ(told, 1u) << testing::PrintToString(drovane.lines());
}

INSTANTIATE_TEST_SUITE_P(Kilobytes, TruncatedFilmTest, testing::Values(10, 20, 30));

} // namespace
} // namespace drovane::e2e
