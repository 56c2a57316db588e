#include "desktop/plasma/PlasmaScripts.h"

#include "desktop/plasma/PlasmaCoverage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace drovane::desktop::plasma {

namespace {

QString literal(const QJsonValue& value) {
    // QJsonDocument needs an array or object at the top; the one element is cut out again.
    const QString array = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    QString text = array.mid(1, array.size() - 2);
    text.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    text.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return text;
}

QJsonObject toJson(const Wallpaper& wallpaper) {
    QJsonObject config;
    for (const auto& [key, value] : wallpaper.config) {
        config.insert(QString::fromStdString(key), QString::fromStdString(value));
    }
    return {{QStringLiteral("plugin"), QString::fromStdString(wallpaper.plugin)},
            {QStringLiteral("config"), config}};
}

std::optional<Wallpaper> wallpaperFrom(const QJsonObject& object) {
    const QJsonValue plugin = object.value(QStringLiteral("plugin"));
    if (!plugin.isString() || plugin.toString().isEmpty()) {
        return std::nullopt;
    }
    Wallpaper wallpaper{plugin.toString().toStdString(), {}};
    const QJsonObject config = object.value(QStringLiteral("config")).toObject();
    for (auto it = config.begin(); it != config.end(); ++it) {
        if (it->isString()) {
            wallpaper.config[it.key().toStdString()] = it->toString().toStdString();
        }
    }
    return wallpaper;
}

} // namespace

QString javaScriptLiteral(const QString& value) {
    return literal(value);
}

QString readScript() {
    return QStringLiteral("const found = [];\n"
                          "for (const d of desktops()) {\n"
                          "    const plugin = d.wallpaperPlugin;\n"
                          "    d.currentConfigGroup = ['Wallpaper', plugin, 'General'];\n"
                          "    const config = {};\n"
                          "    for (const key of d.configKeys) {\n"
                          "        config[key] = String(d.readConfig(key));\n"
                          "    }\n"
                          "    const g = d.screen >= 0 ? screenGeometry(d.screen) : null;\n"
                          "    found.push({id: d.id, screen: d.screen, x: g ? g.x : 0, y: g ? g.y : 0,\n"
                          "                width: g ? g.width : 0, height: g ? g.height : 0, plugin: plugin, "
                          "config: config});\n"
                          "}\n"
                          "print(JSON.stringify(found));\n");
}

std::optional<std::vector<Desktop>> parseDesktops(const QString& printed) {
    const QJsonDocument document = QJsonDocument::fromJson(printed.trimmed().toUtf8());
    if (!document.isArray()) {
        return std::nullopt;
    }
    std::vector<Desktop> desktops;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject object = value.toObject();
        auto wallpaper = wallpaperFrom(object);
        if (!object.value(QStringLiteral("id")).isDouble() || !wallpaper) {
            return std::nullopt;
        }
        auto number = [&](const char* key) { return object.value(QLatin1String(key)).toDouble(); };
        desktops.push_back({object.value(QStringLiteral("id")).toInt(),
                            object.value(QStringLiteral("screen")).toInt(-1),
                            {{number("x"), number("y")}, {number("width"), number("height")}},
                            std::move(*wallpaper)});
    }
    return desktops;
}

std::map<int, std::uint32_t> streamsFor(const std::vector<Desktop>& desktops,
                                        const std::vector<ScreenStream>& streams) {
    std::map<int, std::uint32_t> nodes;
    for (const Desktop& desktop : desktops) {
        if (desktop.screen < 0 || desktop.geometry.size.width <= 0 || desktop.geometry.size.height <= 0) {
            continue;
        }
        const ScreenStream* match = nullptr;
        for (const ScreenStream& stream : streams) {
            if (stream.frame == desktop.geometry) {
                match = &stream;
                break;
            }
            if (!match && centreIn(desktop.geometry, stream.frame)) {
                match = &stream;
            }
        }
        if (match) {
            nodes[desktop.id] = match->nodeId;
        }
    }
    return nodes;
}

Remembered remember(const std::vector<Desktop>& desktops, const std::map<int, std::uint32_t>& taken,
                    Remembered remembered) {
    for (const Desktop& desktop : desktops) {
        if (taken.count(desktop.id) && desktop.wallpaper.plugin != pluginId) {
            remembered[desktop.id] = desktop.wallpaper;
        }
    }
    return remembered;
}

QString takeOverScript(const std::map<int, std::uint32_t>& nodes) {
    QJsonObject byId;
    for (const auto& [id, node] : nodes) {
        byId.insert(QString::number(id), static_cast<double>(node));
    }
    return QStringLiteral("const ours = %1;\n"
                          "const nodes = %2;\n"
                          "for (const d of desktops()) {\n"
                          "    const node = nodes[String(d.id)];\n"
                          "    if (node === undefined) {\n"
                          "        continue;\n"
                          "    }\n"
                          "    d.wallpaperPlugin = ours;\n"
                          "    d.currentConfigGroup = ['Wallpaper', ours, 'General'];\n"
                          "    d.writeConfig('NodeId', node);\n"
                          "}\n")
        .arg(literal(QString::fromLatin1(pluginId)), literal(byId));
}

QString giveBackScript(const Remembered& remembered) {
    QJsonObject byId;
    for (const auto& [id, wallpaper] : remembered) {
        byId.insert(QString::number(id), toJson(wallpaper));
    }
    return QStringLiteral("const ours = %1;\n"
                          "const earlier = %2;\n"
                          "for (const d of desktops()) {\n"
                          "    if (d.wallpaperPlugin !== ours) {\n"
                          "        continue;\n"
                          "    }\n"
                          "    const w = earlier[String(d.id)] || {plugin: %3, config: {}};\n"
                          "    d.wallpaperPlugin = w.plugin;\n"
                          "    d.currentConfigGroup = ['Wallpaper', w.plugin, 'General'];\n"
                          "    for (const key in w.config) {\n"
                          "        d.writeConfig(key, w.config[key]);\n"
                          "    }\n"
                          "}\n")
        .arg(literal(QString::fromLatin1(pluginId)), literal(byId),
             literal(QString::fromLatin1(defaultPlugin)));
}

std::string serialize(const Remembered& remembered) {
    QJsonObject byId;
    for (const auto& [id, wallpaper] : remembered) {
        byId.insert(QString::number(id), toJson(wallpaper));
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("desktops"), byId}}).toJson().toStdString();
}

std::optional<Remembered> parseRemembered(const std::string& text) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    const QJsonValue desktops = document.object().value(QStringLiteral("desktops"));
    if (!desktops.isObject()) {
        return std::nullopt;
    }
    Remembered remembered;
    const QJsonObject byId = desktops.toObject();
    for (auto it = byId.begin(); it != byId.end(); ++it) {
        bool isNumber = false;
        const int id = it.key().toInt(&isNumber);
        if (auto wallpaper = wallpaperFrom(it->toObject()); isNumber && wallpaper) {
            remembered[id] = std::move(*wallpaper);
        }
    }
    return remembered;
}

} // namespace drovane::desktop::plasma
