#include "ui/DesktopStill.h"

#include "support/AtomicFile.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

namespace drovane::DesktopStill {

namespace {

// What the background queue hands back: the written file, or why there is none.
struct Outcome {
    std::optional<std::string> path;
    std::string error;
};

Outcome makeStill(Images& images, const std::string& filmPath, Size size, const std::string& target) {
    const int width = std::max(1, static_cast<int>(std::lround(size.width)));
    const int height = std::max(1, static_cast<int>(std::lround(size.height)));
    FrameResult frame =
        images.extractFrame(filmPath, stillTime, stillTolerance, stillTolerance, width, height);
    if (!frame.image) {
        return {std::nullopt, frame.error.empty() ? "no frame" : frame.error};
    }
    auto jpeg = images.encodeJpeg(*frame.image, jpegQuality);
    if (!jpeg) {
        return {std::nullopt, "the frame could not be encoded"};
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ec);
    if (auto error = writeFileAtomically(
            target, std::string_view(reinterpret_cast<const char*>(jpeg->data()), jpeg->size()))) {
        return {std::nullopt, *error};
    }
    return {target, {}};
}

} // namespace

Size largestScreen(const std::vector<Rect>& screens) {
    Size best{1920, 1080};
    double bestArea = -1;
    for (const Rect& screen : screens) {
        const double area = screen.size.width * screen.size.height;
        if (area > bestArea) {
            best = screen.size;
            bestArea = area;
        }
    }
    return best;
}

std::string stillPath(const std::string& folder, const std::string& filmPath) {
    return (std::filesystem::path(folder) / std::filesystem::path(filmPath).stem()).string() + ".jpg";
}

namespace {

void makeStillThen(const Platform& platform, const std::string& filmPath, bool setIt) {
    if (!platform.desktopBackground || !platform.images) {
        return;
    }
    const Size size = largestScreen(platform.screens ? platform.screens->frames() : std::vector<Rect>{});
    const std::string target = stillPath(platform.desktopBackground->pictureFolder(), filmPath);
    auto queue = platform.taskQueues->make("app.drovane.desktop-still", 1, QualityOfService::UserInitiated);
    // The queue lives until its one piece of work is done, and goes on the main thread.
    queue->async([platform, filmPath, size, target, setIt, queue]() mutable {
        Outcome outcome = makeStill(*platform.images, filmPath, size, target);
        platform.mainQueue->post([platform, filmPath, outcome, setIt, queue = std::move(queue)] {
            if (!outcome.path) {
                platform.log->line("Drovane: no desktop background from " + filmPath + ": " + outcome.error);
                return;
            }
            std::weak_ptr<Workspace> weakWorkspace = platform.workspace;
            auto reveal = [weakWorkspace, path = *outcome.path] {
                if (auto workspace = weakWorkspace.lock()) {
                    workspace->revealFiles({path});
                }
            };
            if (!setIt) {
                reveal();
                return;
            }
            std::weak_ptr<Log> weakLog = platform.log;
            platform.desktopBackground->setPicture(
                *outcome.path, [weakLog, reveal, path = *outcome.path](bool applied) {
                    if (applied) {
                        return;
                    }
                    if (auto log = weakLog.lock()) {
                        log->line("Drovane: the desktop did not take " + path + " as its background");
                    }
                    reveal();
                });
        });
    });
}

} // namespace

void useAsDesktopBackground(const Platform& platform, const std::string& filmPath) {
    makeStillThen(platform, filmPath, true);
}

void saveAndReveal(const Platform& platform, const std::string& filmPath) {
    makeStillThen(platform, filmPath, false);
}

} // namespace drovane::DesktopStill
