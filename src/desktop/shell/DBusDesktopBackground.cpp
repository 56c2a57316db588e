#include "desktop/shell/DBusDesktopBackground.h"

#include "desktop/shell/DconfChangeset.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <map>
#include <utility>

namespace drovane::desktop {

namespace {

bool names(const QString& desktop, const char* name) {
    const QStringList parts = desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return parts.contains(QLatin1String(name), Qt::CaseInsensitive);
}

// How long pcmanfm may take to hand the picture to its running desktop.
constexpr int pcmanfmTimeoutMs = 10000;

} // namespace

DBusDesktopBackground::DBusDesktopBackground(QString desktop, std::string pictureFolder, QDBusConnection bus,
                                             std::function<std::string()> iconProgram)
    : m_desktop(std::move(desktop)), m_folder(std::move(pictureFolder)),
      m_iconProgram(std::move(iconProgram)), m_bus(std::move(bus)), m_context(std::make_unique<QObject>()) {}

DBusDesktopBackground::~DBusDesktopBackground() = default;

DBusDesktopBackground::Setter DBusDesktopBackground::setterFor(const QString& desktop,
                                                               const std::string& iconProgram) {
    const QString program = QString::fromStdString(iconProgram).toLower();
    if (program == QLatin1String("xfdesktop")) {
        return Setter::Xfce;
    }
    if (program == QLatin1String("pcmanfm")) {
        return Setter::Pcmanfm;
    }
    if (program == QLatin1String("nemo-desktop")) {
        return Setter::Cinnamon;
    }
    if (program == QLatin1String("caja")) {
        return Setter::Mate;
    }
    if (program == QLatin1String("plasmashell")) {
        return Setter::Plasma;
    }
    return names(desktop, "KDE")                                        ? Setter::Plasma
           : names(desktop, "GNOME")                                    ? Setter::Gnome
           : names(desktop, "XFCE")                                     ? Setter::Xfce
           : names(desktop, "X-Cinnamon") || names(desktop, "Cinnamon") ? Setter::Cinnamon
           : names(desktop, "MATE")                                     ? Setter::Mate
           : names(desktop, "LXDE")                                     ? Setter::Pcmanfm
                                                                        : Setter::None;
}

DBusDesktopBackground::Setter DBusDesktopBackground::setter() const {
    return setterFor(m_desktop, m_iconProgram ? m_iconProgram() : std::string());
}

bool DBusDesktopBackground::canSetPicture() const {
    return setter() != Setter::None;
}

QString DBusDesktopBackground::plasmaScript(const QString& url) {
    // A one-element JSON array is a valid JavaScript expression; its element is the quoted URL.
    const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{url}).toJson(QJsonDocument::Compact));
    return QStringLiteral("var url = %1[0];\n"
                          "desktops().forEach(function (d) {\n"
                          "    d.wallpaperPlugin = \"org.kde.image\";\n"
                          "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                          "    d.writeConfig(\"Image\", url);\n"
                          "});\n")
        .arg(quoted);
}

void DBusDesktopBackground::setPicture(const std::string& path, std::function<void(bool applied)> done) {
    const QString file = QString::fromStdString(path);
    const QString url = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    auto dconf = [](const std::map<std::string, std::string>& values) {
        const auto changeset = dconfStringChangeset(values);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("ca.desrt.dconf"), QStringLiteral("/ca/desrt/dconf/Writer/user"),
            QStringLiteral("ca.desrt.dconf.Writer"), QStringLiteral("Change"));
        call << QByteArray(reinterpret_cast<const char*>(changeset.data()),
                           static_cast<qsizetype>(changeset.size()));
        return call;
    };
    switch (setter()) {
    case Setter::None:
        done(false);
        return;
    case Setter::Gnome: {
        const std::string value = url.toStdString();
        send(dconf({
                 {"/org/gnome/desktop/background/picture-uri", value},
                 {"/org/gnome/desktop/background/picture-uri-dark", value},
                 {"/org/gnome/desktop/screensaver/picture-uri", value},
             }),
             std::move(done));
        return;
    }
    case Setter::Cinnamon:
        send(dconf({{"/org/cinnamon/desktop/background/picture-uri", url.toStdString()}}), std::move(done));
        return;
    case Setter::Mate:
        // MATE keeps a plain path, not a URI.
        send(dconf({{"/org/mate/desktop/background/picture-filename", path}}), std::move(done));
        return;
    case Setter::Plasma: {
        if (showsFilm()) {
            done(false); // the image plugin would replace the film
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
            QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"));
        call << plasmaScript(url);
        send(call, std::move(done));
        return;
    }
    case Setter::Xfce:
        setXfceBackdrops(file, std::move(done));
        return;
    case Setter::Pcmanfm:
        runPcmanfm(file, std::move(done));
        return;
    }
}

void DBusDesktopBackground::send(const QDBusMessage& call, std::function<void(bool)> done) {
    // The dconf writer is started by the bus on demand: this call may start it.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_context.get(),
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(!finished->isError());
                     });
}

void DBusDesktopBackground::setXfceBackdrops(const QString& path, std::function<void(bool)> done) {
    // xfdesktop keeps one picture per monitor and workspace, under names it chooses
    // (/backdrop/screen0/monitorHDMI-1/workspace0/last-image): every one that exists is set.
    auto xfconf = [](const QString& member) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.xfce.Xfconf"),
                                              QStringLiteral("/org/xfce/Xfconf"),
                                              QStringLiteral("org.xfce.Xfconf"), member);
    };
    const QString channel = QStringLiteral("xfce4-desktop");
    QDBusMessage list = xfconf(QStringLiteral("GetAllProperties"));
    list << channel << QStringLiteral("/backdrop");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(list), m_context.get());
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, m_context.get(),
        [this, xfconf, channel, path, done = std::move(done)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            QDBusPendingReply<QVariantMap> reply = *finished;
            QStringList keys;
            if (!reply.isError()) {
                for (const QString& key : reply.value().keys()) {
                    if (key.endsWith(QLatin1String("/last-image"))) {
                        keys << key;
                    }
                }
            }
            if (keys.isEmpty()) {
                done(false);
                return;
            }
            auto left = std::make_shared<int>(static_cast<int>(keys.size()));
            auto failed = std::make_shared<bool>(false);
            for (const QString& key : keys) {
                QDBusMessage set = xfconf(QStringLiteral("SetProperty"));
                set << channel << key << QVariant::fromValue(QDBusVariant(path));
                send(set, [left, failed, done](bool ok) {
                    *failed = *failed || !ok;
                    if (--*left == 0) {
                        done(!*failed);
                    }
                });
            }
        });
}

void DBusDesktopBackground::runPcmanfm(const QString& path, std::function<void(bool)> done) {
    // pcmanfm hands the picture to its running desktop and exits.
    auto* process = new QProcess(m_context.get());
    auto finish = std::make_shared<std::function<void(bool)>>(std::move(done));
    QObject::connect(process, &QProcess::finished, m_context.get(),
                     [process, finish](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (auto f = std::exchange(*finish, nullptr)) {
                             f(status == QProcess::NormalExit && code == 0);
                         }
                     });
    QObject::connect(process, &QProcess::errorOccurred, m_context.get(),
                     [process, finish](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             process->deleteLater();
                             if (auto f = std::exchange(*finish, nullptr)) {
                                 f(false);
                             }
                         }
                     });
    QTimer::singleShot(pcmanfmTimeoutMs, process, [process] { process->kill(); });
    process->start(QStringLiteral("pcmanfm"),
                   {QStringLiteral("--set-wallpaper=") + path, QStringLiteral("--wallpaper-mode=crop")});
}

} // namespace drovane::desktop
