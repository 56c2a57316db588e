#include "desktop/DesktopTestSupport.h"
#include "desktop/shell/DBusDesktopBackground.h"
#include "desktop/shell/DconfChangeset.h"
#include "fakes/TempDir.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using testing::FakeObject;
using testing::PrivateBus;

class DesktopBackgroundTest : public ::testing::Test {
protected:
    DesktopBackgroundTest() { testing::ensureQtApplication(); }

    // Sets the picture and waits for the answer.
    std::optional<bool> set(DBusDesktopBackground& background, const std::string& path) {
        std::optional<bool> applied;
        background.setPicture(path, [&](bool a) { applied = a; });
        testing::waitFor([&] { return applied.has_value(); });
        return applied;
    }
    // A fake of one service's object whose method `member` records its first argument.
    std::unique_ptr<FakeObject> recorder(const QString& service, const QString& path,
                                         const QString& interface, const QString& member, QVariant reply) {
        m_service = bus.connect(service);
        EXPECT_TRUE(m_service.registerService(service));
        auto object = std::make_unique<FakeObject>(m_service, path, interface);
        object->methods[member] = [this, reply](const QDBusMessage& m) {
            received.push_back(m.arguments().value(0));
            return m.createReply(reply);
        };
        return object;
    }

    fakes::TempDir tree;
    PrivateBus bus{tree.path(), "session"};
    std::vector<QVariant> received;
    const std::string picture = "/home/u/.local/share/drovane/backgrounds/Lake \"Tahoe\".jpg";
    const std::string url = "file:///home/u/.local/share/drovane/backgrounds/Lake%20%22Tahoe%22.jpg";

private:
    QDBusConnection m_service{QString()};
};

TEST_F(DesktopBackgroundTest, GnomeCinnamonAndMateWriteTheirOwnKeysThroughDconf) {
    DBusDesktopBackground gnome("GNOME", "/pictures", bus.connect("drovane"));
    EXPECT_EQ(set(gnome, picture), false) << "nobody answers on the bus yet";
    auto dconf = recorder("ca.desrt.dconf", "/ca/desrt/dconf/Writer/user", "ca.desrt.dconf.Writer", "Change",
                          QStringLiteral("tag1"));
    using Keys = std::map<std::string, std::string>;
    const struct {
        const char* desktop;
        const char* program;
        Keys written;
    } rows[] = {
        // clang-format off
        {"ubuntu:GNOME", "", {{"/org/gnome/desktop/background/picture-uri", url},
                              {"/org/gnome/desktop/background/picture-uri-dark", url},
                              {"/org/gnome/desktop/screensaver/picture-uri", url}}},
        {"X-Cinnamon", "", {{"/org/cinnamon/desktop/background/picture-uri", url}}},
        {"", "caja", {{"/org/mate/desktop/background/picture-filename", picture}}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.desktop + std::string(" / ") + row.program);
        received.clear();
        const std::string program = row.program;
        DBusDesktopBackground background(row.desktop, "/pictures", bus.connect("drovane"),
                                         [program] { return program; });
        EXPECT_EQ(set(background, picture), true);
        ASSERT_EQ(received.size(), 1u);
        const QByteArray blob = received[0].toByteArray();
        EXPECT_EQ(dconfChangesetStrings(std::vector<unsigned char>(blob.begin(), blob.end())), row.written);
    }
}

TEST_F(DesktopBackgroundTest, PlasmaRunsAScriptWithTheQuotedUrl) {
    auto shell =
        recorder("org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell", "evaluateScript", QString());
    DBusDesktopBackground background("KDE", "/pictures", bus.connect("drovane"));
    EXPECT_EQ(set(background, picture), true);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].toString().startsWith(QStringLiteral("var url = [\"") +
                                                  QString::fromStdString(url) + QStringLiteral("\"][0];")));
    // Whatever a URL holds, it stays inside its string literal.
    EXPECT_TRUE(
        DBusDesktopBackground::plasmaScript("a\"b\\c\n").startsWith(R"(var url = ["a\"b\\c\n"][0];)"));
}

TEST(DesktopBackgroundSetter, TheProgramPaintingTheDesktopDecidesElseTheSessionsDesktop) {
    using Setter = DBusDesktopBackground::Setter;
    struct Row {
        const char* desktop;
        const char* program;
        Setter setter;
    };
    const Row rows[] = {
        {"XFCE", "xfdesktop", Setter::Xfce},
        {"", "Xfdesktop", Setter::Xfce},
        // pcmanfm's desktop under a bare window manager, named by no session.
        {"", "pcmanfm", Setter::Pcmanfm},
        {"LXDE", "", Setter::Pcmanfm},
        {"X-Cinnamon", "nemo-desktop", Setter::Cinnamon},
        {"X-Cinnamon", "", Setter::Cinnamon},
        {"MATE", "caja", Setter::Mate},
        {"GNOME", "caja", Setter::Mate},
        {"KDE", "plasmashell", Setter::Plasma},
        // GNOME's desktop icons are a window of their own over GNOME's background.
        {"ubuntu:GNOME", "gjs", Setter::Gnome},
        {"", "", Setter::None},
        {"i3", "", Setter::None},
        {"", "spacefm", Setter::None},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DBusDesktopBackground::setterFor(row.desktop, row.program), row.setter)
            << row.desktop << " / " << row.program;
    }
    DBusDesktopBackground bare("", "/pictures", QDBusConnection(QString()), [] { return ""; });
    EXPECT_FALSE(bare.canSetPicture());
    std::optional<bool> applied;
    bare.setPicture("/a.jpg", [&](bool a) { applied = a; });
    EXPECT_EQ(applied, false) << "nothing to set it with";
}

TEST_F(DesktopBackgroundTest, XfceSetsEveryMonitorsAndWorkspacesBackdropThatExists) {
    DBusDesktopBackground background("XFCE", "/pictures", bus.connect("drovane"));
    EXPECT_EQ(set(background, picture), false) << "no xfconf daemon yet";
    const QString service = QStringLiteral("org.xfce.Xfconf");
    auto connection = bus.connect(service);
    ASSERT_TRUE(connection.registerService(service));
    FakeObject xfconf(connection, QStringLiteral("/org/xfce/Xfconf"), service);
    const QString first = QStringLiteral("/backdrop/screen0/monitorVirtual-1/workspace0/");
    const QString second = QStringLiteral("/backdrop/screen0/monitorVirtual-2/workspace1/last-image");
    QVariantMap backdrops{
        {first + "last-image", "/old.png"}, {first + "image-style", 5}, {second, "/old.png"}};
    std::map<QString, QString> written;
    xfconf.methods[QStringLiteral("GetAllProperties")] = [&](const QDBusMessage& m) {
        EXPECT_EQ(m.arguments().value(0).toString(), QStringLiteral("xfce4-desktop"));
        return m.createReply(QVariant::fromValue(backdrops));
    };
    xfconf.methods[QStringLiteral("SetProperty")] = [&](const QDBusMessage& m) {
        written[m.arguments().value(1).toString()] =
            qvariant_cast<QDBusVariant>(m.arguments().value(2)).variant().toString();
        return m.createReply();
    };
    EXPECT_EQ(set(background, picture), true);
    const QString path = QString::fromStdString(picture);
    EXPECT_EQ(written, (std::map<QString, QString>{{first + "last-image", path}, {second, path}}));

    backdrops.clear();
    written.clear();
    EXPECT_EQ(set(background, picture), false) << "xfdesktop never ran: nothing to set";
}

} // namespace
} // namespace drovane::desktop
