#pragma once

#include "library/EngineState.h"
#include "platform/Subscription.h"
#include "platform/SystemEvents.h"
#include "platform/Url.h"
#include "platform/Video.h"
#include "platform/WindowServer.h"
#include "playback/PlaybackRule.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace drovane {

class Library;
class Log;
class MainQueue;
class PowerMonitor;
class Screens;
struct Platform;

// The wallpaper engine: one desktop-level window, player and layer per screen, all showing the
// same muted film, looping and changing films by cross-fades, paused by the playback rule when
// nobody can see it or the machine should be spared. Main thread only.
class AppModel : public EngineState, public std::enable_shared_from_this<AppModel> {
    struct Passkey {};

public:
    // How long a film must be to loop, and how early before its end the next loop starts.
    static constexpr double minimumLoopDuration = 3.0;
    static constexpr double loopLeadTime = 1.5;
    // The boundary time is expressed in 1/600 s, as film time bases are.
    static constexpr int boundaryTimeScale = 600;
    static constexpr double fadeInDuration = 1.5;
    static constexpr double forwardBufferSeconds = 8.0;
    // How long a window must stay covered before its player pauses.
    static constexpr double occlusionDelay = 1.5;
    // How long a playing player may go without a picture before its film counts as unplayable.
    static constexpr double firstFrameTimeout = 10.0;
    // After a film failed, the engine tries it again after this long, twice as long after each
    // failure in a row, up to the maximum: no failure can make it make players in a loop.
    static constexpr double retryDelay = 10.0;
    static constexpr double maximumRetryDelay = 600.0;

    // A new engine on the platform's screens, windows, video and machine state, playing films
    // of `library`, with its download queue.
    static std::shared_ptr<AppModel> create(const Platform& platform, std::shared_ptr<const Library> library);
    AppModel(Passkey, const Platform& platform, std::shared_ptr<const Library> library);
    ~AppModel() override;
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // One per screen, at the same indices, in the order of the screen list at the last build.
    std::vector<std::shared_ptr<WallpaperWindow>> windows;
    std::vector<std::shared_ptr<Player>> players;
    std::vector<std::shared_ptr<PlayerLayer>> layers;

    // The playback rule's inputs; the power monitor keeps them current.
    bool lowPower = false;
    ThermalState thermal = ThermalState::Nominal;
    bool displayAsleep = false;
    bool lockActive = false;
    bool saverActive = false;

    // Called with the throttled flag after every evaluation of the playback rule.
    std::function<void(bool throttled)> onThrottledChanged;
    // Called after every evaluation and after every film change.
    std::function<void()> onStateChanged;
    // Called with the new film when one is chosen through switchVideo().
    std::function<void(const Url&)> onFilmChanged;

    // The watcher of the machine's state, made on first use.
    PowerMonitor& powerMonitor();

    // Tears every wallpaper window down and builds one per current screen for videoURL.
    void buildWindows();
    // Makes `film` the current film, stores the choice, announces it and shows it.
    void switchVideo(const Url& film);
    // Plays the catalogue's first film when no film is set.
    void adoptFirstVideoIfNeeded();
    // Switches to a random film other than the current one and those whose files are at
    // `avoiding` (films about to be deleted).
    void shuffleNext(const std::vector<std::string>& avoiding = {});
    // What shuffleNext draws from; a test seeds it so that a run can be replayed.
    std::mt19937 shuffleGenerator{std::random_device{}()};
    // Shows no film any more and forgets the choice.
    void clearVideo();

    // Applies the playback rule to every player and reports the throttled flag.
    void updatePlayback();
    // Whether `player` may play now.
    bool shouldPlay(const Player& player) const;

    // The desktopNotice when `program`'s own desktop hides the wallpaper.
    static std::string hidingNotice(const std::string& program);

private:
    struct FadeWait;

    std::pair<std::shared_ptr<Player>, std::shared_ptr<PlayerLayer>> makePlayer(const Url& film, Size size,
                                                                                VideoGravity gravity);
    VideoGravity gravityFor(const Url& film) const;
    // Installs the loop observer once the player's duration is known.
    void setUpLoop(const std::shared_ptr<Player>& player);
    void loopBoundaryReached(const std::shared_ptr<Player>& player, double boundary);
    // The current film cannot be played by `player`: says so once, stops its players where they
    // stand and tries it again after the back-off.
    void filmFailed(const Player& player, const std::string& reason);
    // Gives each playing player whose layer has no picture yet a deadline for its first frame.
    void watchFirstFrames();
    // A new set of players replaces the current one: pending retries and deadlines are void.
    void beginPlayers();
    // The current film plays once and stands on its last frame: says so, once per choice.
    void tooShortToLoop(const std::string& length);
    // A film as log lines name it, and a length of time in them.
    static std::string filmPath(const Url& film);
    static std::string seconds(double value);
    // Replaces every window's player and layer with new ones for `film`, fading them in.
    void crossfade(const Url& film);
    // Makes `layer` transparent at once and fades it in once it shows a frame, then `then`.
    void fadeIn(const std::shared_ptr<PlayerLayer>& layer, std::function<void()> then = {});
    static void animateIn(const std::shared_ptr<PlayerLayer>& layer, std::function<void()> then);
    // Stops `player` and removes its loop observer.
    void retire(const std::shared_ptr<Player>& player);
    // Retires an outgoing player and forgets it.
    void retireOutgoing(const std::shared_ptr<Player>& player);
    // Retires the outgoing players of `window` that cross-fade `crossfade` or an earlier one left
    // under the layer that has just faded in there, and takes their layers out. Cross-fades are
    // numbered for the engine's whole life, so a late fade from before a rebuild, whose window
    // may be gone, matches nothing made after it.
    void retireCovered(const WallpaperWindow* window, std::uint64_t crossfade);
    // Forgets the fade waits that fired or whose layer is gone.
    void pruneFades();
    void observeOcclusion();
    // Reads which program's desktop hides the wallpaper into desktopNotice; logs each one once.
    void noteHidingProgram();
    bool contains(const Player& player) const;
    // The rule's inputs now, one visibility per player.
    PlaybackRule::Inputs playbackInputs() const;

    // A player replaced by a cross-fade whose successor has not faded in yet, its layer, the
    // window it shows in (for identity only: a rebuild ends every outgoing player with its window)
    // and the cross-fade that replaced it, counted from 1.
    struct Outgoing {
        std::shared_ptr<Player> player;
        std::shared_ptr<PlayerLayer> layer;
        const WallpaperWindow* window = nullptr;
        std::uint64_t crossfade = 0;
    };

    std::vector<std::pair<std::shared_ptr<Player>, Subscription>> m_ends;
    std::vector<std::pair<std::weak_ptr<Player>, Subscription>> m_failureWatches;
    // Players given a deadline for their first frame, while they play.
    std::vector<std::pair<std::weak_ptr<Player>, std::uint64_t>> m_frameDeadlines;
    std::uint64_t m_nextFrameDeadline = 0;
    // Counts the sets of players made, so that a retry or deadline of an earlier set does nothing.
    std::uint64_t m_playerSet = 0;
    // The current players failed and wait for the retry.
    bool m_failed = false;
    // Failures of the current film in a row; only the first is logged.
    int m_failures = 0;
    // The current film was said to be too short to loop.
    bool m_shortReported = false;
    // Fade-ins waiting for a first frame; a wait lives as long as its layer.
    std::vector<std::weak_ptr<FadeWait>> m_fades;
    std::vector<Outgoing> m_outgoing;
    std::uint64_t m_crossfades = 0;
    PlaybackRule m_rule;
    std::vector<Subscription> m_observers;
    std::unique_ptr<PowerMonitor> m_powerMonitor;
    std::set<std::string> m_toldHiding;

    const std::shared_ptr<const Library> m_library;
    const std::shared_ptr<MainQueue> m_mainQueue;
    const std::shared_ptr<Log> m_log;
    const std::shared_ptr<Screens> m_screens;
    const std::shared_ptr<WindowServer> m_windowServer;
    const std::shared_ptr<Video> m_video;
    const std::shared_ptr<SystemEvents> m_systemEvents;
};

} // namespace drovane
