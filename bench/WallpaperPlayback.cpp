// Plays a film as wallpaper through the desktop backend, looping with cross-fades as the engine
// does, and reports the process's CPU time over a measured stretch of playback.
//
//   drovane_wallpaper_playback FILM [SECONDS] [WARMUP_SECONDS] [PAUSED_SECONDS]
//
// Prints one line: "cpu_seconds=... wall_seconds=... cpu_percent=... frames=... loops=... renderer=...",
// then, after pausing, "paused_cpu_seconds=... paused_seconds=... paused_cpu_percent=...".

#include "desktop/render/quick/QuickVideo.h"
#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/render/quick/QuickWindowServer.h"
#include "desktop/runtime/QtApplication.h"
#include "desktop/runtime/StderrLog.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

using namespace drovane;
using namespace drovane::desktop;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
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
            ready_ = true;
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

    bool ready_ = false;
    int loops = 0;

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
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILM [SECONDS] [WARMUP_SECONDS]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 30.0;
    const double warmup = argc > 3 ? std::atof(argv[3]) : 2.0;
    const double pausedSeconds = argc > 4 ? std::atof(argv[4]) : 10.0;
    auto application = sharedApplication(std::vector<std::string>(argv, argv + argc));
    auto platform = std::make_shared<Platform>();
    platform->log = std::make_shared<StderrLog>();
    installPlatform(platform);

    QuickWindowServer server(application);
    QuickVideo video(application, std::make_shared<StderrLog>());
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    auto window = server.makeWallpaperWindow(
        Rect{{double(g.x()), double(g.y())}, {double(g.width()), double(g.height())}});
    window->orderFront();

    std::atomic<long> frames{0};
    QString renderer = QStringLiteral("unknown");
    auto& quick = dynamic_cast<QuickWallpaperWindow&>(*window).quickWindow();
    QObject::connect(
        &quick, &QQuickWindow::frameSwapped, &quick, [&frames] { ++frames; }, Qt::DirectConnection);

    QObject::connect(
        &quick, &QQuickWindow::sceneGraphInitialized, &quick,
        [&renderer] {
            if (auto* context = QOpenGLContext::currentContext()) {
                renderer = QString::fromLatin1(
                    reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER)));
            }
        },
        Qt::DirectConnection);

    Looper looper(video, *window, Url::fromFilePath(argv[1]));
    looper.start();

    double cpuStart = 0;
    long framesStart = 0;
    QElapsedTimer wall;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!looper.ready_) {
            return;
        }
        poll.stop();
        QTimer::singleShot(static_cast<int>(warmup * 1000), [&] {
            cpuStart = cpuSeconds();
            framesStart = frames.load();
            wall.start();
            QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &poll, [&] {
                const double cpu = cpuSeconds() - cpuStart;
                const double elapsed = wall.nsecsElapsed() / 1e9;
                std::printf(
                    "cpu_seconds=%.2f wall_seconds=%.2f cpu_percent=%.1f frames=%ld loops=%d renderer=%s\n",
                    cpu, elapsed, 100.0 * cpu / elapsed, frames.load() - framesStart, looper.loops,
                    qPrintable(renderer));
                std::fflush(stdout);
                // Paused: nothing should run but the event loop waiting.
                looper.pause();
                QTimer::singleShot(1000, Qt::PreciseTimer, &poll, [&] {
                    cpuStart = cpuSeconds();
                    framesStart = frames.load();
                    wall.start();
                    QTimer::singleShot(static_cast<int>(pausedSeconds * 1000), Qt::PreciseTimer, &poll, [&] {
                        const double pausedCpu = cpuSeconds() - cpuStart;
                        const double pausedWall = wall.nsecsElapsed() / 1e9;
                        std::printf("paused_cpu_seconds=%.3f paused_seconds=%.2f paused_cpu_percent=%.2f "
                                    "paused_frames=%ld\n",
                                    pausedCpu, pausedWall, 100.0 * pausedCpu / pausedWall,
                                    frames.load() - framesStart);
                        std::fflush(stdout);
                        QCoreApplication::quit();
                    });
                });
            });
        });
    });
    poll.start();
    QTimer::singleShot(static_cast<int>((seconds + warmup + pausedSeconds + 30) * 1000), [] {
        std::fprintf(stderr, "Drovane: the film never showed\n");
        QCoreApplication::exit(1);
    });
    return application->exec();
}
