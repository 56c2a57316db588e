// Plays a film as wallpaper on every screen through the desktop backend, looping with
// cross-fades as the engine does (each screen its own player), for bench/wallpaper-cpu.
//
//   drovane_wallpaper_playback FILM PLAY_SECONDS PAUSED_SECONDS [MEMORY_LOOPS]
//
// The renderer is chosen as the program chooses it (DROVANE_RENDERER overrides; "stream"
// publishes each screen as a PipeWire stream, printing "node_id=..." for each, whose pictures
// flow once a consumer takes them; "layer-shell" draws on the background layer of the Wayland
// compositor of WAYLAND_DISPLAY). Prints, one line each: "renderer=...", "first_frame_seconds=..."
// (process start to the first frame drawn), then after PLAY_SECONDS of playback "frames=...
// loops=...", then pauses and after PAUSED_SECONDS "paused_cpu_percent=... paused_frames=...",
// and exits. With MEMORY_LOOPS it
// instead prints "rss_kib_after_5=..." and "rss_kib_after_N=..." and exits after N loops.

#include "desktop/render/quick/QuickVideo.h"
#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/render/software/SoftwareVideo.h"
#include "desktop/render/software/SoftwareWallpaperWindow.h"
#include "desktop/render/stream/StreamWallpaperWindow.h"
#include "desktop/render/stream/StreamWindowServer.h"
#include "desktop/runtime/HeapTuning.h"
#include "desktop/runtime/QtApplication.h"
#include "desktop/runtime/RendererChoice.h"
#include "desktop/runtime/StderrLog.h"
#include "desktop/wayland/LayerWallpaperWindow.h"
#include "desktop/wayland/LayerWindowServer.h"
#include "desktop/wayland/WaylandConnection.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

using namespace drovane;
using namespace drovane::desktop;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// Seconds since this process started.
double sinceStart() {
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && stat >> field; ++i) {
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec + now.tv_nsec / 1e9 - std::stod(field) / sysconf(_SC_CLK_TCK);
}

long residentKib() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The engine's loop on one screen: 1.5 s before the end a fresh player fades in over the old
// one, which goes when the fade has finished.
class Looper {
public:
    Looper(Video& video, WallpaperWindow& window, Url film)
        : m_video(video), m_window(window), m_film(film) {}

    void start() {
        auto player = m_video.makePlayer(m_film, 8.0);
        auto layer =
            m_video.makeLayer(player, Rect{{0, 0}, m_window.frame().size}, VideoGravity::ResizeAspectFill);
        m_window.contentLayer()->addSublayer(layer);
        layer->setOpacity(0);
        auto oldPlayer = m_player;
        auto oldLayer = m_layer;
        m_player = player;
        m_layer = layer;
        m_readiness = layer->observeReadyForDisplay([this, layer, oldPlayer, oldLayer](bool ready) {
            if (!ready) {
                return;
            }
            if (!shown && onFirstFrame) {
                onFirstFrame();
            }
            shown = true;
            layer->animateOpacity(1.0, 1.5, [oldPlayer, oldLayer] {
                if (oldPlayer) {
                    oldPlayer->pause();
                }
                if (oldLayer) {
                    oldLayer->detachPlayer();
                    oldLayer->removeFromSuperlayer();
                }
            });
        });
        player->loadDuration([this, weak = std::weak_ptr<Player>(player)](std::optional<double> duration) {
            auto current = weak.lock();
            if (!duration || *duration <= 3.0 || !current || current != m_player) {
                return;
            }
            m_boundary = current->addBoundaryTimeObserver({*duration - 1.5}, [this] {
                ++loops;
                if (onLoop) {
                    onLoop();
                }
                start();
            });
        });
        player->setRate(1.0);
    }

    void pause() {
        if (m_player) {
            m_player->pause();
        }
    }

    bool shown = false;
    int loops = 0;
    std::function<void()> onFirstFrame;
    std::function<void()> onLoop;

private:
    Video& m_video;
    WallpaperWindow& m_window;
    Url m_film;
    std::shared_ptr<Player> m_player;
    std::shared_ptr<PlayerLayer> m_layer;
    Subscription m_readiness;
    Subscription m_boundary;
};

} // namespace

int main(int argc, char** argv) {
    if (answerGlProbe(argc, argv)) {
        return 0;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILM PLAY_SECONDS PAUSED_SECONDS [MEMORY_LOOPS]\n", argv[0]);
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const double pausedSeconds = std::atof(argv[3]);
    const int memoryLoops = argc > 4 ? std::atoi(argv[4]) : 0;
    // As the program does.
    tuneHeapForVideo();
    auto application = sharedApplication(std::vector<std::string>(argv, argv + argc));
    auto log = std::make_shared<StderrLog>();
    auto platform = std::make_shared<Platform>();
    platform->log = log;
    installPlatform(platform);

    const char* override = std::getenv("DROVANE_RENDERER");
    const bool stream = override && std::string(override) == "stream";
    const bool layerShell = override && std::string(override) == "layer-shell";
    const RendererChoice choice =
        stream       ? RendererChoice{Renderer::Software, "streamed"}
        : layerShell ? RendererChoice{Renderer::Software, "layer shell"}
                     : chooseRenderer(override ? std::optional<std::string>(override) : std::nullopt,
                                      probeGlRendererApart);
    log->line(rendererLogLine(choice));
    std::shared_ptr<WindowServer> server;
    std::unique_ptr<Video> video;
    std::vector<Rect> screenFrames;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        screenFrames.push_back(Rect{{double(g.x()), double(g.y())}, {double(g.width()), double(g.height())}});
    }
    if (stream) {
        auto streams = StreamWindowServer::open(log);
        if (!streams) {
            return 1;
        }
        streams->onStreamsChanged = [](const std::vector<ScreenStream>& published) {
            for (const ScreenStream& s : published) {
                std::printf("node_id=%u\n", s.nodeId);
            }
            std::fflush(stdout);
        };
        server = streams;
        video = std::make_unique<SoftwareVideo>(log);
    } else if (layerShell) {
        auto connection = wayland::WaylandConnection::open(log);
        if (!connection || !connection->hasLayerShell()) {
            std::fprintf(stderr, "no Wayland compositor with the layer shell\n");
            return 1;
        }
        connection->startDispatching();
        screenFrames = wayland::WaylandScreens(connection).frames();
        server = std::make_unique<wayland::LayerWindowServer>(connection);
        video = std::make_unique<SoftwareVideo>(log);
    } else if (choice.renderer == Renderer::Software) {
        server = std::make_unique<SoftwareWindowServer>(application);
        video = std::make_unique<SoftwareVideo>(log);
    } else {
        server = std::make_unique<QuickWindowServer>(application);
        video = std::make_unique<QuickVideo>(application, log);
    }
    std::printf("renderer=%s\n", stream                                  ? "stream"
                                 : layerShell                            ? "layer-shell"
                                 : choice.renderer == Renderer::Software ? "software"
                                                                         : "gl");

    std::atomic<long> quickFrames{0};
    std::vector<std::shared_ptr<WallpaperWindow>> windows;
    std::vector<std::unique_ptr<Looper>> loopers;
    for (const Rect& frame : screenFrames) {
        auto window = server->makeWallpaperWindow(frame);
        if (auto* quick = dynamic_cast<QuickWallpaperWindow*>(window.get())) {
            QObject::connect(
                &quick->quickWindow(), &QQuickWindow::frameSwapped, &quick->quickWindow(),
                [&quickFrames] { ++quickFrames; }, Qt::DirectConnection);
        }
        window->orderFront();
        loopers.push_back(std::make_unique<Looper>(*video, *window, Url::fromFilePath(argv[1])));
        windows.push_back(std::move(window));
    }
    auto framesDrawn = [&] {
        long frames = quickFrames.load();
        for (auto& window : windows) {
            if (auto* software = dynamic_cast<SoftwareWallpaperWindow*>(window.get())) {
                frames += software->presentedFrames();
            } else if (auto* streamed = dynamic_cast<StreamWallpaperWindow*>(window.get())) {
                frames += streamed->presentedFrames();
            } else if (auto* layer = dynamic_cast<wayland::LayerWallpaperWindow*>(window.get())) {
                frames += layer->presentedFrames();
            }
        }
        return frames;
    };

    Looper& first = *loopers.front();
    first.onFirstFrame = [] {
        std::printf("first_frame_seconds=%.3f\n", sinceStart());
        std::fflush(stdout);
    };
    if (memoryLoops > 0) {
        first.onLoop = [&] {
            if (first.loops == 5 || first.loops == memoryLoops) {
                std::printf("rss_kib_after_%d=%ld\n", first.loops, residentKib());
                std::fflush(stdout);
            }
            if (first.loops == memoryLoops) {
                QCoreApplication::quit();
            }
        };
    }
    for (auto& looper : loopers) {
        looper->start();
    }
    if (memoryLoops > 0) {
        return application->exec();
    }

    const long framesAtStart = framesDrawn();
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, [&] {
        std::printf("frames=%ld loops=%d\n", framesDrawn() - framesAtStart, first.loops);
        for (auto& looper : loopers) {
            looper->pause();
        }
        // Paused: nothing may run but the event loop waiting. A fade that was running ends first.
        QTimer::singleShot(2000, Qt::PreciseTimer, [&] {
            const double cpuStart = cpuSeconds();
            const long framesPaused = framesDrawn();
            std::printf("paused_start\n");
            std::fflush(stdout);
            QElapsedTimer wall;
            wall.start();
            QTimer::singleShot(
                static_cast<int>(pausedSeconds * 1000), Qt::PreciseTimer, [&, cpuStart, framesPaused, wall] {
                    const double elapsed = wall.nsecsElapsed() / 1e9;
                    std::printf("paused_cpu_percent=%.2f paused_frames=%ld\n",
                                100.0 * (cpuSeconds() - cpuStart) / elapsed, framesDrawn() - framesPaused);
                    std::fflush(stdout);
                    QCoreApplication::quit();
                });
        });
    });
    return application->exec();
}
