#include "desktop/shell/DBusDesktopBackground.h"

#include "desktop/shell/DconfChangeset.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace drovane::desktop {

namespace {

bool names(const QString& desktop, const char* name) {
    const QStringList parts = desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return parts.contains(QLatin1String(name), Qt::CaseInsensitive);
}

} // namespace

DBusDesktopBackground::DBusDesktopBackground(QString desktop, std::string pictureFolder, QDBusConnection bus)
    : m_kind(names(desktop, "KDE")     ? Kind::Plasma
             : names(desktop, "GNOME") ? Kind::Gnome
                                       : Kind::Other),
      m_folder(std::move(pictureFolder)), m_bus(std::move(bus)), m_context(std::make_unique<QObject>()) {}

DBusDesktopBackground::~DBusDesktopBackground() = default;

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
    const QString url = QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
    QDBusMessage call;
    switch (m_kind) {
    case Kind::Other:
        done(false);
        return;
    case Kind::Gnome: {
        const std::string value = url.toStdString();
        const auto changeset = dconfStringChangeset({
            {"/org/gnome/desktop/background/picture-uri", value},
            {"/org/gnome/desktop/background/picture-uri-dark", value},
            {"/org/gnome/desktop/screensaver/picture-uri", value},
        });
        call = QDBusMessage::createMethodCall(
            QStringLiteral("ca.desrt.dconf"), QStringLiteral("/ca/desrt/dconf/Writer/user"),
            QStringLiteral("ca.desrt.dconf.Writer"), QStringLiteral("Change"));
        call << QByteArray(reinterpret_cast<const char*>(changeset.data()),
                           static_cast<qsizetype>(changeset.size()));
        break;
    }
    case Kind::Plasma:
        call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
            QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"));
        call << plasmaScript(url);
        break;
    }
    // The dconf writer is started by the bus on demand: this call may start it.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_context.get(),
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(!finished->isError());
                     });
}

} // namespace drovane::desktop
