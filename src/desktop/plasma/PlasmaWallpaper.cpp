#include "desktop/plasma/PlasmaWallpaper.h"

#include "desktop/plasma/TerminationRelay.h"
#include "platform/Log.h"
#include "support/AtomicFile.h"
#include "support/Files.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace drovane::desktop {

namespace {

// How long quitting waits for plasmashell to take its wallpapers back.
constexpr int giveBackTimeoutMs = 4000;
// plasmashell writes its configuration in bursts; one look after they end.
constexpr int settleMs = 800;
// How long the desktops keep the plugin without any stream to show.
constexpr int absentMs = 3000;

QDBusMessage scriptCall(const QString& script) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
        QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"));
    call << script;
    return call;
}

} // namespace

PlasmaWallpaper::PlasmaWallpaper(QDBusConnection bus, std::string memoryPath, QString shellConfigPath,
                                 std::shared_ptr<Log> log)
    : m_bus(std::move(bus)), m_memoryPath(std::move(memoryPath)),
      m_shellConfigPath(std::move(shellConfigPath)), m_log(std::move(log)),
      m_context(std::make_unique<QObject>()) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { checkStillChosen(); });
    m_absent.setSingleShot(true);
    m_absent.setInterval(absentMs);
    connect(&m_absent, &QTimer::timeout, this, [this] {
        if (m_streams.empty() && !m_busy) {
            giveBack();
        }
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { watchShellConfig(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { watchShellConfig(); });
}

PlasmaWallpaper::~PlasmaWallpaper() {
    m_relay.reset();
    giveBack();
}

void PlasmaWallpaper::show(std::vector<ScreenStream> streams) {
    m_streams = std::move(streams);
    if (m_released) {
        return;
    }
    if (m_streams.empty()) {
        if (isWallpaper()) {
            m_absent.start();
        }
        return;
    }
    m_absent.stop();
    if (m_busy) {
        m_again = true;
        return;
    }
    takeOver();
}

void PlasmaWallpaper::takeOver() {
    m_busy = true;
    m_again = false;
    evaluate(plasma::readScript(), [this](std::optional<QString> printed, QString error) {
        auto desktops = printed ? plasma::parseDesktops(*printed) : std::nullopt;
        if (!desktops) {
            m_log->line("Drovane: plasmashell did not list its desktops, so the film is not its wallpaper: " +
                        (printed ? std::string("an answer of another form") : error.toStdString()));
            m_busy = false;
            return;
        }
        const auto nodes = plasma::streamsFor(*desktops, m_streams);
        // Kept before anything is replaced: a crash from here on still finds it.
        const auto remembered = plasma::remember(*desktops, nodes, loadRemembered());
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(m_memoryPath).parent_path(), ec);
        if (auto failure = writeFileAtomically(m_memoryPath, plasma::serialize(remembered))) {
            m_log->line("Drovane: cannot keep Plasma's wallpapers in " + m_memoryPath + " (" + *failure +
                        "), so the film is not its wallpaper");
            m_busy = false;
            return;
        }
        evaluate(
            plasma::takeOverScript(nodes), [this, nodes](std::optional<QString> answer, QString refusal) {
                m_busy = false;
                if (!answer) {
                    m_log->line("Drovane: plasmashell refused Drovane's wallpaper: " + refusal.toStdString());
                } else {
                    const bool first = m_shown.empty() && !nodes.empty();
                    m_shown = nodes;
                    if (first) {
                        m_log->line("Drovane: the film is Plasma's wallpaper on " +
                                    std::to_string(nodes.size()) + " desktop(s)");
                        if (!m_relay) {
                            // The end of a kill or Ctrl+C gives the desktops back too.
                            m_relay = std::make_unique<TerminationRelay>([this] { giveBack(); });
                        }
                        watchShellConfig();
                    }
                }
                if (m_again && !m_released) {
                    takeOver();
                }
            });
    });
}

bool PlasmaWallpaper::giveBack() {
    if (!std::filesystem::exists(m_memoryPath) && m_shown.empty()) {
        return true;
    }
    const QDBusMessage reply =
        m_bus.call(scriptCall(plasma::giveBackScript(loadRemembered())), QDBus::Block, giveBackTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        m_log->line("Drovane: plasmashell did not take its earlier wallpapers back (" +
                    reply.errorMessage().toStdString() + "); they stay in " + m_memoryPath +
                    " for the next start");
        return false;
    }
    m_shown.clear();
    std::error_code ec;
    std::filesystem::remove(m_memoryPath, ec);
    return true;
}

void PlasmaWallpaper::checkStillChosen() {
    if (m_shown.empty() || m_released || m_busy) {
        return;
    }
    evaluate(plasma::readScript(), [this](std::optional<QString> printed, QString) {
        const auto desktops = printed ? plasma::parseDesktops(*printed) : std::nullopt;
        if (!desktops || m_shown.empty() || m_released) {
            return;
        }
        for (const plasma::Desktop& desktop : *desktops) {
            if (m_shown.count(desktop.id) && desktop.wallpaper.plugin != plasma::pluginId) {
                m_log->line(
                    "Drovane: another wallpaper was chosen in Plasma's settings (" +
                    desktop.wallpaper.plugin +
                    "); every desktop has its own wallpaper back and the film is no longer published");
                m_released = true;
                m_relay.reset();
                giveBack();
                if (onReleased) {
                    onReleased();
                }
                return;
            }
        }
    });
}

plasma::Remembered PlasmaWallpaper::loadRemembered() {
    const auto text = readWholeFile(m_memoryPath);
    if (!text) {
        return {};
    }
    if (auto remembered = plasma::parseRemembered(*text)) {
        return *remembered;
    }
    m_log->line("Drovane: " + m_memoryPath +
                " is damaged; desktops showing Drovane's wallpaper get Plasma's default back");
    return {};
}

void PlasmaWallpaper::watchShellConfig() {
    if (m_shown.empty() || m_released) {
        return;
    }
    // plasmashell replaces the file on every save: the folder tells when it comes back.
    const QString folder = QFileInfo(m_shellConfigPath).absolutePath();
    if (!m_watcher.directories().contains(folder)) {
        m_watcher.addPath(folder);
    }
    if (QFileInfo::exists(m_shellConfigPath) && !m_watcher.files().contains(m_shellConfigPath)) {
        m_watcher.addPath(m_shellConfigPath);
    }
    m_settle.start();
}

void PlasmaWallpaper::evaluate(const QString& script,
                               std::function<void(std::optional<QString> printed, QString error)> done) {
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(scriptCall(script)), m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_context.get(),
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         QDBusPendingReply<QString> reply = *finished;
                         if (reply.isError()) {
                             done(std::nullopt,
                                  reply.error().name() + QStringLiteral(": ") + reply.error().message());
                         } else {
                             done(reply.value(), {});
                         }
                     });
}

} // namespace drovane::desktop
